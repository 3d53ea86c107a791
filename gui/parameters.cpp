// The parameter set on the panel and in parameter files.
#include "gui/parameters.h"

#include "com232/parameterfile.h"
#include "gui/layout.h"
#include "gui/records.h"
#include "platform/system/settings.h"
#include "state/globals.h"

#include <cstdio>
#include <cstring>

char parameterFilePath[MAX_PATHNAME_LEN];
char parameterSetFile[MAX_PATHNAME_LEN];

enum { FILE_MESSAGE_LEN = MAX_PATHNAME_LEN + 640 };

// The nine parameter controls in block order (OFFSET_POWER .. OFFSET_OUTMODE).
static const int parameterControls[PARAMETER_COUNT] = {
    PANEL_POWER,  PANEL_PMOD, PANEL_AVERAGE,  PANEL_TRIGGER, PANEL_EVALMODE,
    PANEL_INTLIM, PANEL_HOLD, PANEL_MAXCOLNO, PANEL_OUTMODE,
};

void ReadPanelParameters(void) {
    for (int i = 0; i < PARAMETER_COUNT; i++)
        GetCtrlVal(MainPanel, parameterControls[i], &ParameterSet.parameter[i]);
    ParameterSet.parameter[OFFSET_POWER] = InvertPower(ParameterSet.parameter[OFFSET_POWER]);
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row),
                            &ParameterSet.teachTable[row][column]);
}

void PanelParameterBlock(unsigned char block[BLOCK_LENGTH]) {
    ReadPanelParameters();
    PackParameters();
    std::memcpy(block, ParameterBlock, BLOCK_LENGTH);
}

void ShowParameters(void) {
    for (int i = 0; i < PARAMETER_COUNT; i++) {
        unsigned char value = ParameterSet.parameter[i];
        if (i == OFFSET_POWER)
            value = InvertPower(value);
        SetCtrlVal(MainPanel, parameterControls[i], (int)value);
    }
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row),
                            (int)ParameterSet.teachTable[row][column]);
}

static const char folderKey[] = "files/folder";

// Where the file pop-up starts: the folder used last, else the program's folder where the user
// may write and it is not an installed program's, else the user's documents.
static void ParameterFileFolder(char *folder) {
    GetSettingText(folderKey, folder, MAX_PATHNAME_LEN);
    if (DirectoryExists(folder))
        return;
    if (GetUserFilesDir(projectDir, folder) < 0)
        std::snprintf(folder, MAX_PATHNAME_LEN, "%s", projectDir);
}

// "INFO" pop-up with what went wrong and why; the engine's reasons name the file.
static void ReportFileProblem(const char *what, const char *why) {
    char message[FILE_MESSAGE_LEN];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n %s", what, why);
    MessagePopup("INFO", message);
}

// The file pop-up of saving (buttonLabel VAL_SAVE_BUTTON) or loading (VAL_LOAD_BUTTON).
// Returns 1 when a path was chosen, whose folder is then remembered. A pop-up that failed, for
// example on a path longer than parameterFilePath holds, is reported under what: the user must
// not believe a set saved or loaded that was not.
static int SelectParameterFile(int buttonLabel, const char *what) {
    char folder[MAX_PATHNAME_LEN] = "";
    ParameterFileFolder(folder);
    int code = FileSelectPopup(folder, "init.dat", "*.dat", "init", buttonLabel, 0, 1, 1, 1,
                               parameterFilePath);
    if (code == UIE_PATH_TOO_LONG)
        ReportFileProblem(what, "the chosen path is longer than the program can keep");
    else if (code < 0)
        ReportFileProblem(what, "the file selection failed");
    else if (code > 0 && GetDirectoryOf(parameterFilePath, folder) == 0)
        SetSettingText(folderKey, folder);
    return code > 0;
}

void SaveParameterFile(void) {
    if (!SelectParameterFile(VAL_SAVE_BUTTON, parameterFileNotSaved))
        return;
    ReadPanelParameters();
    PackParameters();
    // The engine writes beside the target and renames, so a failure leaves the old file whole.
    if (WriteParameterFile(parameterFilePath, ParameterBlock) < 0)
        ReportFileProblem(parameterFileNotSaved, LastParameterFileError());
}

void LoadParameterFile(void) {
    if (!SelectParameterFile(VAL_LOAD_BUTTON, parameterFileNotLoaded))
        return;
    // A refused file leaves the ParameterBlock alone: showing the old block instead would throw
    // away the user's unsaved edits on the panel.
    if (ReadParameterFile(parameterFilePath, ParameterBlock) < 0) {
        ReportFileProblem(parameterFileNotLoaded, LastParameterFileError());
        return;
    }
    std::memcpy(parameterSetFile, parameterFilePath, MAX_PATHNAME_LEN);
    UnpackParameters();
    ShowParameters();
    ApplyEvalMode();
}
