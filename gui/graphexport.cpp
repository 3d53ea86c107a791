// Graph export from the panel.
#include "gui/graphexport.h"

#include "gui/livedisplay.h"
#include "platform/output/exporter.h"
#include "platform/output/recorder.h"
#include "state/globals.h"

#include <cstdio>

enum { EXPORT_MESSAGE_LEN = MAX_PATHNAME_LEN + 128 };

// Save pop-up in the recording folder, then the file. Cancel writes nothing; a failure is
// reported in an "INFO" pop-up naming the file.
static void ExportControl(int control, const char *defaultName) {
    char folder[MAX_PATHNAME_LEN] = "";
    char path[MAX_PATHNAME_LEN];
    GetRecordFolder(folder, sizeof folder);
    if (FileSelectPopup(folder, defaultName, "*.png;*.pdf", "Export graph", VAL_SAVE_BUTTON, 0, 1,
                        1, 1, path) <= 0)
        return;
    if (ExportCtrlImage(MainPanel, control, path) < 0) {
        char message[EXPORT_MESSAGE_LEN];
        std::snprintf(message, sizeof message,
                      " ATTENTION! \n \n GRAPH NOT SAVED \n %s \n Give the file name the ending "
                      ".png or .pdf in a folder that takes new files.",
                      path);
        MessagePopup("INFO", message);
    }
}

void ExportGraph(void) {
    if (graphSource == 0)
        ExportControl(PANEL_COLOURGRAPH, "colour-graph.png");
    else
        ExportControl(PANEL_SIGNALCHART, "signal-chart.png");
}

void ExportZoomGraph(void) {
    ExportControl(PANEL_ZOOMGRAPH, "zoom-graph.png");
}
