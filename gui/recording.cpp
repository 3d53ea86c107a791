// The panel side of recording.
#include "gui/recording.h"

#include "gui/linepanel.h"
#include "platform/output/recorder.h"
#include "sensor/wire.h"
#include "state/globals.h"

#include <cstdio>

enum {
    RECORDING_COLOUR = 0xC00000,
    IDLE_COLOUR = 0x000000,
    FAILED_COLOUR = 0xC00000,
    DISPLAY_TEXT_LEN = RECORD_TEXT_LEN + 128,
    MESSAGE_LEN = DISPLAY_TEXT_LEN + (int)MAX_PATHNAME_LEN,
};
#define DISPLAY_INTERVAL 0.25 // seconds between refreshes of the frame count

static char recordFileName[RECORD_TEXT_LEN];
static double lastDisplayed = 0.0;

static void ShowRecording(const char *text, int colour) {
    SetCtrlAttribute(MainPanel, PANEL_RECSTATUS, ATTR_TEXT_COLOR, colour);
    SetCtrlVal(MainPanel, PANEL_RECSTATUS, text);
}

static void ShowFrameCount(const char *state, int colour) {
    char text[DISPLAY_TEXT_LEN];
    std::snprintf(text, sizeof text, "%s %s  %ld frames", state, recordFileName, RecordedFrames());
    ShowRecording(text, colour);
    lastDisplayed = Timer();
}

// The recording has ended on a failed write: the button goes off and the display says why;
// its tooltip also names the file and how many frames it kept, which the display has no room for.
static void ShowRecordingFailed(const char *why) {
    char text[DISPLAY_TEXT_LEN];
    std::snprintf(text, sizeof text, "RECORDING STOPPED: %s. %s keeps %ld frames", why,
                  recordFileName, RecordedFrames());
    SetCtrlVal(MainPanel, PANEL_RECORD, 0);
    SetCtrlAttribute(MainPanel, PANEL_RECSTATUS, ATTR_TOOLTIP_TEXT, text);
    std::snprintf(text, sizeof text, "STOPPED: %s", why);
    ShowRecording(text, FAILED_COLOUR);
}

static void StartNewRecording(void) {
    char folder[MAX_PATHNAME_LEN] = "";
    if (GetRecordFolder(folder, sizeof folder) != 0 ||
        StartRecording(folder, recordFileName, sizeof recordFileName) != 0) {
        char message[MESSAGE_LEN];
        std::snprintf(message, sizeof message,
                      " ATTENTION! \n \n RECORDING NOT STARTED \n %s \n %s", folder,
                      LastRecordingError());
        SetCtrlVal(MainPanel, PANEL_RECORD, 0);
        ShowRecording("RECORDING NOT STARTED", FAILED_COLOUR);
        MessagePopup("INFO", message);
        return;
    }
    SetRecordingFailedHook(ShowRecordingFailed);
    ShowFrameCount("REC", RECORDING_COLOUR);
}

void EndRecording(void) {
    if (!RecordingOn())
        return;
    if (StopRecording() != 0)
        ShowRecordingFailed(LastRecordingError());
    else
        ShowFrameCount("Recorded", IDLE_COLOUR);
}

void ToggleRecording(void) {
    int on = 0;
    GetCtrlVal(MainPanel, PANEL_RECORD, &on);
    if (on)
        StartNewRecording();
    else
        EndRecording();
}

void ChooseRecordFolder(void) {
    char folder[MAX_PATHNAME_LEN];
    char chosen[MAX_PATHNAME_LEN];
    GetRecordFolder(folder, sizeof folder);
    if (DirSelectPopup(folder, "Recording folder", chosen) > 0)
        SetRecordFolder(chosen);
}

void RecordMeasurement(const unsigned char frame[FRAME_LENGTH]) {
    if (!RecordingOn())
        return;
    if (RecordFrame(frame, PanelSession()->name) == RECORD_FAILED) {
        ShowRecordingFailed(LastRecordingError());
        return;
    }
    if (Timer() - lastDisplayed >= DISPLAY_INTERVAL)
        ShowFrameCount("REC", RECORDING_COLOUR);
}
