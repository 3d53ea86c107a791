// The engine's core: the application object, the panel registry, event dispatch, the event
// loop with its deferred quit, the project directory, the program's data files and the timer.
#include "platform/engine/engine.h"

#include "platform/core/textcopy.h"
#include "platform/serial/linesilence.h"
#include "platform/widgets/redraw.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMap>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <cstring>

namespace {

int savedArgc = 0;
QApplication *application = nullptr;
QMap<int, EnginePanel> panels;
int nextPanelHandle = 1;

int programChangeDepth = 0;
int callbackDepth = 0;
// False from the start of a callback until the windows are painted again: by the event step
// of ProcessSystemEvents or before the callback's first wait.
bool windowsPainted = true;
bool mainLoopRunning = false;
bool quitPending = false;
int quitCode = 0;

QElapsedTimer &Clock() {
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}

// Ends the main loop once no callback is running any more. A callback that waits in a nested
// loop (a pop-up, the transfer loop's ProcessSystemEvents) must not be cut short, so the quit
// waits until the outermost callback has returned.
void QuitWhenIdle() {
    if (!quitPending || !mainLoopRunning || callbackDepth > 0)
        return;
    quitPending = false;
    QCoreApplication::exit(quitCode);
}

// A callback that waits (the busy waits of the program read the timer) holds the event loop for
// up to seconds. What changed on the screen before it began is painted first: a closed drop-down
// list would otherwise stay painted over the panel until the wait ends, and a clicked button
// would stay pressed. The window system's pending work goes first (the drop-down is only taken
// off the screen there), then the windows are painted whole. The user's input and the serial
// ports wait for the event loop.
void PaintBeforeWaiting() {
    if (windowsPainted || callbackDepth == 0)
        return;
    windowsPainted = true;
    HoldPaintsForWholePaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers);
    PaintWindowsNow();
    // The pass above set aside the user's input that was waiting (a window close among it) and
    // took the wake-up that would have shown it to the main loop: wake the loop again, so that
    // it does not depend on the repaint posting an event.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

// The platform plug-in aborts the process when it finds no display; a missing display is
// reported as a failure to start instead.
bool DisplayAvailable() {
#if defined(Q_OS_LINUX)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

// ---- Registry and helpers -------------------------------------------------------------------

EnginePanel *EngineFindPanel(int panel) {
    auto found = panels.find(panel);
    if (found == panels.end() || found->form.isNull())
        return nullptr;
    return &found.value();
}

QWidget *EnginePanelWidget(int panel) {
    EnginePanel *record = EngineFindPanel(panel);
    return record == nullptr ? nullptr : record->form.data();
}

EnginePanel *EngineFindPanelOfWindow(WId window) {
    for (EnginePanel &record : panels) {
        QWindow *handle = record.form.isNull() ? nullptr : record.form->windowHandle();
        // Asked only of windows that exist on the screen: winId() would create one.
        if (handle != nullptr && handle->handle() != nullptr && handle->winId() == window)
            return &record;
    }
    return nullptr;
}

int EngineAddPanel(QWidget *form, PanelCallbackPtr callback) {
    int handle = nextPanelHandle++;
    EnginePanel &record = panels[handle];
    record.handle = handle;
    record.form = form;
    record.callback = callback;
    record.lastSize = form->size();
    return handle;
}

bool EngineRemovePanel(int panel) {
    auto found = panels.find(panel);
    if (found == panels.end())
        return false;
    QWidget *form = found->form.data();
    panels.erase(found);
    if (form == nullptr)
        return true;
    form->hide();
    // A callback of this very panel may be on the stack: delete once it has returned.
    if (callbackDepth > 0)
        form->deleteLater();
    else
        delete form;
    return true;
}

QWidget *EngineFindControl(int panel, int control, int *error) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr) {
        *error = UIE_BAD_PANEL;
        return nullptr;
    }
    auto found = record->controls.find(control);
    if (found == record->controls.end() || found->widget.isNull()) {
        *error = UIE_BAD_CONTROL;
        return nullptr;
    }
    *error = UIE_OK;
    return found->widget.data();
}

EngineProgramChange::EngineProgramChange(QObject *object) : blocker_(object) {
    programChangeDepth++;
}

EngineProgramChange::~EngineProgramChange() {
    programChangeDepth--;
}

bool EngineProgramChanging() {
    return programChangeDepth > 0;
}

void EngineRaiseControlEvent(int panel, int control, int event, int eventData1, int eventData2) {
    if (EngineProgramChanging())
        return;
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr)
        return;
    auto found = record->controls.find(control);
    if (found == record->controls.end() || found->callback == nullptr)
        return;
    CtrlCallbackPtr callback = found->callback;
    windowsPainted = false;
    callbackDepth++;
    callback(panel, control, event, nullptr, eventData1, eventData2);
    callbackDepth--;
    QuitWhenIdle();
}

void EngineRaisePanelEvent(int panel, int event, int eventData1, int eventData2) {
    if (EngineProgramChanging())
        return;
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr || record->callback == nullptr)
        return;
    PanelCallbackPtr callback = record->callback;
    windowsPainted = false;
    callbackDepth++;
    callback(panel, event, nullptr, eventData1, eventData2);
    callbackDepth--;
    QuitWhenIdle();
}

QByteArray EngineFileName(const char *fileName) {
    if (QDir::isAbsolutePath(QFile::decodeName(fileName)) || !EngineRunning())
        return QByteArray(fileName);
    return QFile::encodeName(QCoreApplication::applicationDirPath()) + '/' + fileName;
}

QString EngineFilePath(const char *fileName) {
    return QFile::decodeName(EngineFileName(fileName));
}

QColor ColourOf(int value) {
    if (value == VAL_TRANSPARENT)
        return QColor();
    return QColor::fromRgb(static_cast<QRgb>(value & 0xFFFFFF));
}

int ValueOf(const QColor &colour) {
    return static_cast<int>(colour.rgb() & 0xFFFFFF);
}

// The program's data directory relative to its own directory in an installed layout; the build
// passes it from its install directories (cmake/Packaging.cmake).
#ifndef NVMX_RELATIVE_DATA_DIR
#define NVMX_RELATIVE_DATA_DIR "../share/nvmxv451"
#endif

static QString EngineInstalledDataDir() {
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral(NVMX_RELATIVE_DATA_DIR)));
}

QString EngineDataFilePath(const char *fileName) {
    QString beside = EngineFilePath(fileName);
    if (!EngineRunning() || QDir::isAbsolutePath(QString::fromUtf8(fileName)) ||
        QFileInfo::exists(beside))
        return beside;
    QString installed = QDir(EngineInstalledDataDir()).filePath(QString::fromUtf8(fileName));
    return QFileInfo::exists(installed) ? installed : beside;
}

int EngineCopyText(const QString &text, char *buffer, int size) {
    QByteArray bytes = text.toUtf8();
    return CopyUtf8Text(bytes.constData(), size_t(bytes.size()), buffer, size) != TEXT_NOT_COPIED
               ? UIE_OK
               : UIE_BAD_VALUE;
}

int EngineCopyWholeText(const QByteArray &text, char *buffer, int size) {
    if (CopyUtf8Text(text.constData(), size_t(text.size()), buffer, size) == TEXT_WHOLE)
        return UIE_OK;
    if (buffer != nullptr && size > 0)
        buffer[0] = '\0';
    return UIE_BAD_VALUE;
}

void EngineFitToText(QWidget *widget) {
    if (widget->property(ENGINE_AUTO_SIZE_PROPERTY).toBool())
        widget->adjustSize();
}

QString EngineDocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool EngineRunning() {
    return application != nullptr || QCoreApplication::instance() != nullptr;
}

// ---- Engine and event loop ------------------------------------------------------------------

namespace {

// Keeps auto-repeated keys from firing shortcuts (F9 to F12, the buttons' mnemonics): a held key
// acts once, as a press of its button, instead of queueing one action per repeat. The repeats
// still reach the widget with the focus, so a held arrow key goes on stepping a field.
class AutoRepeatShortcutFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
            // Accepted, the key goes to the focus widget rather than to the shortcut map.
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int InitEngine(int argc, char **argv) {
    Clock();
    SetLineSilenceHook(DrawInLineSilence);
    if (QApplication::instance() != nullptr)
        return UIE_OK;
    if (!DisplayAvailable())
        return UIE_NOT_INITIALISED;
    // QApplication keeps a reference to argc for its whole life.
    savedArgc = argc;
    application = new QApplication(savedArgc, argv);
    // Closing a window never ends the program by itself: the panel callback decides.
    application->setQuitOnLastWindowClosed(false);
    application->installEventFilter(new AutoRepeatShortcutFilter(application));
    return UIE_OK;
}

int InitHeadlessEngine(int argc, char **argv) {
    Clock();
    if (QCoreApplication::instance() != nullptr)
        return UIE_OK;
    savedArgc = argc;
    new QCoreApplication(savedArgc, argv);
    return UIE_OK;
}

int RunUserInterface(void) {
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    if (quitPending) {
        quitPending = false;
        return quitCode;
    }
    mainLoopRunning = true;
    int code = QApplication::exec();
    mainLoopRunning = false;
    return code;
}

int QuitUserInterface(int code) {
    quitCode = code;
    quitPending = true;
    // Called outside any callback (a timer, a test): leave from the loop itself.
    if (EngineRunning())
        QTimer::singleShot(0, [] { QuitWhenIdle(); });
    return UIE_OK;
}

int ProcessSystemEvents(void) {
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    windowsPainted = true;
    return UIE_OK;
}

int GetProjectDir(char *directory) {
    if (directory == nullptr)
        return UIE_BAD_VALUE;
    directory[0] = '\0';
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    QString path = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    return EngineCopyWholeText(QFile::encodeName(path), directory, MAX_PATHNAME_LEN);
}

int GetUserFilesDir(const char *preferred, char *directory) {
    if (preferred == nullptr || directory == nullptr)
        return UIE_BAD_VALUE;
    directory[0] = '\0';
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    QString path = QString::fromUtf8(preferred);
    QFileInfo folder(path);
    // An installed program's directory is no place for the user's files, even where the user
    // (root) may write there; its data directory beside it tells it apart from a build tree.
    bool installed = QDir(folder.absoluteFilePath()).exists(QStringLiteral(NVMX_RELATIVE_DATA_DIR));
    if (path.isEmpty() || !folder.isDir() || !folder.isWritable() || installed) {
        path = EngineDocumentsFolder();
        // A fresh account may have no documents folder yet: its home then.
        if (path.isEmpty() || !QFileInfo(path).isDir())
            path = QDir::homePath();
        path = QDir::toNativeSeparators(path);
    }
    return EngineCopyWholeText(QFile::encodeName(path), directory, MAX_PATHNAME_LEN);
}

double Timer(void) {
    PaintBeforeWaiting();
    return static_cast<double>(Clock().nsecsElapsed()) / 1e9;
}
