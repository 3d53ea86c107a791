// The program in an installed layout: its panel file and logo in ../share/nvmxv451 beside its
// bin/ directory instead of beside it, and the user's files kept out of that directory.
#include "support/engine_fixture.h"
#include "support/pty_peer.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A private directory tree, removed afterwards.
class TempTree {
  public:
    explicit TempTree(const std::string &name)
        : root_(fs::temp_directory_path() / (name + "-" + std::to_string(getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~TempTree() { fs::remove_all(root_); }
    const fs::path &root() const { return root_; }

  private:
    fs::path root_;
};

// HOME and the XDG configuration point into a private tree for the length of a test, so that
// the documents folder is one the test controls.
class UserFilesDir : public ::testing::Test {
  protected:
    void SetUp() override {
        StartEngineFixture();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME"}) {
            const char *value = std::getenv(name);
            saved.emplace_back(name,
                               value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        home = tree.root() / "home";
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    }
    void TearDown() override {
        for (const auto &[name, value] : saved)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    std::string Chosen(const fs::path &preferred) {
        char directory[MAX_PATHNAME_LEN];
        EXPECT_EQ(GetUserFilesDir(preferred.c_str(), directory), 0);
        return directory;
    }

    TempTree tree{"nvmx-userfiles"};
    fs::path home;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(UserFilesDir, AWritableBuildDirectoryStays) {
    fs::path bin = tree.root() / "build" / "bin";
    fs::create_directories(bin);
    EXPECT_EQ(Chosen(bin), bin.string());
}

TEST_F(UserFilesDir, AnInstalledProgramsDirectoryGivesTheDocumentsFolder) {
    fs::path bin = tree.root() / "usr" / "bin";
    fs::create_directories(bin);
    fs::create_directories(tree.root() / "usr" / "share" / "nvmxv451");
    fs::create_directories(home / "Documents");
    EXPECT_EQ(Chosen(bin), (home / "Documents").string());
}

TEST_F(UserFilesDir, WithoutDocumentsFolderTheHomeFolder) {
    EXPECT_EQ(Chosen(tree.root() / "no-such-directory"), home.string());
}

TEST_F(UserFilesDir, RefusesMissingArguments) {
    char directory[MAX_PATHNAME_LEN];
    EXPECT_LT(GetUserFilesDir(nullptr, directory), 0);
    EXPECT_LT(GetUserFilesDir("/tmp", nullptr), 0);
}

// The real program copied into <root>/usr/bin with its data in <root>/usr/share/nvmxv451, in a
// real X window against a scripted sensor, started from another directory.
TEST(InstalledLayout, ProgramFindsItsPanelFileInTheDataDirectory) {
    TempTree tree("nvmx-installed");
    fs::path bin = tree.root() / "usr" / "bin", data = tree.root() / "usr" / "share" / "nvmxv451";
    fs::create_directories(bin);
    fs::create_directories(data);
    fs::copy_file(BinDir() + "/nvmxv451", bin / "nvmxv451");
    for (const char *file : {"nvmxv451.uir", "logoQN.bmp"})
        fs::copy_file(fs::path(BinDir()) / file, data / file);

    XSession x;
    ASSERT_TRUE(x.start());
    PtyPeer sensor;
    ASSERT_TRUE(sensor.start(AnswerLikeASensor()));
    ChildProcess program;
    ASSERT_TRUE(program.start(
        {(bin / "nvmxv451").string()},
        {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + sensor.slavePath()}));
    unsigned long panel = x.waitForWindow("Nevalometrix V4.51", 20.0);
    ASSERT_NE(panel, 0u) << "the panel file was not found in ../share/nvmxv451";
    ASSERT_TRUE(sensor.waitForRequests(2, 5.0));
    EXPECT_EQ(sensor.requests()[0].bytes, (Bytes{0x55, 0x07}));
    EXPECT_EQ(sensor.requests()[1].bytes, (Bytes{0x55, 0x03}));
    EXPECT_EQ(x.findWindow("INFO"), 0u);
    EXPECT_TRUE(x.closeWindow(panel));
    EXPECT_EQ(program.wait(20.0), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()), 1)
        << "nothing is written beside an installed program";
}

} // namespace
