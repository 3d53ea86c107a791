// One sensor's session against the emulator: its name from its device, the change log's old
// values from the memory's last read (and unknown after a write that nobody read back), a verify
// that finds another block, and a stop before the verify, each logged with its outcome.
#include "changes/changelogread.h"
#include "platform/serial/rs232.h"
#include "session/session.h"
#include "support/command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const double timeout = 20.0;
const int port = 5;

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("nvmx-session-" + std::to_string(getpid()));
        fs::create_directories(scratch);
        logPath = (scratch / "line.jsonl").string();
        // The second parameter write keeps MAXCOL-No. one off: its verify finds another block.
        ASSERT_TRUE(emulator.start({Bin("sensor-emulator"), "--spoil-write", "2"}, {}));
        device = emulator.waitForFirstLine(timeout);
        ASSERT_FALSE(device.empty());
        setenv(("NVMX_COM" + std::to_string(port)).c_str(), device.c_str(), 1);
        ComPortCount();
        BeginSession(&session, port, "", 0, nullptr);
        session.lineLog = logPath;
        session.keepWaiting = &keepWaiting;
    }
    void TearDown() override {
        CloseCom(port);
        emulator.signal(SIGTERM);
        emulator.finish(timeout);
        unsetenv(("NVMX_COM" + std::to_string(port)).c_str());
        fs::remove_all(scratch);
    }
    std::vector<LoggedWrite> Logged() const { return ReadChangeLog(ReadText(logPath)).writes; }
    int Write(const unsigned char *block, bool verify) {
        SessionWrite write;
        write.source = "test.dat";
        write.verify = verify;
        std::string trouble;
        const int outcome =
            WriteSessionMemory(&session, MEMORY_RAM, block, write, readBack, &trouble);
        EXPECT_EQ(trouble, "");
        return outcome;
    }

    fs::path scratch;
    std::string logPath, device;
    CommandRun emulator;
    SensorSession session;
    volatile int keepWaiting = 1;
    unsigned char readBack[BLOCK_LENGTH];
};

TEST_F(Session, AWriteLogsWhatTheLastReadKnewAndItsVerify) {
    EXPECT_EQ(std::string(session.name), "pts-" + device.substr(device.rfind('/') + 1));
    ASSERT_EQ(OpenSession(&session), SESSION_OK) << session.message;
    ASSERT_EQ(CheckSessionLine(&session), SESSION_OK) << session.message;
    unsigned char block[BLOCK_LENGTH];
    ASSERT_EQ(ReadSessionMemory(&session, MEMORY_RAM, block), SESSION_OK);

    unsigned char changed[BLOCK_LENGTH];
    std::memcpy(changed, block, BLOCK_LENGTH);
    changed[OFFSET_INTLIM] = (unsigned char)(block[OFFSET_INTLIM] + 7);
    EXPECT_EQ(Write(changed, false), WRITE_SENT);
    // Nothing read the first write back: the second's old values are unknown, and its verify
    // finds the emulator's spoilt MAXCOL-No.
    changed[OFFSET_HOLD] = 1;
    EXPECT_EQ(Write(changed, true), WRITE_DIFFERS);
    EXPECT_EQ(readBack[OFFSET_MAXCOLNO], changed[OFFSET_MAXCOLNO] + 1);
    // The verify's read is known: the third write changes MAXCOL-No. back, and is verified.
    EXPECT_EQ(Write(changed, true), WRITE_VERIFIED);
    // A stop during the settle time: the block went out, nothing was compared.
    keepWaiting = 0;
    EXPECT_EQ(Write(block, true), WRITE_FAILED);
    EXPECT_EQ(session.outcome, SESSION_INTERRUPTED);

    const std::vector<LoggedWrite> writes = Logged();
    ASSERT_EQ(writes.size(), 4u);
    for (const LoggedWrite &write : writes)
        EXPECT_EQ(write.sensor, session.name);
    EXPECT_TRUE(writes[0].changesKnown);
    ASSERT_EQ(writes[0].changes.size(), 1u);
    EXPECT_EQ(writes[0].changes[0].rfind("INTLIM", 0), 0u) << writes[0].changes[0];
    EXPECT_EQ(writes[0].verify, "not verified");
    EXPECT_FALSE(writes[1].changesKnown);
    EXPECT_EQ(writes[1].verify.rfind("failed: MAXCOL-No.", 0), 0u) << writes[1].verify;
    ASSERT_TRUE(writes[2].changesKnown);
    ASSERT_EQ(writes[2].changes.size(), 1u);
    EXPECT_EQ(writes[2].changes[0].rfind("MAXCOL-No.", 0), 0u) << writes[2].changes[0];
    EXPECT_EQ(writes[2].verify, "verified");
    EXPECT_NE(writes[3].verify.find("before its verify"), std::string::npos) << writes[3].verify;
}

} // namespace
