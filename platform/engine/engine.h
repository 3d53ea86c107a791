// Inside of the user-interface engine: the panel registry, control lookup, event dispatch and
// the small helpers that the engine's source files share. Qt-side; the program never sees it.
#pragma once

#include "platform/engine/userint.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <QSignalBlocker>
#include <QSize>
#include <QString>
#include <QWidget>

// One control of a loaded panel.
struct EngineControl {
    QPointer<QWidget> widget;
    CtrlCallbackPtr callback = nullptr;
};

// One loaded panel: its form, its panel callback and its controls by id.
struct EnginePanel {
    int handle = 0;
    QPointer<QWidget> form;
    PanelCallbackPtr callback = nullptr;
    QHash<int, EngineControl> controls;
    int nextNewControlId = 1000;
    QSize lastSize; // last size the program set or the window reported
    // Close requests that a modal pop-up may keep from the window (EngineNoteCloseRequest).
    bool blocked = false;   // a modal pop-up blocks the window
    int closesNoted = 0;    // requests the window system sent that the panel has not received
    bool closeHeld = false; // a request the blocked window never received, raised once unblocked
};

// The panel of a handle, or nullptr.
EnginePanel *EngineFindPanel(int panel);
// The form of a loaded panel, or nullptr (also in engine_access.h, for tests).
QWidget *EnginePanelWidget(int panel);
// The panel whose window has this window-system id, or nullptr.
EnginePanel *EngineFindPanelOfWindow(WId window);
// Registers a freshly loaded form; returns its new handle.
int EngineAddPanel(QWidget *form, PanelCallbackPtr callback);
// Forgets a panel and deletes its form. Returns false for an unknown handle.
bool EngineRemovePanel(int panel);

// The widget of a control, or nullptr with *error set to UIE_BAD_PANEL or UIE_BAD_CONTROL.
QWidget *EngineFindControl(int panel, int control, int *error);
// The widget of a control when it is (derived from) T, else nullptr with *error set
// (UIE_BAD_CONTROL when the control exists but is of another kind).
template <typename T> T *EngineFindControlAs(int panel, int control, int *error) {
    QWidget *widget = EngineFindControl(panel, control, error);
    if (widget == nullptr)
        return nullptr;
    T *typed = qobject_cast<T *>(widget);
    if (typed == nullptr)
        *error = UIE_BAD_CONTROL;
    return typed;
}
// Runs act on the control when it is (derived from) T and returns what act returns; else returns
// the lookup's error (as EngineFindControlAs sets it) without running act. The engine's calls
// open with it, so that each states its lookup once: act receives the T * and returns a result.
template <typename T, typename Act> int WithControl(int panel, int control, Act act) {
    int error = UIE_OK;
    T *typed = EngineFindControlAs<T>(panel, control, &error);
    if (typed == nullptr)
        return error;
    return act(typed);
}

// Calls a control callback for a user action, unless the program itself is changing a control.
void EngineRaiseControlEvent(int panel, int control, int event, int eventData1, int eventData2);
// Calls a panel callback for a user action.
void EngineRaisePanelEvent(int panel, int event, int eventData1, int eventData2);

// Qt drops a window system's close request for a window that a modal pop-up blocks. The
// window-system watch (EngineWatchCloseRequests) reports each request for a window here as it
// arrives, before Qt queues it; a request that a pop-up keeps from its panel is raised as the
// panel's close event once the pop-up has gone.
void EngineNoteCloseRequest(WId window);
// The panel's window received a close event (every request noted before it is settled), and a
// modal pop-up began or stopped blocking it (a held request is raised once it stops).
void EngineCloseReceived(int panel);
void EngineBlockingChanged(int panel, bool blocked);
// Installs that watch, once, where the engine knows the window system's close request (X11);
// elsewhere does nothing, and Qt's own close event is all there is. The first panel asks for it.
void EngineWatchCloseRequests();

// Held while the program changes a widget: blocks its signals and suppresses every event that
// a change could raise on the way (a clamped range, a reordered ring).
class EngineProgramChange {
  public:
    explicit EngineProgramChange(QObject *object);
    ~EngineProgramChange();
    EngineProgramChange(const EngineProgramChange &) = delete;
    EngineProgramChange &operator=(const EngineProgramChange &) = delete;

  private:
    QSignalBlocker blocker_;
};
// True while a program change is in progress.
bool EngineProgramChanging();

// A colour value 0xRRGGBB as a QColor; VAL_TRANSPARENT gives the invalid QColor (no colour).
QColor ColourOf(int value);
// A QColor as a colour value 0xRRGGBB.
int ValueOf(const QColor &colour);

// The user's documents folder as the desktop names it; it may not exist yet.
QString EngineDocumentsFolder();
// A file name as the engine opens it, in bytes as given (it need not be UTF-8): relative names
// are taken from the program's directory.
QByteArray EngineFileName(const char *fileName);
// The same as text, for Qt's file classes and for reports.
QString EngineFilePath(const char *fileName);
// A data file of the program (panel file, pictures) as the engine reads it: a relative name is
// taken from the program's directory (a build tree), else from the installed data directory
// relative to it (../share/nvmxv451), else the first is returned so that errors name it.
QString EngineDataFilePath(const char *fileName);
// Copies text into a caller's buffer of size bytes, always terminated; cut at a character
// boundary when it does not fit. Returns 0, or UIE_BAD_VALUE for a missing buffer.
int EngineCopyText(const QString &text, char *buffer, int size);
// Copies text into a caller's buffer only when it fits whole, for names and paths, which cut
// would name something else. Returns 0, or UIE_BAD_VALUE (buffer then holds "").
int EngineCopyWholeText(const QByteArray &text, char *buffer, int size);
// Labels with this property fit their size to their text whenever it changes.
inline const char *const ENGINE_AUTO_SIZE_PROPERTY = "engineAutoSize";
// Fits an auto-sized label to its text; leaves every other widget alone.
void EngineFitToText(QWidget *widget);

// The file-selection hook that tests set, or nullptr: other pop-ups that ask for a file answer
// through it too.
FileSelectHook EngineFileSelectHook();

// True when the engine's application object exists.
bool EngineRunning();
