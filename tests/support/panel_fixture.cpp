#include "support/panel_fixture.h"

#include "platform/system/settings.h"

#include "gui/transactions.h"
#include "nvmxv451/callbacks.h"
#include "nvmxv451/nvmxv451.h"
#include "platform/engine/userint.h"
#include "state/globals.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

bool StartTestEngine() {
    static char name[] = "nvmxv451-test";
    static char *argv[] = {name, nullptr};
    InitSettings("nvmxv451-tests", "panel");
    return InitEngine(1, argv) >= 0;
}

std::string PanelFilePath() {
    const char *source = std::getenv("NVMX_SOURCE_DIR");
    return std::string(source ? source : ".") + "/resources/nvmxv451.uir";
}

int LoadRealPanel() {
    if (MainPanel > 0)
        DiscardPanel(MainPanel);
    SetCallbackTable(programCallbacks, CONTROL_CALLBACK_COUNT + 1);
    SetControlTable(panelControls, PANEL_CONTROL_COUNT);
    MainPanel = LoadPanel(0, PanelFilePath().c_str(), 1);
    return MainPanel;
}

const int parameterControlIds[9] = {
    PANEL_POWER,  PANEL_PMOD, PANEL_AVERAGE,  PANEL_TRIGGER, PANEL_EVALMODE,
    PANEL_INTLIM, PANEL_HOLD, PANEL_MAXCOLNO, PANEL_OUTMODE,
};

PanelValues CapturePanelValues() {
    PanelValues values{};
    for (int i = 0; i < 9; i++)
        GetCtrlVal(MainPanel, parameterControlIds[i], &values.control[i]);
    for (int row = 1; row <= 15; row++)
        for (int column = 1; column <= 5; column++)
            GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row),
                            &values.cell[row - 1][column - 1]);
    return values;
}

void ApplyPanelValues(const PanelValues &values) {
    for (int i = 0; i < 9; i++)
        SetCtrlVal(MainPanel, parameterControlIds[i], values.control[i]);
    for (int row = 1; row <= 15; row++)
        for (int column = 1; column <= 5; column++)
            SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row),
                            values.cell[row - 1][column - 1]);
}

int ControlValue(int control) {
    int value = -1;
    GetCtrlVal(MainPanel, control, &value);
    return value;
}

int ControlAttribute(int control, int attribute) {
    int value = -1;
    GetCtrlAttribute(MainPanel, control, attribute, &value);
    return value;
}

int TeachCell(int row, int column) {
    int value = -1;
    GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row + 1), &value);
    return value;
}

std::string DescribePanelValues(const PanelValues &values) {
    // Appends separator and number one after the other: GCC 12's -Wrestrict reports a false
    // overlap in Release for `text += " " + std::to_string(value)` (the insert into the
    // temporary).
    std::string text = "controls";
    for (int value : values.control)
        text.append(" ").append(std::to_string(value));
    text += "; cells";
    for (const auto &row : values.cell)
        for (int value : row)
            text.append(" ").append(std::to_string(value));
    return text;
}

bool ProcessEventsUntil(const std::function<bool()> &done, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        ProcessSystemEvents();
    }
    return true;
}

void PanelFixture::SetUp() {
    ASSERT_TRUE(StartTestEngine()) << "the engine did not start";
    ASSERT_GT(LoadRealPanel(), 0) << "cannot load " << PanelFilePath();
    RecordPopups();
    GetProjectDir(projectDir);
    InitVars();
    ClearPopups();
    SetSettingText("files/folder", ""); // no folder remembered from an earlier test

    tempDir = MakeScratchDirectory("nvmx-test-");
    ASSERT_FALSE(tempDir.empty());
}

std::string MakeScratchDirectory(const std::string &prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : std::string();
}

// Sets or clears the immutable flag of a directory; false when the file system refuses.
static bool SetImmutable(const std::string &directory, bool immutable) {
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
}

static bool TakesNewFiles(const std::string &directory) {
    std::string probe = directory + "/.probe";
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool PanelFixture::MakeDirectoryUnwritable(const std::string &directory) {
    lockedDirectories.push_back(directory);
    std::error_code ignored;
    std::filesystem::permissions(
        directory, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec,
        ignored);
    if (geteuid() == 0)
        SetImmutable(directory, true);
    return !TakesNewFiles(directory);
}

void PanelFixture::TearDown() {
    acquisitionActive = 0;
    StopRecordingPopups();
    for (const std::string &directory : lockedDirectories) {
        SetImmutable(directory, false);
        std::error_code ignored;
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    lockedDirectories.clear();
    if (!tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir, ignored);
    }
}

std::string PanelFixture::TempPath(const std::string &name) const {
    return tempDir + "/" + name;
}

void TransferWithWatchdog() {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { acquisitionActive = 0; });
    watchdog.start(30000);
    RunDataTransfer();
    EXPECT_TRUE(watchdog.isActive()) << "the transfer ran into the watchdog";
}
