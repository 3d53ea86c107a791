// The sensor emulator replaying a recording: its frames in order, at the recorded pace and in a
// loop, and a bad recording refused with its file and line named.
#include "support/emulator_child.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

TEST(Emulator, ReplaysARecordingInOrderAtItsPaceAndLoops) {
    std::string recording = TempPath("replay.csv");
    std::ofstream(recording) << "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\r\n"
                                "t,10.0,1,2,3,4,5,6,7,COM1\r\n"
                                "t,10.4,11,12,13,14,15,16,17,COM1\r\n";
    const Bytes first = {1, 2, 3, 4, 5, 6, 7};
    const Bytes second = {11, 12, 13, 14, 15, 16, 17};

    Emulator once;
    ASSERT_TRUE(once.open({"--replay", recording}));
    EXPECT_EQ(once.ask(5), first);
    EXPECT_EQ(once.ask(5), second);
    EXPECT_TRUE(once.ask(5, 0.3).empty()); // the recording is over: silence
    EXPECT_EQ(once.ask(7), Bytes{0xAA});

    Emulator looping;
    ASSERT_TRUE(looping.open({"--replay", recording, "--loop", "--replay-timing"}));
    auto start = Clock::now();
    EXPECT_EQ(looping.askExactly(5, FRAME), first);
    EXPECT_EQ(looping.askExactly(5, FRAME), second);
    EXPECT_GE(SecondsSince(start), 0.4); // recorded 0.4 s apart
    EXPECT_EQ(looping.askExactly(5, FRAME), first);
    std::filesystem::remove(recording);
}

TEST(Emulator, RefusesABadRecordingNamingFileAndLine) {
    std::string bad = TempPath("bad.csv");
    for (const std::string &text :
         {std::string("time,seconds\nt,0,1,2,3,4,5,6,300,COM1\n"), std::string("")}) {
        std::ofstream(bad, std::ios::trunc) << text;
        std::string command = EmulatorBinary() + " --replay " + bad + " 2>&1";
        FILE *output = popen(command.c_str(), "r");
        ASSERT_NE(output, nullptr);
        char message[512] = "";
        size_t length = fread(message, 1, sizeof message - 1, output);
        message[length] = '\0';
        int status = pclose(output);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << message;
        const std::string expected = bad + (text.empty() ? ":1: the file is empty" : ":2: C-No");
        EXPECT_NE(std::string(message).find(expected), std::string::npos) << message;
    }
    std::filesystem::remove(bad);
}

} // namespace
