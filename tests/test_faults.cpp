// Saves under faults the program cannot prevent: killed at any moment, or onto a full file
// system. The old file or the new one is always there whole, and nothing is left beside it.
#include "platform/engine/userint.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
enum { BLOCK = 84 };

struct Block {
    unsigned char bytes[BLOCK];
};

Block Filled(int seed) {
    Block block;
    for (int i = 0; i < BLOCK; i++)
        block.bytes[i] = static_cast<unsigned char>(seed + 7 * i);
    return block;
}

int Save(const std::string &path, const Block &block) {
    return ArrayToFile(path.c_str(), block.bytes, VAL_UNSIGNED_CHAR, BLOCK, 1, VAL_GROUPS_TOGETHER,
                       VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 5, VAL_ASCII, VAL_TRUNCATE);
}

// The seed of the block the file holds whole, or -1.
int LoadedSeed(const std::string &path, std::initializer_list<int> seeds) {
    Block loaded;
    if (FileToArray(path.c_str(), loaded.bytes, VAL_UNSIGNED_CHAR, BLOCK, 1, VAL_GROUPS_TOGETHER,
                    VAL_GROUPS_AS_COLUMNS, VAL_ASCII) != UIE_OK)
        return -1;
    for (int seed : seeds)
        if (std::memcmp(loaded.bytes, Filled(seed).bytes, BLOCK) == 0)
            return seed;
    return -1;
}

std::vector<std::string> FilesIn(const std::string &directory) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SaveUnderFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = MakeScratchDirectory("nvmx-faults-");
        ASSERT_FALSE(directory.empty());
        path = directory + "/init.dat";
    }
    void TearDown() override {
        if (mounted)
            umount2(directory.c_str(), MNT_DETACH);
        fs::remove_all(directory);
    }
    std::string directory;
    std::string path;
    bool mounted = false;
};

TEST_F(SaveUnderFaults, KilledAtAnyMomentLeavesOldOrNewWholeAndNoDebris) {
    std::mt19937 random(12345);
    for (int round = 0; round < 30; round++) {
        ASSERT_EQ(Save(path, Filled(1)), UIE_OK);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves the new block and the old one by turns, until killed inside some save.
            for (int i = 0;; i++)
                Save(path, Filled(i % 2 ? 1 : 2));
        }
        // Once the first save is through, a kill lands anywhere in the saves that follow.
        bool sawNew = false;
        for (int wait = 0; wait < 1000 && !sawNew; wait++) {
            sawNew = LoadedSeed(path, {2}) == 2;
            if (!sawNew)
                usleep(10000);
        }
        EXPECT_TRUE(sawNew) << "round " << round << ": no save came through within 10 s";
        usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_NE(LoadedSeed(path, {1, 2}), -1) << "round " << round << ": the file is not whole";
        // The next start sweeps what an unfinished save left.
        RemoveUnfinishedSaves(directory.c_str());
        EXPECT_EQ(FilesIn(directory), std::vector<std::string>{"init.dat"}) << "round " << round;
    }
}

TEST_F(SaveUnderFaults, FullFileSystemIsReportedAndKeepsTheOldFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a small file system of its own needs root to mount";
    if (mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    mounted = true;
    ASSERT_EQ(Save(path, Filled(1)), UIE_OK);
    // Fill what is left.
    {
        std::ofstream filler(directory + "/filler", std::ios::binary);
        std::string chunk(1024, 'f');
        while (filler.write(chunk.data(), chunk.size()))
            ;
    }
    int result = Save(path, Filled(2));
    EXPECT_EQ(result, UIE_IO_ERROR);
    EXPECT_NE(std::string(LastArrayFileError()).find("cannot write " + path), std::string::npos)
        << LastArrayFileError();
    EXPECT_EQ(LoadedSeed(path, {1, 2}), 1);
    EXPECT_EQ(FilesIn(directory), (std::vector<std::string>{"filler", "init.dat"}));
}

} // namespace
