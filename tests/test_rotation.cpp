// A recording that never ends: files rotated by size and by time, the folder kept within its
// size and age, every file whole, and a full disk that pauses the recording until space returns.
#include "recording/rotation.h"
#include "support/command.h"
#include "textforms/recording.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utime.h>

namespace {

namespace fs = std::filesystem;
using Clock = RecordingClock;

class Rotation : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("nvmx-rotation-" + std::to_string(getpid()));
        fs::create_directories(scratch);
        recording.folder = (scratch / "infeed").string();
        recording.label = "infeed";
    }
    void TearDown() override {
        StopRotating(&recording);
        umount(scratch.c_str());
        fs::remove_all(scratch);
    }
    // Every file of the folder parses as a recording of whole lines; their frames in all.
    long WholeFrames() const {
        long frames = 0;
        for (const auto &entry : fs::directory_iterator(recording.folder)) {
            const std::string text = ReadText(entry.path().string());
            std::vector<RecordedFrame> parsed;
            RecordingError error;
            EXPECT_EQ(ParseRecording(text.data(), text.size(), &parsed, &error), 0)
                << entry.path() << ": " << error.reason;
            EXPECT_EQ(text.back(), '\n') << entry.path();
            frames += (long)parsed.size();
        }
        return frames;
    }
    long long FolderBytes() const {
        long long bytes = 0;
        for (const auto &entry : fs::directory_iterator(recording.folder))
            bytes += (long long)entry.file_size();
        return bytes;
    }

    fs::path scratch;
    RotatingRecording recording;
    unsigned char frame[FRAME_LENGTH] = {10, 20, 30, 40, 50, 60, 255};
};

TEST_F(Rotation, FilesRotateByTimeAndSizeAndTheFolderKeepsItsLimits) {
    recording.limits = {3600, 4096, 86400, 16384};
    fs::create_directories(recording.folder);
    // A file of last month's is removed at the first start.
    const std::string old = recording.folder + "/2026-11-01_00-00-00.csv";
    WriteText(old, std::string(RECORD_CSV_HEADER));
    const utimbuf lastMonth{time(nullptr) - 30 * 86400, time(nullptr) - 30 * 86400};
    ASSERT_EQ(utime(old.c_str(), &lastMonth), 0);

    auto now = Clock::now();
    for (int i = 0; i < 3000; i++, now += std::chrono::milliseconds(10)) {
        frame[0] = (unsigned char)i;
        ASSERT_EQ(RecordRotating(&recording, frame, now), ROTATION_RECORDED) << i;
    }
    StopRotating(&recording);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_GT(recording.filesStarted, 20);
    // The newest files are kept, within the limit and one file being written.
    EXPECT_LE(FolderBytes(), 16384 + 4096);
    const long kept = WholeFrames();
    EXPECT_GT(kept, 8192 / 60); // at least two full files of some 60-byte lines
    EXPECT_LT(kept, 3000);

    // By time: a file at least every rotateSeconds, however few its frames.
    RotatingRecording slow;
    slow.folder = (scratch / "outfeed").string();
    slow.label = "outfeed";
    slow.limits = {1.0, 1 << 20, 86400, 1 << 30};
    for (int i = 0; i < 10; i++, now += std::chrono::milliseconds(400))
        ASSERT_EQ(RecordRotating(&slow, frame, now), ROTATION_RECORDED);
    StopRotating(&slow);
    EXPECT_EQ(slow.filesStarted, 4); // 0 s, 1.2 s, 2.4 s, 3.6 s
}

TEST_F(Rotation, AFullDiskPausesTheRecordingUntilSpaceReturns) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a small tmpfs needs root";
    ASSERT_EQ(mount("tmpfs", scratch.c_str(), "tmpfs", 0, "size=128k"), 0) << std::strerror(errno);
    const std::string filler = (scratch / "filler").string();
    WriteText(filler, std::string(80 * 1024, 'x'));
    recording.limits = {3600, 1 << 20, 86400, 1 << 30};

    auto now = Clock::now();
    int recorded = 0;
    RotationEvent event = ROTATION_RECORDED;
    for (; recorded < 5000; recorded++, now += std::chrono::milliseconds(10)) {
        event = RecordRotating(&recording, frame, now);
        if (event == ROTATION_RECORDED)
            event = KeepRecordingDue(&recording, now);
        if (event != ROTATION_RECORDED)
            break;
    }
    ASSERT_EQ(event, ROTATION_PAUSED) << "the disk never filled";
    EXPECT_FALSE(recording.pauseReason.empty());
    // Paused: frames are dropped, the sensor's loop goes on, the file so far is whole.
    EXPECT_EQ(RecordRotating(&recording, frame, now + std::chrono::milliseconds(10)),
              ROTATION_DROPPED);
    EXPECT_GT(WholeFrames(), 0);
    // Still no room at the next try: paused on.
    EXPECT_EQ(RecordRotating(&recording, frame, now + std::chrono::seconds(3)), ROTATION_DROPPED);

    fs::remove(filler);
    EXPECT_EQ(RecordRotating(&recording, frame, now + std::chrono::seconds(6)), ROTATION_RESUMED);
    EXPECT_EQ(RecordRotating(&recording, frame, now + std::chrono::seconds(7)), ROTATION_RECORDED);
    StopRotating(&recording);
    EXPECT_GE(recording.framesDropped, 3);
    EXPECT_EQ(recording.filesStarted, 2);
    WholeFrames();
}

} // namespace
