// User-interface services of the run-time engine: panels loaded from a panel file, controls,
// tables, graphs, strip charts, pop-ups, the event loop, the timer and array files.
//
// This header is free of Qt: the program's own code calls only these functions. Every function
// that can fail returns a negative code; the program decides which results it looks at.
// Colours are 0xRRGGBB; VAL_TRANSPARENT is the transparent colour.
#pragma once

#include "files/path.h"

// Event codes passed to callbacks.
enum {
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_RIGHT_CLICK = 5,
    EVENT_CLOSE = 11,
    EVENT_PANEL_SIZE = 12,
};

// Error codes of the user-interface services.
enum {
    UIE_OK = 0,
    UIE_NOT_INITIALISED = -1,
    UIE_FILE_NOT_FOUND = -2,
    UIE_FILE_UNREADABLE = -3,
    UIE_UNKNOWN_CALLBACK = -4,
    UIE_MISSING_CONTROL = -5,
    UIE_BAD_PANEL = -6,
    UIE_BAD_CONTROL = -7,
    UIE_BAD_ATTRIBUTE = -8,
    UIE_BAD_VALUE = -9,
    UIE_IO_ERROR = -10,
    UIE_BAD_FORMAT = -11,
    UIE_PATH_TOO_LONG = -12, // longer than a MAX_PATHNAME_LEN buffer holds
};

typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void *callbackData,
                               int eventData1, int eventData2);
typedef int (*PanelCallbackPtr)(int panel, int event, void *callbackData, int eventData1,
                                int eventData2);

// One entry of the callback table handed to the engine before a panel is loaded. A control's
// dynamic property "callback" in the panel file names its entry; exactly one pointer is set.
struct CallbackName {
    const char *name;
    CtrlCallbackPtr control;
    PanelCallbackPtr panel;
};

// One entry of the control table: the program's integer id and the object name of the widget
// in the panel file.
struct ControlName {
    int id;
    const char *objectName;
};

// ---- Engine, panels and the event loop -------------------------------------------------------

// Starts the engine (the application object). Returns 0, or a negative code when it cannot start.
int InitEngine(int argc, char **argv);
// Starts the engine without a display, for the headless commands: serial ports, timer, array
// files and ProcessSystemEvents work; panels and pop-ups do not.
int InitHeadlessEngine(int argc, char **argv);
// Tables used by every later LoadPanel. The arrays must outlive the panels.
void SetCallbackTable(const CallbackName *table, int count);
void SetControlTable(const ControlName *table, int count);
// Loads a top-level panel from a Qt Designer file. A relative name is looked up in the program's
// directory, then in the installed data directory (../share/nvmxv451 beside it). resourceId 1 is
// the file's top-level form. Returns a handle >= 1, or a negative code: the file is missing or
// unreadable, names an unknown callback, or lacks a control of the control table. Nothing is shown.
int LoadPanel(int parent, const char *fileName, int resourceId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);
// Runs the event loop until QuitUserInterface; returns its code.
int RunUserInterface(void);
// Makes RunUserInterface return once the running callbacks have returned.
int QuitUserInterface(int code);
// Runs the pending events once, callbacks included, and returns.
int ProcessSystemEvents(void);

// ---- Pop-ups ---------------------------------------------------------------------------------

// Modal message box; returns when the user closes it. The text keeps its line breaks and
// blanks: it is shown unwrapped in a fixed-pitch font.
int MessagePopup(const char *title, const char *message);

enum { VAL_OK_BUTTON = 1, VAL_SAVE_BUTTON = 2, VAL_SELECT_BUTTON = 3, VAL_LOAD_BUTTON = 4 };
enum {
    VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2,
};
enum { MAX_PATHNAME_LEN = FILE_PATH_LEN };

// Modal file selection. pathOut (MAX_PATHNAME_LEN characters) receives the chosen path.
// Returns VAL_EXISTING_FILE_SELECTED, VAL_NEW_FILE_SELECTED, VAL_NO_FILE_SELECTED on cancel,
// or a negative code: UIE_PATH_TOO_LONG for a path that pathOut cannot hold (pathOut is then
// empty; a cut path would name another file).
int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathOut);

// Modal folder selection, starting in defaultDirectory. pathOut (MAX_PATHNAME_LEN characters)
// receives the chosen folder. Returns VAL_EXISTING_FILE_SELECTED, VAL_NO_FILE_SELECTED on
// cancel, or a negative code. Goes through the file-selection hook, with an empty type list.
int DirSelectPopup(const char *defaultDirectory, const char *title, char *pathOut);

// The seam through which tests replace the modal pop-ups: with a hook set, the pop-up is not
// shown; the hook records it and answers at once. A null hook restores the real pop-up. The file
// hook returns the pop-up's code and, for a code > 0, sets *chosenPath as the user's choice; the
// engine then hands it on as it would the dialog's.
typedef void (*MessagePopupHook)(const char *title, const char *message);
typedef int (*FileSelectHook)(const char *defaultDirectory, const char *defaultFileName,
                              const char *fileTypeList, const char *title, const char **chosenPath);
void SetMessagePopupHook(MessagePopupHook hook);
void SetFileSelectHook(FileSelectHook hook);

// ---- Directories -----------------------------------------------------------------------------

// The program's directory (where the program file lies), MAX_PATHNAME_LEN characters.
int GetProjectDir(char *directory);
// Where the user's own files start (MAX_PATHNAME_LEN characters): preferred when the user may
// write there and it is not an installed program's directory (one with ../share/nvmxv451 beside
// it), else the user's documents folder, else the home folder. Nothing is written.
int GetUserFilesDir(const char *preferred, char *directory);

// ---- Control values --------------------------------------------------------------------------
// Numeric fields (whole or with a fraction), sliders, rings (the item's value), toggle buttons
// and switches (0 or 1), numeric and text displays, text boxes (their whole text), colour bars.
// Setting a value never raises an event.

int GetCtrlVal(int panel, int control, int *value);
int GetCtrlVal(int panel, int control, unsigned char *value); // low 8 bits of the value
int GetCtrlVal(int panel, int control, double *value);
int GetCtrlVal(int panel, int control, char *text, int size); // text of the control
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char *text);

// ---- Attributes ------------------------------------------------------------------------------

enum {
    ATTR_TITLE = 1,              // panel: window title (text)
    ATTR_DIMMED = 2,             // 0 or 1
    ATTR_VISIBLE = 3,            // 0 or 1
    ATTR_TOP = 4,                // panel pixels
    ATTR_LEFT = 5,               // panel pixels
    ATTR_FRAME_COLOR = 6,        // decoration: fill colour
    ATTR_TEXT_COLOR = 7,         // colour
    ATTR_TEXT_BGCOLOR = 8,       // colour, VAL_TRANSPARENT allowed
    ATTR_TEXT_FONT = 9,          // font name (text)
    ATTR_TEXT_POINT_SIZE = 10,   // points
    ATTR_TOOLTIP_TEXT = 11,      // text
    ATTR_POINTS_PER_SCREEN = 12, // strip chart
    ATTR_VIEW_SHADE = 13,        // graph: 0 shows the view open, 100 shows it closed
    ATTR_LABEL_TEXT = 14,        // control caption, table column label (text)
    ATTR_LABEL_COLOR = 15,       // table row label colour
    ATTR_TRACE_VISIBLE = 16,     // strip-chart trace: 0 or 1
    ATTR_TRACE_THICKNESS = 17,   // strip-chart trace: line width in pixels
    ATTR_WIDTH = 18,             // pixels
    ATTR_HEIGHT = 19,            // pixels
};

enum { VAL_TRANSPARENT = 0x1000000 };
// The dialog font of the platform.
#define VAL_DIALOG_META_FONT "DialogMetaFont"

int SetPanelAttribute(int panel, int attribute, const char *value);
int SetPanelAttribute(int panel, int attribute, int value);
int GetPanelAttribute(int panel, int attribute, int *value);
int GetPanelAttribute(int panel, int attribute, char *text, int size); // ATTR_TITLE
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);
int GetCtrlAttribute(int panel, int control, int attribute, char *text, int size);

// ---- New controls and pictures ---------------------------------------------------------------

enum { CTRL_TEXT_MSG = 1 };
// Creates a control on the panel at (top, left); returns its id (>= 1000) or a negative code.
int NewCtrl(int panel, int style, const char *label, int top, int left);
// Shows a bitmap in a picture control; a relative name is looked up as LoadPanel looks it up.
int DisplayImageFile(int panel, int control, const char *fileName);

// ---- Tables (rows and columns count from 1) --------------------------------------------------

struct Point {
    int x;
    int y;
};
Point MakePoint(int x, int y); // x: column, y: row

int GetTableCellVal(int panel, int control, Point cell, unsigned char *value);
int GetTableCellVal(int panel, int control, Point cell, int *value);
int SetTableCellVal(int panel, int control, Point cell, int value);
int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value);
int SetTableRowAttribute(int panel, int control, int row, int attribute, int value);
int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value);
int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *text,
                            int size);

// ---- Graphs ----------------------------------------------------------------------------------

// Data types of plotted arrays.
enum { VAL_INTEGER = 2, VAL_DOUBLE = 4, VAL_UNSIGNED_CHAR = 8 };
// Plot, point and line styles. VAL_SCATTER draws each point as a small filled square, unjoined.
enum { VAL_THIN_LINE = 5, VAL_SCATTER = 6, VAL_NO_POINT = 12, VAL_SOLID = 0 };
enum { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum { VAL_MANUAL = 0 };
enum { VAL_DELAYED_DRAW = 0, VAL_IMMEDIATE_DRAW = 1 };
enum { VAL_ALL_PLOTS = -1 };

// Draws y over x as a line of n points, or with plotStyle VAL_SCATTER as n unjoined points;
// returns the plot handle (>= 1).
int PlotXY(int panel, int control, const void *xArray, const void *yArray, int numberOfPoints,
           int xDataType, int yDataType, int plotStyle, int pointStyle, int lineStyle,
           int pointFrequency, int colour);
// Draws an arc in the ellipse bounded by (x1, y1) and (x2, y2), from beginAngle over arcAngle,
// both in tenths of a degree (3600 is a full ellipse). Returns the plot handle.
int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int colour, int fillColour);
// VAL_ALL_PLOTS deletes every plot of the graph.
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max);
int GetGraphCursor(int panel, int control, int cursor, double *x, double *y);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);

// ---- Strip charts ----------------------------------------------------------------------------

// Appends values to the chart's traces, which take them in turn: with T traces, values
// start, start+skip+1, ... go to trace 1, 2, ..., T, 1, ... The chart shows the last
// ATTR_POINTS_PER_SCREEN points of each trace. numberOfPoints is the length of values; no
// element at or beyond it is read.
int PlotStripChart(int panel, int control, const void *values, int numberOfPoints,
                   int startingIndex, int skipCount, int dataType);
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);
int GetTraceAttribute(int panel, int control, int trace, int attribute, int *value);

// ---- Timer -----------------------------------------------------------------------------------

// Seconds since the engine started, steadily increasing. Busy waits read it: the first reading
// in a callback paints what changed on the screen before the wait holds the event loop.
double Timer(void);

// ---- Array files -----------------------------------------------------------------------------

enum { VAL_GROUPS_TOGETHER = 0 };
enum { VAL_GROUPS_AS_COLUMNS = 1 };
enum { VAL_CONST_WIDTH = 1 };
enum { VAL_ASCII = 0 };
enum { VAL_TRUNCATE = 0 };

// Writes count unsigned bytes as text, one per line, right-aligned in fieldWidth characters.
// The file is written beside the target (its name + ".saving-XXXXXX", created exclusively),
// synced, renamed over it and the directory synced: the old file survives a failure, and a
// failed write leaves nothing beside it. Only a regular file is replaced; a link is followed to
// the file it names. Returns 0 or a negative code; LastArrayFileError tells why.
int ArrayToFile(const char *fileName, const void *array, int dataType, int numberOfElements,
                int numberOfGroups, int arrayDataOrder, int fileLayout, int columnSeparation,
                int fieldWidth, int fileType, int fileAction);
// The text that ArrayToFile writes, into text (size bytes, terminated). Returns its length, or a
// negative code when it does not fit.
int ArrayToText(const void *array, int dataType, int numberOfElements, int fieldWidth, char *text,
                int size);
// Reads count unsigned bytes written as text, one or more per line, LF or CRLF line ends,
// blanks around the numbers. Only the file up to the end of the count-th number is read; what
// follows is never looked at. The array changes only when those count numbers are each in
// 0..255 and nothing but blanks stands between them. Only a regular file is read: a FIFO or a
// device is refused at once, with its kind as the reason. Returns 0 or a negative code.
int FileToArray(const char *fileName, void *array, int dataType, int numberOfElements,
                int numberOfGroups, int arrayDataOrder, int fileLayout, int fileType);
// Why the last array-file operation failed, in words for the user ("" after a success).
const char *LastArrayFileError(void);
// Removes what saves killed before their rename left in directory: the user's own files named
// like a save's unfinished copy that hold only numbers and no running save holds.
int RemoveUnfinishedSaves(const char *directory);
