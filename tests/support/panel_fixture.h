// The real panel for tests: the engine started once per test program, a fresh copy of
// nvmxv451.uir from the source tree for each test, the modal pop-ups replaced by a recorder and
// the file pop-up answered by the test.
#pragma once

#include "support/popup_recorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Makes a fresh directory under the system's temporary folder, named prefix plus a unique
// suffix, and returns its path ("" when it cannot).
std::string MakeScratchDirectory(const std::string &prefix);

// Starts the engine once (offscreen under ctest). False when it cannot start.
bool StartTestEngine();
// The real panel file: $NVMX_SOURCE_DIR/resources/nvmxv451.uir.
std::string PanelFilePath();
// Discards the panel loaded before, loads the real one with the program's callback and control
// tables and makes it MainPanel. Returns the handle (negative on failure).
int LoadRealPanel();

// The nine parameter controls (in block order: POWER, PMOD, AVERAGE, TRIGGER, EVALMODE,
// INTLIM, HOLD, MAXCOL-No., OUTMODE) and the 15 x 5 teach cells as the panel shows them.
struct PanelValues {
    int control[9];
    int cell[15][5]; // [row - 1][column - 1]
    bool operator==(const PanelValues &other) const = default;
};
extern const int parameterControlIds[9];
// Readers of MainPanel: a control's integer value, an integer attribute (-1 when the engine
// refuses), and a teach-table cell by teach-table row (from 0) and column (from 1).
int ControlValue(int control);
int ControlAttribute(int control, int attribute);
int TeachCell(int row, int column);
// Runs RunDataTransfer until something clears acquisitionActive, or a watchdog does after 30 s;
// a transfer that ran into the watchdog fails the test.
void TransferWithWatchdog();

PanelValues CapturePanelValues();
void ApplyPanelValues(const PanelValues &values); // SetCtrlVal / SetTableCellVal, no layout
std::string DescribePanelValues(const PanelValues &values);

// Runs the engine's pending events until done() holds or seconds have passed; returns done().
bool ProcessEventsUntil(const std::function<bool()> &done, double seconds);

// The fixture of panel tests: engine, a fresh real panel, InitVars run as at start-up, the
// pop-up recorder, and a scratch directory of the test's own.
class PanelFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A path inside the scratch directory (removed after the test).
    std::string TempPath(const std::string &name) const;
    // Makes a directory refuse new files, for root too (immutable flag where the file system
    // has one); TearDown undoes it. False when the directory still takes new files.
    bool MakeDirectoryUnwritable(const std::string &directory);

    std::string tempDir;

  private:
    std::vector<std::string> lockedDirectories;
};
