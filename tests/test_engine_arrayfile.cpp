// Array files: the parameter file's text form, written safely and read strictly.
#include "support/engine_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>

namespace {

class EngineArrayFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartEngineFixture();
        ASSERT_TRUE(directory.isValid());
        for (int i = 0; i < 84; i++)
            block[i] = static_cast<unsigned char>(i * 3 + 1);
    }
    std::string PathOf(const char *name) { return directory.filePath(name).toStdString(); }
    void WriteText(const char *name, const QByteArray &text) {
        QFile file(directory.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray ReadText(const char *name) {
        QFile file(directory.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    int Save(const std::string &path, const unsigned char *bytes, int count) {
        return ArrayToFile(path.c_str(), bytes, VAL_UNSIGNED_CHAR, count, 1, VAL_GROUPS_TOGETHER,
                           VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 5, VAL_ASCII, VAL_TRUNCATE);
    }
    int Load(const std::string &path, unsigned char *bytes, int count) {
        return FileToArray(path.c_str(), bytes, VAL_UNSIGNED_CHAR, count, 1, VAL_GROUPS_TOGETHER,
                           VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    }

    QTemporaryDir directory;
    unsigned char block[84];
};

TEST_F(EngineArrayFileTest, SavesFiveWideLinesAndLoadsThemBack) {
    const unsigned char three[3] = {0, 255, 7};
    ASSERT_EQ(Save(PathOf("three.dat"), three, 3), UIE_OK);
    EXPECT_EQ(ReadText("three.dat"), QByteArray("    0\n  255\n    7\n"));

    ASSERT_EQ(Save(PathOf("init.dat"), block, 84), UIE_OK);
    EXPECT_EQ(ReadText("init.dat").size(), 84 * 6);
    unsigned char loaded[84] = {};
    ASSERT_EQ(Load(PathOf("init.dat"), loaded, 84), UIE_OK);
    EXPECT_EQ(std::memcmp(loaded, block, 84), 0);
    EXPECT_STREQ(LastArrayFileError(), "");

    // A shorter record written over a longer file leaves nothing of the old one.
    ASSERT_EQ(Save(PathOf("init.dat"), three, 3), UIE_OK);
    EXPECT_EQ(ReadText("init.dat"), QByteArray("    0\n  255\n    7\n"));
}

TEST_F(EngineArrayFileTest, LoadsCrlfBlanksAndLongerFiles) {
    WriteText("dos.dat", "  1\r\n\t2 \r\n3   4\r\n\r\n 255\r\n");
    unsigned char loaded[5] = {};
    ASSERT_EQ(Load(PathOf("dos.dat"), loaded, 5), UIE_OK);
    EXPECT_EQ(std::vector<int>(loaded, loaded + 5), (std::vector<int>{1, 2, 3, 4, 255}));
    // A longer file gives its first values; what follows them is not looked at.
    unsigned char first[3] = {};
    ASSERT_EQ(Load(PathOf("dos.dat"), first, 3), UIE_OK);
    EXPECT_EQ(std::vector<int>(first, first + 3), (std::vector<int>{1, 2, 3}));
    WriteText("tail.dat", QByteArray("7 8 9\nend of set\n\0\xff", 20));
    ASSERT_EQ(Load(PathOf("tail.dat"), first, 3), UIE_OK);
    EXPECT_EQ(std::vector<int>(first, first + 3), (std::vector<int>{7, 8, 9}));
}

TEST_F(EngineArrayFileTest, RefusesBadFilesAndKeepsTheArray) {
    struct Case {
        const char *name;
        QByteArray text;
        const char *reason; // part of the error text
    } cases[] = {
        {"bad.dat", "1\n2\n", "2 numbers instead of 3"},
        {"bad.dat", "1\n256\n3\n", "line 2"},
        {"bad.dat", "1\n0000000000000000000001000\n3\n", "out of range 0..255 on line 2"},
        {"bad.dat", "1\n2\n-1\n", "byte '-' is not part of a number (line 3)"},
        {"bad.dat", "1\nabc\n3\n", "line 2"},
        {"bad.dat", "1\n2\n3x\n", "byte 'x'"},
        {"bad.dat",
         QByteArray("1\n1\0"
                    "0\n3\n",
                    9),
         "byte 0x00 is not part of a number (line 2)"},
        {"bad.dat", "", "0 numbers"},
        // The file's name and contents are shown as they are, never taken as placeholders.
        {"odd%1%2.dat", "1\n%1\n", "odd%1%2.dat: byte '%' is not part of a number (line 2)"},
    };
    for (const Case &bad : cases) {
        WriteText(bad.name, bad.text);
        unsigned char kept[3] = {9, 9, 9};
        EXPECT_LT(Load(PathOf(bad.name), kept, 3), 0) << bad.text.constData();
        EXPECT_EQ(std::vector<int>(kept, kept + 3), (std::vector<int>{9, 9, 9}))
            << bad.text.constData();
        EXPECT_NE(std::string(LastArrayFileError()).find(bad.reason), std::string::npos)
            << bad.text.constData() << " -> " << LastArrayFileError();
    }
    unsigned char kept[3] = {9, 9, 9};
    EXPECT_EQ(Load(PathOf("missing.dat"), kept, 3), UIE_FILE_NOT_FOUND);
    EXPECT_EQ(kept[0], 9);
    EXPECT_NE(std::string(LastArrayFileError()).find("missing.dat"), std::string::npos);
    EXPECT_EQ(Load(directory.path().toStdString(), kept, 3), UIE_FILE_UNREADABLE);
    EXPECT_NE(std::string(LastArrayFileError()).find("not a file"), std::string::npos);
    EXPECT_EQ(FileToArray(PathOf("missing.dat").c_str(), kept, VAL_DOUBLE, 3, 1, 0, 0, VAL_ASCII),
              UIE_BAD_VALUE);
}

TEST_F(EngineArrayFileTest, FailedSaveKeepsTheOldFile) {
    ASSERT_EQ(Save(PathOf("init.dat"), block, 84), UIE_OK);
    QByteArray old = ReadText("init.dat");

    // The disk "fills up" after 100 bytes: the new file cannot be completed.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    unsigned char other[84] = {};
    int result = Save(PathOf("init.dat"), other, 84);
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_LT(result, 0);
    EXPECT_EQ(ReadText("init.dat"), old);
    EXPECT_NE(std::string(LastArrayFileError()).find("cannot write " + PathOf("init.dat")),
              std::string::npos)
        << LastArrayFileError();
    // No half-written file is left beside it.
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), QStringList{"init.dat"});

    EXPECT_LT(Save(PathOf("no/such/dir/init.dat"), block, 84), 0);
    EXPECT_NE(std::string(LastArrayFileError()).find("no/such/dir/init.dat"), std::string::npos);

    // What a save killed before its rename leaves is swept at the next start; nothing else is.
    WriteText("init.dat.saving", "    1\n");
    WriteText("other.dat", "    1\n");
    EXPECT_EQ(RemoveUnfinishedSaves(directory.path().toUtf8().constData()), UIE_OK);
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files),
              (QStringList{"init.dat", "other.dat"}));
}

} // namespace
