// Saves and reads under faults the program cannot prevent: killed at any moment, onto a full file
// system, through links planted beside the target, from FIFOs, devices and files it may not
// read. The old file or the new one is always there whole, nothing is left beside it, nothing
// else is written or removed, and no read waits.
#include "platform/engine/userint.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
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

// A link planted at the name of a save's unfinished copy is neither written through nor
// removed; a link at the target itself is followed, and stays a link.
TEST_F(SaveUnderFaults, LinksBesideAndAtTheTargetNeverWriteAnotherFile) {
    const std::string victim = directory + "/victim";
    WriteText(victim, "precious\n");
    ASSERT_EQ(symlink(victim.c_str(), (path + ".saving").c_str()), 0);
    ASSERT_EQ(Save(path, Filled(1)), UIE_OK) << LastArrayFileError();
    EXPECT_EQ(ReadText(victim), "precious\n");
    EXPECT_EQ(LoadedSeed(path, {1}), 1);
    EXPECT_TRUE(fs::is_symlink(path + ".saving")) << "a link the program did not make was removed";

    const std::string real = directory + "/real.dat", link = directory + "/link.dat";
    ASSERT_EQ(Save(real, Filled(1)), UIE_OK);
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.dat", link.c_str()), 0);
    ASSERT_EQ(Save(link, Filled(2)), UIE_OK) << LastArrayFileError();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(LoadedSeed(real, {1, 2}), 2);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string dangling = directory + "/dangling.dat";
    ASSERT_EQ(symlink("nowhere.dat", dangling.c_str()), 0);
    EXPECT_EQ(Save(dangling, Filled(1)), UIE_IO_ERROR);
    EXPECT_NE(std::string(LastArrayFileError()).find("a link to no file"), std::string::npos)
        << LastArrayFileError();
    EXPECT_FALSE(fs::exists(directory + "/nowhere.dat"));
}

// What a killed save left goes at the next save of that file; the sweep takes only that, never
// a file of the user's that merely ends alike, nor the copy a running save holds.
TEST_F(SaveUnderFaults, LeftoversGoAndNothingElseDoes) {
    WriteText(path + ".saving-0a1b2c", "    1\n    2\n");
    ASSERT_EQ(Save(path, Filled(1)), UIE_OK);
    EXPECT_EQ(FilesIn(directory), std::vector<std::string>{"init.dat"});

    WriteText(directory + "/notes.saving", "ideas for saving energy\n");
    WriteText(directory + "/other.dat.saving-123456", "    7\n");
    WriteText(directory + "/busy.dat.saving-abcdef", "    7\n");
    const int busy = open((directory + "/busy.dat.saving-abcdef").c_str(), O_RDONLY);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(flock(busy, LOCK_EX), 0);
    EXPECT_EQ(RemoveUnfinishedSaves(directory.c_str()), UIE_OK);
    close(busy);
    EXPECT_EQ(FilesIn(directory),
              (std::vector<std::string>{"busy.dat.saving-abcdef", "init.dat", "notes.saving"}));
}

// Kinds that are no file: a FIFO is refused at once, never waited on and never replaced; a device
// is not read; a folder is named for what it is.
TEST_F(SaveUnderFaults, FifosDevicesAndFoldersAreRefusedAtOnce) {
    const std::string fifo = directory + "/pipe.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A read that waited on the FIFO would end here, failing the test rather than hanging it.
    alarm(60);
    Block block = Filled(9);
    EXPECT_EQ(FileToArray(fifo.c_str(), block.bytes, VAL_UNSIGNED_CHAR, BLOCK, 1, 0, 0, VAL_ASCII),
              UIE_FILE_UNREADABLE);
    EXPECT_NE(std::string(LastArrayFileError()).find("a FIFO, not a file"), std::string::npos)
        << LastArrayFileError();
    EXPECT_EQ(Save(fifo, Filled(1)), UIE_IO_ERROR);
    EXPECT_NE(std::string(LastArrayFileError()).find("a FIFO, not a file"), std::string::npos);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO was replaced by a plain file";
    EXPECT_EQ(LoadedSeed("/dev/zero", {}), -1);
    EXPECT_NE(std::string(LastArrayFileError()).find("a device, not a file"), std::string::npos);
    EXPECT_EQ(LoadedSeed(directory, {}), -1);
    EXPECT_NE(std::string(LastArrayFileError()).find("a directory, not a file"), std::string::npos);
    alarm(0);
    EXPECT_EQ(std::memcmp(block.bytes, Filled(9).bytes, BLOCK), 0);
}

// A file the user may not read is "permission denied", also where the tests run as root: the
// read runs in a child that has given up root.
TEST_F(SaveUnderFaults, UnreadableFileSaysPermissionDenied) {
    ASSERT_EQ(Save(path, Filled(1)), UIE_OK);
    ASSERT_EQ(chmod(path.c_str(), 0200), 0);
    ASSERT_EQ(chmod(directory.c_str(), 0755), 0);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(2);
        const bool refused = LoadedSeed(path, {1}) == -1;
        const std::string why = LastArrayFileError();
        (void)!write(pipeEnds[1], why.data(), why.size());
        _exit(refused ? 0 : 1);
    }
    close(pipeEnds[1]);
    char why[512] = "";
    (void)!read(pipeEnds[0], why, sizeof why - 1);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << why;
    EXPECT_NE(std::string(why).find("permission denied"), std::string::npos) << why;
}

// Names are bytes: one that is not UTF-8 is written and read as given, not as another name.
TEST_F(SaveUnderFaults, NamesThatAreNotUtf8AreTakenAsGiven) {
    const std::string odd = directory + "/good\xff.dat";
    ASSERT_EQ(Save(odd, Filled(3)), UIE_OK) << LastArrayFileError();
    EXPECT_EQ(FilesIn(directory), std::vector<std::string>{"good\xff.dat"});
    EXPECT_EQ(LoadedSeed(odd, {3}), 3);
}

} // namespace
