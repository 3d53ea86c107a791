// Panels: loading a panel file, binding its callbacks and controls by name, and turning the
// user's actions on the controls and the window into events.
#include "platform/engine/engine.h"
#include "platform/engine/engine_access.h"
#include "platform/engine/panelgrowth.h"
#include "platform/widgets/colourbar.h"
#include "platform/widgets/comportring.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/redraw.h"
#include "platform/widgets/stripchartwidget.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShortcut>
#include <QShortcutEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QUiLoader>

#include <cassert>
#include <cstring>

// Defined with the tables.
void EnginePrepareTable(QTableWidget *table);

namespace {

const CallbackName *callbackTable = nullptr;
int callbackCount = 0;
const ControlName *controlTable = nullptr;
int controlCount = 0;

const char *const CALLBACK_PROPERTY = "callback";
const char *const SHORTCUT_PROPERTY = "shortcutKey";
// A control that paints every pixel of its area itself; the panel behind it then needs no
// repaint when the control changes.
const char *const OPAQUE_PROPERTY = "opaque";

// Creates the engine's own widget classes by the class names the panel file gives them.
class PanelLoader : public QUiLoader {
  public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
        QWidget *widget = nullptr;
        if (className == QLatin1String("GraphWidget"))
            widget = new GraphWidget(parent);
        else if (className == QLatin1String("StripChartWidget"))
            widget = new StripChartWidget(parent);
        else if (className == QLatin1String("ComPortRing"))
            widget = new ComPortRing(parent);
        else if (className == QLatin1String("ColourBar"))
            widget = new ColourBar(parent);
        else
            return QUiLoader::createWidget(className, parent, name);
        widget->setObjectName(name);
        return widget;
    }
};

const CallbackName *FindCallback(const QString &name) {
    for (int i = 0; i < callbackCount; i++)
        if (name == QLatin1String(callbackTable[i].name))
            return &callbackTable[i];
    return nullptr;
}

QString CallbackNameOf(const QObject *object) {
    return object->property(CALLBACK_PROPERTY).toString();
}

// A typed but unfinished number in the focused spin box is taken before a shortcut acts, as
// when the user clicks the button and the focus leaves the field.
void FinishPendingEntry(QWidget *form) {
    QWidget *focus = QApplication::focusWidget();
    while (focus != nullptr && focus != form && qobject_cast<QAbstractSpinBox *>(focus) == nullptr)
        focus = focus->parentWidget();
    if (auto *spinBox = qobject_cast<QAbstractSpinBox *>(focus))
        spinBox->interpretText();
}

// A key that stands for a button (its shortcut key or its mnemonic) clicks it at once, with any
// unfinished entry taken first, so that the next key already meets what the click changed.
void ClickForKey(QAbstractButton *button) {
    FinishPendingEntry(button->window());
    button->click();
}

// Qt answers a button's mnemonic (Alt+E for "&EEPROM") with an animated click that acts 100 ms
// after the key: F9 typed within that time would still send to the target selected before. The
// mnemonic clicks at once instead. An ambiguous mnemonic keeps Qt's answer, which moves the focus
// among the buttons that share it.
bool ClickForMnemonic(QObject *watched, QShortcutEvent *event) {
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (button == nullptr || event->isAmbiguous())
        return false;
    ClickForKey(button);
    return true;
}

// Raises right-click events for one control: on the control and on every part inside it,
// present or added later (a spin box's line edit, a table's viewport and its cell editors).
// The right click never reaches the widget, so no context menu opens.
class ControlBinding : public QObject {
  public:
    ControlBinding(int panel, int control, QWidget *widget)
        : QObject(widget), panel_(panel), control_(control) {
        Watch(widget);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
        case QEvent::ChildAdded: {
            QObject *child = static_cast<QChildEvent *>(event)->child();
            if (child->isWidgetType())
                Watch(static_cast<QWidget *>(child));
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::RightButton)
                return false;
            event->accept();
            RaiseRightClick(static_cast<QWidget *>(watched), mouse->position().toPoint());
            return true;
        }
        case QEvent::MouseButtonRelease:
            return static_cast<QMouseEvent *>(event)->button() == Qt::RightButton;
        case QEvent::ContextMenu:
            // Accepted, so that it does not travel on to a parent with a menu of its own.
            event->accept();
            return true;
        case QEvent::Shortcut:
            return ClickForMnemonic(watched, static_cast<QShortcutEvent *>(event));
        default:
            return false;
        }
    }

  private:
    void Watch(QWidget *widget) {
        widget->installEventFilter(this);
        for (QObject *child : widget->children())
            if (child->isWidgetType())
                Watch(static_cast<QWidget *>(child));
    }

    // eventData1 is the vertical and eventData2 the horizontal click position, panel pixels.
    void RaiseRightClick(QWidget *where, QPoint position) {
        QPoint onPanel = where->mapTo(where->window(), position);
        EngineRaiseControlEvent(panel_, control_, EVENT_RIGHT_CLICK, onPanel.y(), onPanel.x());
    }

    int panel_;
    int control_;
};

// Close and resize of the panel window.
class PanelBinding : public QObject {
  public:
    PanelBinding(int panel, QWidget *form) : QObject(form), panel_(panel) {
        form->installEventFilter(this);
        ThrottleWindowPaint(form);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        switch (event->type()) {
        case QEvent::Close:
            // The program decides whether the panel goes: the window stays open.
            event->ignore();
            EngineCloseReceived(panel_);
            EngineRaisePanelEvent(panel_, EVENT_CLOSE, 0, 0);
            return true;
        case QEvent::WindowBlocked:
        case QEvent::WindowUnblocked:
            EngineBlockingChanged(panel_, event->type() == QEvent::WindowBlocked);
            return false;
        case QEvent::Resize:
            PanelResized(static_cast<QResizeEvent *>(event)->size());
            return false;
        default:
            return false;
        }
    }

  private:
    // Sizes the program set itself come back as resize events too: only a size that differs
    // from the last known one is the user's.
    void PanelResized(QSize size) {
        EnginePanel *record = EngineFindPanel(panel_);
        if (record == nullptr || size == record->lastSize)
            return;
        record->lastSize = size;
        EngineRaisePanelEvent(panel_, EVENT_PANEL_SIZE, 0, 0);
    }

    int panel_;
};

void RaiseValueChangedAndCommit(int panel, int control) {
    EngineRaiseControlEvent(panel, control, EVENT_VAL_CHANGED, 0, 0);
    EngineRaiseControlEvent(panel, control, EVENT_COMMIT, 0, 0);
}

// Numeric fields commit once per finished entry, sliders once per release or step; opaque
// controls paint without the panel behind them.
void PrepareWidget(QWidget *widget) {
    if (widget->property(OPAQUE_PROPERTY).toBool()) {
        // Polishing with a style sheet clears the attribute, so it is set after that.
        widget->ensurePolished();
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
    }
    if (auto *spinBox = qobject_cast<QAbstractSpinBox *>(widget))
        spinBox->setKeyboardTracking(false);
    else if (auto *slider = qobject_cast<QAbstractSlider *>(widget))
        slider->setTracking(false);
    else if (auto *table = qobject_cast<QTableWidget *>(widget))
        EnginePrepareTable(table);
}

// Connects the user's actions on a control to its events.
void ConnectEvents(int panel, int control, QWidget *widget) {
    new ControlBinding(panel, control, widget);
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QObject::connect(combo, &QComboBox::activated, combo,
                         [=] { RaiseValueChangedAndCommit(panel, control); });
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QObject::connect(button, &QAbstractButton::clicked, button, [=] {
            if (button->isCheckable())
                EngineRaiseControlEvent(panel, control, EVENT_VAL_CHANGED, 0, 0);
            EngineRaiseControlEvent(panel, control, EVENT_COMMIT, 0, 0);
        });
    } else if (auto *spinBox = qobject_cast<QSpinBox *>(widget)) {
        QObject::connect(spinBox, &QSpinBox::valueChanged, spinBox,
                         [=] { RaiseValueChangedAndCommit(panel, control); });
    } else if (auto *fractional = qobject_cast<QDoubleSpinBox *>(widget)) {
        QObject::connect(fractional, &QDoubleSpinBox::valueChanged, fractional,
                         [=] { RaiseValueChangedAndCommit(panel, control); });
    } else if (auto *slider = qobject_cast<QAbstractSlider *>(widget)) {
        QObject::connect(slider, &QAbstractSlider::valueChanged, slider,
                         [=] { RaiseValueChangedAndCommit(panel, control); });
    } else if (auto *graph = qobject_cast<GraphWidget *>(widget)) {
        QObject::connect(graph, &GraphWidget::cursorMovedByUser, graph,
                         [=] { EngineRaiseControlEvent(panel, control, EVENT_VAL_CHANGED, 0, 0); });
    }
}

// The shortcut key commits its button wherever the focus is in the panel.
int ConnectShortcut(QWidget *form, QWidget *widget) {
    QString key = widget->property(SHORTCUT_PROPERTY).toString();
    auto *button = qobject_cast<QAbstractButton *>(widget);
    QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    if (button == nullptr || sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown)
        return UIE_BAD_FORMAT;
    auto *shortcut = new QShortcut(sequence, form);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, [=] { ClickForKey(button); });
    return UIE_OK;
}

// A ring's item values: the "values" property, one integer per item, else the item indexes.
int AssignRingValues(QComboBox *combo) {
    if (qobject_cast<ComPortRing *>(combo) != nullptr)
        return UIE_OK;
    QVariant property = combo->property("values");
    if (!property.isValid()) {
        for (int i = 0; i < combo->count(); i++)
            combo->setItemData(i, i);
        return UIE_OK;
    }
    QStringList values = property.toString().split(QLatin1Char(','));
    if (values.size() != combo->count())
        return UIE_BAD_FORMAT;
    for (int i = 0; i < combo->count(); i++) {
        bool ok = false;
        int value = values[i].trimmed().toInt(&ok);
        if (!ok)
            return UIE_BAD_FORMAT;
        combo->setItemData(i, value);
    }
    return UIE_OK;
}

// Every callback name in the form must be in the table, of the right kind.
int CheckCallbacks(QWidget *form) {
    QList<QWidget *> widgets = form->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QString name = CallbackNameOf(widget);
        if (name.isEmpty())
            continue;
        const CallbackName *entry = FindCallback(name);
        if (entry == nullptr || entry->control == nullptr)
            return UIE_UNKNOWN_CALLBACK;
    }
    QString panelName = CallbackNameOf(form);
    if (!panelName.isEmpty()) {
        const CallbackName *entry = FindCallback(panelName);
        if (entry == nullptr || entry->panel == nullptr)
            return UIE_UNKNOWN_CALLBACK;
    }
    return UIE_OK;
}

// The widget of each id of the control table.
int MapControls(QWidget *form, QHash<int, EngineControl> *controls) {
    for (int i = 0; i < controlCount; i++) {
        QString name = QString::fromUtf8(controlTable[i].objectName);
        QWidget *widget = form->findChild<QWidget *>(name);
        if (widget == nullptr)
            return UIE_MISSING_CONTROL;
        (*controls)[controlTable[i].id].widget = widget;
    }
    return UIE_OK;
}

// Widgets with a callback but without an id of the table still get an id, so that they react.
void MapUnlistedCallbackWidgets(QWidget *form, EnginePanel *record) {
    QSet<QWidget *> listed;
    for (const EngineControl &control : std::as_const(record->controls))
        listed.insert(control.widget.data());
    for (QWidget *widget : form->findChildren<QWidget *>())
        if (!CallbackNameOf(widget).isEmpty() && !listed.contains(widget))
            record->controls[record->nextNewControlId++].widget = widget;
}

int PrepareControls(QWidget *form, EnginePanel *record) {
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        PrepareWidget(widget);
        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            int result = AssignRingValues(combo);
            if (result < 0)
                return result;
        }
        if (widget->property(SHORTCUT_PROPERTY).isValid()) {
            int result = ConnectShortcut(form, widget);
            if (result < 0)
                return result;
        }
    }
    for (auto control = record->controls.begin(); control != record->controls.end(); ++control) {
        QString name = CallbackNameOf(control->widget);
        if (name.isEmpty())
            continue;
        // CheckCallbacks has accepted every callback name of the form.
        const CallbackName *entry = FindCallback(name);
        assert(entry != nullptr && entry->control != nullptr);
        control->callback = entry->control;
        ConnectEvents(record->handle, control.key(), control->widget);
    }
    new PanelBinding(record->handle, form);
    InstallPanelGrowth(form);
    return UIE_OK;
}

int OpenPanelFile(const QString &path, QFile *file) {
    QFileInfo info(path);
    if (!info.exists())
        return UIE_FILE_NOT_FOUND;
    if (!info.isFile() || !file->open(QIODevice::ReadOnly))
        return UIE_FILE_UNREADABLE;
    return UIE_OK;
}

// Binds a freshly loaded form; on failure nothing of it remains.
int RegisterForm(QWidget *form) {
    int result = CheckCallbacks(form);
    QHash<int, EngineControl> controls;
    if (result == UIE_OK)
        result = MapControls(form, &controls);
    if (result < 0) {
        delete form;
        return result;
    }
    QString panelName = CallbackNameOf(form);
    const CallbackName *panelEntry = panelName.isEmpty() ? nullptr : FindCallback(panelName);
    assert(panelName.isEmpty() || (panelEntry != nullptr && panelEntry->panel != nullptr));
    PanelCallbackPtr callback = panelEntry == nullptr ? nullptr : panelEntry->panel;
    int handle = EngineAddPanel(form, callback);
    EngineWatchCloseRequests();
    EnginePanel *record = EngineFindPanel(handle);
    assert(record != nullptr); // just added, with its form
    record->controls = controls;
    MapUnlistedCallbackWidgets(form, record);
    result = PrepareControls(form, record);
    if (result < 0) {
        EngineRemovePanel(handle);
        return result;
    }
    return handle;
}

} // namespace

void SetCallbackTable(const CallbackName *table, int count) {
    callbackTable = table;
    callbackCount = table == nullptr ? 0 : count;
}

void SetControlTable(const ControlName *table, int count) {
    controlTable = table;
    controlCount = table == nullptr ? 0 : count;
}

int LoadPanel(int parent, const char *fileName, int resourceId) {
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    if (parent != 0 || resourceId != 1 || fileName == nullptr)
        return UIE_BAD_VALUE;
    QString path = EngineDataFilePath(fileName);
    QFile file(path);
    int result = OpenPanelFile(path, &file);
    if (result < 0)
        return result;
    PanelLoader loader;
    loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
    QWidget *form = loader.load(&file, nullptr);
    if (form == nullptr)
        return UIE_BAD_FORMAT;
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    return RegisterForm(form);
}

int DisplayPanel(int panel) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr)
        return UIE_BAD_PANEL;
    record->form->show();
    record->form->raise();
    record->form->activateWindow();
    return UIE_OK;
}

int DiscardPanel(int panel) {
    return EngineRemovePanel(panel) ? UIE_OK : UIE_BAD_PANEL;
}

QWidget *EngineControlWidget(int panel, int control) {
    int error = UIE_OK;
    return EngineFindControl(panel, control, &error);
}
