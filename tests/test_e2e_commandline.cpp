// The program's command line as plain commands, and the port it opens at start-up: the --port
// option, and the port remembered from the run before.
#include "support/pty_peer.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const double timeout = 40.0; // a loaded two-core machine starts Qt slowly

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        config = fs::temp_directory_path() / ("nvmx-config-" + std::to_string(getpid()));
        fs::create_directories(config);
    }
    void TearDown() override { fs::remove_all(config); }

    // The program's environment: no display unless one is given, no mapped port, settings in a
    // directory of the test's own.
    std::vector<std::string> environment(const std::string &display = "") const {
        return {"DISPLAY=" + display,
                "QT_QPA_PLATFORM=", "NVMX_COM1=", "XDG_CONFIG_HOME=" + config.string(),
                "HOME=" + config.string()};
    }

    // Runs the program with args until it ends; returns its exit code and first output line.
    int runPlain(const std::vector<std::string> &args, std::string *firstLine) {
        std::vector<std::string> argv = {BinDir() + "/nvmxv451"};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess program;
        program.startReadingFirstLine(argv, environment(), firstLine);
        return program.wait(timeout);
    }

    // Starts the program in a window, waits for the line check and the parameter read on peer,
    // closes the panel.
    void runAgainst(XSession &x, PtyPeer &peer, const std::vector<std::string> &args,
                    const std::vector<std::string> &extraEnvironment = {}) {
        std::vector<std::string> argv = {BinDir() + "/nvmxv451"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = environment(x.display());
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        size_t before = peer.requests().size();
        ChildProcess program;
        ASSERT_TRUE(program.start(argv, env));
        unsigned long panel = x.waitForWindow(panelTitle, timeout);
        ASSERT_NE(panel, 0u);
        ASSERT_TRUE(peer.waitForRequests(before + 2, timeout)) << "the port was not opened";
        EXPECT_EQ(peer.requests()[before].bytes, (Bytes{0x55, 0x07}));
        EXPECT_EQ(peer.requests()[before + 1].bytes, (Bytes{0x55, 0x03}));
        EXPECT_TRUE(x.closeWindow(panel));
        EXPECT_EQ(program.wait(timeout), 0);
    }

    fs::path config;
};

TEST_F(CommandLine, HelpVersionAndUnknownOptionsNeedNoDisplay) {
    std::string line;
    EXPECT_EQ(runPlain({"--help"}, &line), 0);
    EXPECT_NE(line.find("Usage:"), std::string::npos) << line;
    EXPECT_EQ(runPlain({"--version"}, &line), 0);
    EXPECT_EQ(line.rfind("nvmxv451 ", 0), 0u) << line;
    EXPECT_NE(line.find_first_of("0123456789"), std::string::npos) << line;
    EXPECT_EQ(runPlain({"--no-such-option"}, &line), 2);
    EXPECT_EQ(runPlain({"--port"}, &line), 2) << "--port without its device";
}

TEST_F(CommandLine, UnknownOptionOpensNoWindow) {
    XSession x;
    ASSERT_TRUE(x.start());
    ChildProcess program;
    ASSERT_TRUE(program.start({BinDir() + "/nvmxv451", "--colour=blue"}, environment(x.display())));
    bool windowSeen = false;
    while (program.running()) {
        windowSeen = windowSeen || x.findWindow(panelTitle) != 0;
        usleep(2000);
    }
    EXPECT_EQ(program.wait(1.0), 2);
    EXPECT_FALSE(windowSeen);
}

TEST_F(CommandLine, PortOptionAndTheRememberedPort) {
    XSession x;
    ASSERT_TRUE(x.start());
    PtyPeer peer;
    ASSERT_TRUE(peer.start(AnswerLikeASensor()));

    runAgainst(x, peer, {"--port", peer.slavePath()});
    // The next run, with neither option nor mapping, opens the remembered device.
    runAgainst(x, peer, {});
    runAgainst(x, peer, {"--port", "com7"}, {"NVMX_COM7=" + peer.slavePath()});
}

} // namespace
