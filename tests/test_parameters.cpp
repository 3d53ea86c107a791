// The parameter set between panel, block and ".dat" files.
#include "gui/parameters.h"
#include "gui/records.h"
#include "state/globals.h"
#include "support/panel_fixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// A panel state that no evaluation mode changes (EVALMODE 1, OUTMODE BINARY) and in which
// every value differs from the resource defaults.
PanelValues EditedValues() {
    PanelValues values{};
    const int controls[9] = {200, 1, 17, 1, 1, 99, 42, 9, 2};
    std::memcpy(values.control, controls, sizeof controls);
    for (int row = 0; row < 15; row++)
        for (int column = 0; column < 5; column++)
            values.cell[row][column] = (row * 13 + column * 7 + 3) % 256;
    return values;
}

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t Occurrences(const std::string &text, const std::string &part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

// The file form of a block: one number per line.
std::string BlockText(const unsigned char *block, int count, const char *lineEnd) {
    std::string text;
    for (int i = 0; i < count; i++)
        text += std::to_string(block[i]) + lineEnd;
    return text;
}

class ParameterFile : public PanelFixture {
  protected:
    void Save(const std::string &path) {
        AnswerFileSelect(path, VAL_NEW_FILE_SELECTED);
        SaveParameterFile();
    }
    void Load(const std::string &path) {
        AnswerFileSelect(path, VAL_EXISTING_FILE_SELECTED);
        LoadParameterFile();
    }
};

TEST_F(ParameterFile, SaveAndLoadGiveBackEveryControlAndCell) {
    PanelValues edited = EditedValues();
    ApplyPanelValues(edited);
    std::string path = TempPath("set.dat");
    Save(path);

    ASSERT_EQ(FileSelects().size(), 1u);
    EXPECT_EQ(FileSelects()[0].directory, std::string(projectDir));
    EXPECT_EQ(FileSelects()[0].fileName, "init.dat");
    EXPECT_EQ(FileSelects()[0].typeList, "*.dat");
    EXPECT_EQ(FileSelects()[0].title, "init");

    PanelValues other{};
    for (int &value : other.control)
        value = 0;
    for (auto &row : other.cell)
        for (int &value : row)
            value = 250;
    ApplyPanelValues(other);
    ASSERT_NE(CapturePanelValues(), edited);

    Load(path);
    EXPECT_EQ(CapturePanelValues(), edited) << DescribePanelValues(CapturePanelValues());
    EXPECT_TRUE(Popups().empty());
    EXPECT_EQ(ParameterBlock[OFFSET_MAXCOLNO], 9);
    EXPECT_EQ(ParameterBlock[TeachCellOffset(15, 5)], edited.cell[14][4]);
}

TEST_F(ParameterFile, FileHoldsTheInvertedPowerAndOneFieldPerByte) {
    PanelValues edited = EditedValues();
    ApplyPanelValues(edited);
    std::string path = TempPath("power.dat");
    Save(path);

    std::vector<std::string> lines = Lines(ReadText(path));
    ASSERT_EQ(lines.size(), 84u);
    EXPECT_EQ(lines[0], "   55");
    EXPECT_EQ(lines[OFFSET_PMOD], "    1");
    EXPECT_EQ(lines[OFFSET_AVERAGE], "   17");
    EXPECT_EQ(lines[OFFSET_HOLD], "   42");
    char cell[8];
    std::snprintf(cell, sizeof cell, "%5d", edited.cell[1][0]);
    EXPECT_EQ(lines[TeachCellOffset(2, 1)], cell);
    for (const std::string &line : lines)
        EXPECT_EQ(line.size(), 5u) << "'" << line << "'";

    SetCtrlVal(MainPanel, PANEL_POWER, 10);
    Load(path);
    int power = 0;
    GetCtrlVal(MainPanel, PANEL_POWER, &power);
    EXPECT_EQ(power, 200);
    EXPECT_EQ(ParameterSet.parameter[OFFSET_POWER], 55);
}

TEST_F(ParameterFile, ForeignLineEndsAndBlanksLoad) {
    unsigned char block[BLOCK_LENGTH];
    for (int i = 0; i < BLOCK_LENGTH; i++)
        block[i] = (unsigned char)(i * 3);
    block[OFFSET_POWER] = 0;
    block[OFFSET_PMOD] = 0;
    block[OFFSET_TRIGGER] = 1;
    block[OFFSET_EVALMODE] = 1;
    block[OFFSET_MAXCOLNO] = 3;
    block[OFFSET_OUTMODE] = 1;
    std::string text;
    for (int i = 0; i < BLOCK_LENGTH; i++)
        text += "  " + std::to_string(block[i]) + " \r\n";
    std::string path = TempPath("crlf.dat");
    WriteText(path, text);

    Load(path);
    EXPECT_TRUE(Popups().empty());
    EXPECT_EQ(std::memcmp(ParameterBlock, block, BLOCK_LENGTH), 0);
    PanelValues shown = CapturePanelValues();
    EXPECT_EQ(shown.control[OFFSET_POWER], 255);
    EXPECT_EQ(shown.control[OFFSET_INTLIM], block[OFFSET_INTLIM]);
    EXPECT_EQ(shown.cell[0][0], block[TeachCellOffset(1, 1)]);
    EXPECT_EQ(shown.cell[14][4], block[TeachCellOffset(15, 5)]);
}

TEST_F(ParameterFile, BadFilesAreRefusedAndChangeNothing) {
    // A loaded record, then unsaved edits on the panel.
    PanelValues edited = EditedValues();
    ApplyPanelValues(edited);
    std::string good = TempPath("good.dat");
    Save(good);
    Load(good);
    SetCtrlVal(MainPanel, PANEL_POWER, 7);
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(3, 4), 111);
    PanelValues before = CapturePanelValues();
    unsigned char blockBefore[BLOCK_LENGTH];
    std::memcpy(blockBefore, ParameterBlock, BLOCK_LENGTH);
    ParameterSetRecord setBefore = ParameterSet;

    unsigned char numbers[BLOCK_LENGTH];
    for (int i = 0; i < BLOCK_LENGTH; i++)
        numbers[i] = (unsigned char)(i + 1);
    std::string tooFew = BlockText(numbers, 83, "\n");
    std::string tooLarge = BlockText(numbers, BLOCK_LENGTH, "\n");
    tooLarge.replace(tooLarge.find("\n40\n") + 1, 2, "256");
    std::string withText = BlockText(numbers, BLOCK_LENGTH, "\n");
    withText.replace(withText.find("\n40\n") + 1, 2, "4x");
    std::string withNul = BlockText(numbers, BLOCK_LENGTH, "\n");
    withNul.replace(withNul.find("\n10\n") + 1, 2,
                    std::string("1\0"
                                "0",
                                3));

    struct BadFile {
        const char *name;
        const std::string *content; // nullptr: the file does not exist
    } badFiles[] = {
        {"missing.dat", nullptr}, {"short.dat", &tooFew}, {"large.dat", &tooLarge},
        {"text.dat", &withText},  {"nul.dat", &withNul},
    };
    for (const BadFile &bad : badFiles) {
        SCOPED_TRACE(bad.name);
        std::string path = TempPath(bad.name);
        if (bad.content)
            WriteText(path, *bad.content);
        ClearPopups();
        Load(path);
        ASSERT_EQ(Popups().size(), 1u);
        EXPECT_EQ(Popups()[0].title, "INFO");
        EXPECT_EQ(Occurrences(Popups()[0].text, path), 1u) << Popups()[0].text;
        EXPECT_EQ(CapturePanelValues(), before);
        EXPECT_EQ(std::memcmp(ParameterBlock, blockBefore, BLOCK_LENGTH), 0);
        EXPECT_EQ(std::memcmp(&ParameterSet, &setBefore, sizeof setBefore), 0);
    }
}

TEST_F(ParameterFile, FailedSaveIsReportedAndKeepsTheOldFile) {
    std::filesystem::create_directory(TempPath("locked"));
    std::string path = TempPath("locked/keep.dat");
    WriteText(path, "old content\n");
    ApplyPanelValues(EditedValues());
    if (!MakeDirectoryUnwritable(TempPath("locked")))
        GTEST_SKIP() << "cannot make a directory unwritable here";

    Save(path);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "INFO");
    EXPECT_EQ(Occurrences(Popups()[0].text, path), 1u) << Popups()[0].text;
    EXPECT_EQ(ReadText(path), "old content\n");

    // A directory that does not exist is reported too.
    ClearPopups();
    std::string nowhere = TempPath("no/such/dir/set.dat");
    Save(nowhere);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_NE(Popups()[0].text.find(nowhere), std::string::npos);
}

TEST_F(ParameterFile, CancelledPopupDoesNothing) {
    PanelValues edited = EditedValues();
    ApplyPanelValues(edited);
    std::string path = TempPath("set.dat");
    Save(path);
    std::string saved = ReadText(path);
    unsigned char blockBefore[BLOCK_LENGTH];
    std::memcpy(blockBefore, ParameterBlock, BLOCK_LENGTH);

    SetCtrlVal(MainPanel, PANEL_HOLD, 1);
    AnswerFileSelect(path, VAL_NO_FILE_SELECTED);
    SaveParameterFile();
    LoadParameterFile();
    EXPECT_EQ(ReadText(path), saved);
    EXPECT_EQ(std::memcmp(ParameterBlock, blockBefore, BLOCK_LENGTH), 0);
    int hold = 0;
    GetCtrlVal(MainPanel, PANEL_HOLD, &hold);
    EXPECT_EQ(hold, 1);
    EXPECT_TRUE(Popups().empty());
}

TEST_F(ParameterFile, PathsThePopupCannotHandOnAreReported) {
    // One byte more than the path buffer holds: cut, it would name another file.
    std::string directory = TempPath("");
    std::string longPath = directory + std::string(MAX_PATHNAME_LEN - directory.size(), 'p');
    ApplyPanelValues(EditedValues());
    PanelValues before = CapturePanelValues();
    struct Attempt {
        std::string path;
        int code;
        const char *reason;
    } attempts[] = {
        {longPath, VAL_NEW_FILE_SELECTED, "longer than the program can keep"},
        {TempPath("set.dat"), UIE_NOT_INITIALISED, "file selection failed"},
    };
    for (const Attempt &attempt : attempts) {
        for (void (*operation)() : {SaveParameterFile, LoadParameterFile}) {
            ClearPopups();
            AnswerFileSelect(attempt.path, attempt.code);
            operation();
            ASSERT_EQ(Popups().size(), 1u);
            EXPECT_EQ(Popups()[0].title, "INFO");
            EXPECT_NE(Popups()[0].text.find(attempt.reason), std::string::npos) << Popups()[0].text;
        }
        EXPECT_FALSE(std::filesystem::exists(attempt.path));
        EXPECT_EQ(CapturePanelValues(), before);
    }
    // A path that just fits is taken.
    std::string fitting = longPath.substr(0, MAX_PATHNAME_LEN - 1);
    ClearPopups();
    Save(fitting);
    EXPECT_TRUE(Popups().empty());
    EXPECT_TRUE(std::filesystem::exists(fitting));
}

TEST_F(ParameterFile, LoadedContrastModeIsLaidOutAtOnce) {
    PanelValues contrast = EditedValues();
    contrast.control[OFFSET_EVALMODE] = 3;
    contrast.control[OFFSET_PMOD] = 1;
    contrast.control[OFFSET_OUTMODE] = 0;
    contrast.control[OFFSET_MAXCOLNO] = 3;
    ApplyPanelValues(contrast);
    std::string path = TempPath("contrast.dat");
    Save(path);
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 1);

    Load(path);
    int source = -1, hold = -1, pmod = -1, dimmed = 0;
    GetCtrlVal(MainPanel, PANEL_SOURCE, &source);
    GetCtrlVal(MainPanel, PANEL_HOLD, &hold);
    GetCtrlVal(MainPanel, PANEL_PMOD, &pmod);
    EXPECT_EQ(source, 2);
    EXPECT_EQ(hold, 0);
    EXPECT_EQ(pmod, 0);
    GetCtrlAttribute(MainPanel, PANEL_OUTMODE, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    // The file's own values stay in the block until the next send or save.
    EXPECT_EQ(ParameterBlock[OFFSET_HOLD], 42);
}

} // namespace

namespace {

// What the real file pop-up showed: opened, inspected and cancelled as a user would.
struct DialogSeen {
    bool shown = false;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    bool asksBeforeReplacing = false;
    QStringList filters;
    QString folder;
};

DialogSeen WatchNextDialog(void (*action)(void)) {
    DialogSeen seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        seen.shown = true;
        seen.mode = dialog->acceptMode();
        seen.asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        seen.filters = dialog->nameFilters();
        seen.folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    poll.start(20);
    action();
    return seen;
}

TEST_F(ParameterFile, SavingShowsASaveDialogInTheFolderUsedLast) {
    std::string folder = TempPath("sets");
    std::filesystem::create_directory(folder);
    Save(folder + "/a.dat"); // through the recorder: remembers the folder
    StopRecordingPopups();

    DialogSeen save = WatchNextDialog(SaveParameterFile);
    ASSERT_TRUE(save.shown);
    EXPECT_EQ(save.mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(save.asksBeforeReplacing);
    EXPECT_EQ(save.filters, QStringList{QStringLiteral("*.dat")});
    EXPECT_EQ(save.folder.toStdString(), std::filesystem::canonical(folder).string());

    DialogSeen load = WatchNextDialog(LoadParameterFile);
    ASSERT_TRUE(load.shown);
    EXPECT_EQ(load.mode, QFileDialog::AcceptOpen);
    RecordPopups();

    // A remembered folder that is gone falls back to the program's folder.
    std::filesystem::remove_all(folder);
    AnswerFileSelect("", VAL_NO_FILE_SELECTED);
    SaveParameterFile();
    ASSERT_EQ(FileSelects().size(), 1u);
    EXPECT_EQ(FileSelects()[0].directory, std::string(projectDir));
}

} // namespace
