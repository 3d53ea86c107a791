// Recording files as objects: two recordings written from two threads at once, the half-second
// write, the names and refusals, a file that takes no more bytes cut back to whole lines, and the
// longest line.
#include "platform/output/recorder.h"
#include "recording/recordingfile.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> FileLines(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

long FileSize(const std::string &path) {
    return (long)std::filesystem::file_size(path);
}

void SetFrame(unsigned char values[RECFILE_VALUES], int sensor, int frame) {
    for (int i = 0; i < RECFILE_VALUES; i++)
        values[i] = (unsigned char)(sensor * 50 + frame + i);
}

// One sensor's frame loop: frames into file, with the write due checked after each.
void RecordFrames(RecordingFile *file, int sensor, const char *label, int frames) {
    unsigned char values[RECFILE_VALUES];
    for (int frame = 0; frame < frames; frame++) {
        SetFrame(values, sensor, frame);
        ASSERT_EQ(AppendRecordingFrame(file, values, label), RECFILE_OK);
        ASSERT_EQ(WriteRecordingDue(file, RecordingClock::now()), RECFILE_OK);
    }
}

class RecordingFiles : public ::testing::Test {
  protected:
    void SetUp() override { folder = MakeScratchDirectory("nvmx-recordingfile-"); }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder;
};

} // namespace

// Two sensors' loops on two threads, each with its own object, the buffer filled many times
// over: each file holds exactly its own frames, whole and in order, under its own label.
TEST_F(RecordingFiles, TwoThreadsRecordTwoFilesAtOnce) {
    enum { FRAMES = 5000 };
    const char *const labels[] = {"COM1", "/dev/ttyUSB1"};
    auto files = std::make_unique<RecordingFile[]>(2);
    ASSERT_EQ(CreateRecordingFileIn(&files[0], folder.c_str(), "-COM1"), RECFILE_OK);
    ASSERT_EQ(CreateRecordingFileAt(&files[1], (folder + "/second.csv").c_str()), RECFILE_OK);
    std::thread loops[2];
    for (int sensor = 0; sensor < 2; sensor++)
        loops[sensor] = std::thread(RecordFrames, &files[sensor], sensor, labels[sensor], FRAMES);
    for (std::thread &loop : loops)
        loop.join();

    EXPECT_TRUE(std::regex_match(RecordingFileName(&files[0]),
                                 std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d-COM1\.csv)")))
        << RecordingFileName(&files[0]);
    for (int sensor = 0; sensor < 2; sensor++) {
        SCOPED_TRACE(labels[sensor]);
        EXPECT_EQ(RecordingFileFrames(&files[sensor]), FRAMES);
        ASSERT_EQ(CloseRecordingFile(&files[sensor]), RECFILE_OK);
        const std::vector<std::string> lines = FileLines(RecordingFilePath(&files[sensor]));
        ASSERT_EQ(lines.size(), (size_t)FRAMES + 1);
        EXPECT_EQ(lines[0] + "\n", RECORD_CSV_HEADER);
        unsigned char values[RECFILE_VALUES];
        for (int frame = 0; frame < FRAMES; frame++) {
            SetFrame(values, sensor, frame);
            std::string expected;
            for (unsigned char value : values)
                expected.append(",").append(std::to_string(value));
            const std::string &line = lines[(size_t)frame + 1];
            const size_t at = line.find(',', line.find(',') + 1);
            ASSERT_EQ(line.substr(at), expected + "," + labels[sensor]) << line;
        }
    }
}

// Lines wait in the buffer until half a second after the last write; names are never taken
// twice nor written over; a label that would break the line is refused, the recording goes on.
TEST_F(RecordingFiles, WritesOnTimeAndRefusesWhatWouldSpoilAFile) {
    auto file = std::make_unique<RecordingFile>();
    const unsigned char values[RECFILE_VALUES] = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(CreateRecordingFileIn(file.get(), folder.c_str(), "-A"), RECFILE_OK);
    const std::string path = RecordingFilePath(file.get());
    const auto begun = RecordingClock::now();
    ASSERT_EQ(AppendRecordingFrame(file.get(), values, "COM1"), RECFILE_OK);
    EXPECT_EQ(WriteRecordingDue(file.get(), begun), RECFILE_OK);
    EXPECT_EQ(FileSize(path), (long)std::strlen(RECORD_CSV_HEADER));
    EXPECT_EQ(WriteRecordingDue(file.get(), begun + std::chrono::milliseconds(600)), RECFILE_OK);
    EXPECT_EQ(FileLines(path).size(), 2u);
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, "COM1,2"), RECFILE_BAD_LABEL);
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, "COM\n1"), RECFILE_BAD_LABEL);
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, "COM1"), RECFILE_OK);
    EXPECT_EQ(RecordingFileFrames(file.get()), 2);

    // A new file in the same second gets a number; the first is ended whole.
    ASSERT_EQ(CreateRecordingFileIn(file.get(), folder.c_str(), "-A"), RECFILE_OK);
    const std::string second = RecordingFileName(file.get());
    EXPECT_EQ(FileLines(path).size(), 3u);
    const std::string stamp = path.substr(folder.size() + 1, 19);
    if (second.compare(0, 19, stamp) == 0) {
        EXPECT_EQ(second, stamp + "-A_2.csv");
    }
    ASSERT_EQ(CloseRecordingFile(file.get()), RECFILE_OK);

    EXPECT_EQ(CreateRecordingFileAt(file.get(), path.c_str()), RECFILE_FAILED);
    EXPECT_STREQ(RecordingFileError(file.get()), "The file exists already");
    EXPECT_EQ(FileLines(path).size(), 3u);
    EXPECT_EQ(CreateRecordingFileIn(file.get(), (folder + "/missing").c_str(), ""), RECFILE_FAILED);
    EXPECT_STREQ(RecordingFileError(file.get()), "The folder does not exist");
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, "COM1"), RECFILE_NOT_OPEN);
}

// A file that takes only part of a write (here the process's file size limit, as a full disk
// would) is cut back to the last whole line; the recording ends with the system's words.
TEST_F(RecordingFiles, AShortWriteIsCutBackToWholeLines) {
    auto file = std::make_unique<RecordingFile>();
    unsigned char values[RECFILE_VALUES] = {};
    ASSERT_EQ(CreateRecordingFileAt(file.get(), (folder + "/limited.csv").c_str()), RECFILE_OK);
    for (int frame = 0; frame < 20; frame++)
        ASSERT_EQ(AppendRecordingFrame(file.get(), values, "COM1"), RECFILE_OK);
    ASSERT_EQ(WriteRecordingPending(file.get()), RECFILE_OK);
    const long whole = FileSize(RecordingFilePath(file.get()));

    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = (rlim_t)whole + 100;
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int frame = 0; frame < 100; frame++)
        ASSERT_EQ(AppendRecordingFrame(file.get(), values, "COM1"), RECFILE_OK);
    const int result = WriteRecordingPending(file.get());
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, RECFILE_FAILED);
    EXPECT_STREQ(RecordingFileError(file.get()), std::strerror(EFBIG));
    EXPECT_FALSE(RecordingFileIsOpen(file.get()));
    EXPECT_EQ(FileSize(RecordingFilePath(file.get())), whole);
    EXPECT_EQ(FileLines(RecordingFilePath(file.get())).size(), 21u);
    EXPECT_EQ(RecordingFileFrames(file.get()), 20);
}

// The longest label the file takes, with the widest values and a year's seconds, stands whole in
// one line, in the file and in the panel's line buffer alike; one byte more is refused.
TEST_F(RecordingFiles, TheLongestLabelFitsALine) {
    const std::string label(RECFILE_LABEL_MAX, 'n');
    const unsigned char values[RECFILE_VALUES] = {255, 255, 255, 255, 255, 255, 255};
    const std::string expected = "2026-12-08T09:15:02.125+01:00,31536000.125,255,255,255,255,255,"
                                 "255,255," +
                                 label + "\n";
    char line[RECFILE_LINE_MAX];
    EXPECT_EQ(FormatRecordLine(line, sizeof line, "2026-12-08T09:15:02.125+01:00", 31536000.125,
                               values, label.c_str()),
              (int)expected.size());
    EXPECT_EQ(std::string(line), expected);
    EXPECT_LE(expected.size(), (size_t)RECORD_LINE_MAX);

    auto file = std::make_unique<RecordingFile>();
    ASSERT_EQ(CreateRecordingFileAt(file.get(), (folder + "/long.csv").c_str()), RECFILE_OK);
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, (label + "n").c_str()), RECFILE_BAD_LABEL);
    EXPECT_EQ(AppendRecordingFrame(file.get(), values, label.c_str()), RECFILE_OK);
    ASSERT_EQ(CloseRecordingFile(file.get()), RECFILE_OK);
    const std::vector<std::string> lines = FileLines(RecordingFilePath(file.get()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - label.size() - 1), "," + label);
}
