// Panel and control attributes: title, dimming, visibility, geometry in panel pixels, colours,
// fonts, tool tips, captions and the settings of graphs and strip charts.
#include "platform/engine/engine.h"
#include "platform/widgets/colourbar.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/redraw.h"
#include "platform/widgets/stripchartwidget.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const char *const FONT_NAME_PROPERTY = "engineFontName";

bool IsEditor(const QWidget *widget) {
    return qobject_cast<const QAbstractSpinBox *>(widget) != nullptr ||
           qobject_cast<const QLineEdit *>(widget) != nullptr ||
           qobject_cast<const QComboBox *>(widget) != nullptr;
}

bool IsBar(const QWidget *widget) {
    return qobject_cast<const ColourBar *>(widget) != nullptr;
}

// The palette role that holds a widget's background: editors have a base, colour bars a bar.
QPalette::ColorRole BackgroundRole(const QWidget *widget) {
    if (IsBar(widget))
        return QPalette::Highlight;
    return IsEditor(widget) ? QPalette::Base : QPalette::Window;
}

QPalette::ColorRole TextRole(const QWidget *widget) {
    if (IsBar(widget))
        return QPalette::HighlightedText;
    if (qobject_cast<const QAbstractButton *>(widget) != nullptr &&
        qobject_cast<const QGroupBox *>(widget) == nullptr)
        return QPalette::ButtonText;
    return IsEditor(widget) ? QPalette::Text : QPalette::WindowText;
}

void SetTextColour(QWidget *widget, int value) {
    QPalette palette = widget->palette();
    QColor colour = ColourOf(value & 0xFFFFFF);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::HighlightedText, colour);
    widget->setPalette(palette);
}

void SetBackground(QWidget *widget, int value) {
    QPalette palette = widget->palette();
    QPalette::ColorRole role = BackgroundRole(widget);
    bool transparent = value == VAL_TRANSPARENT;
    palette.setColor(role, transparent ? QColor(Qt::transparent) : ColourOf(value));
    widget->setPalette(palette);
    if (role == QPalette::Window)
        widget->setAutoFillBackground(!transparent);
}

int Background(const QWidget *widget) {
    QPalette::ColorRole role = BackgroundRole(widget);
    QColor colour = widget->palette().color(role);
    if ((role == QPalette::Window && !widget->autoFillBackground()) || colour.alpha() == 0)
        return VAL_TRANSPARENT;
    return ValueOf(colour);
}

// The platform's dialog font stands for the dialog meta font.
void SetFontName(QWidget *widget, const char *name) {
    QFont font = widget->font();
    if (qstrcmp(name, VAL_DIALOG_META_FONT) == 0)
        font.setFamilies(QFontDatabase::systemFont(QFontDatabase::GeneralFont).families());
    else
        font.setFamily(QString::fromUtf8(name));
    widget->setFont(font);
    widget->setProperty(FONT_NAME_PROPERTY, QString::fromUtf8(name));
}

QString FontName(const QWidget *widget) {
    QVariant name = widget->property(FONT_NAME_PROPERTY);
    return name.isValid() ? name.toString() : widget->font().family();
}

void SetPointSize(QWidget *widget, int points) {
    QFont font = widget->font();
    font.setPointSize(points);
    widget->setFont(font);
}

int SetCaption(QWidget *widget, const char *text) {
    QString caption = QString::fromUtf8(text);
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        button->setText(caption);
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        ShowHeldChange(label);
        label->setTextFormat(Qt::PlainText);
        label->setText(caption);
    } else if (auto *group = qobject_cast<QGroupBox *>(widget)) {
        group->setTitle(caption);
    } else {
        return UIE_BAD_ATTRIBUTE;
    }
    return UIE_OK;
}

QString Caption(const QWidget *widget) {
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(widget)) {
        ShowHeldChange(label);
        return label->text();
    }
    if (auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return QString();
}

// Control positions are panel pixels, also for controls inside a container.
QPoint PanelPosition(const QWidget *widget) {
    QWidget *parent = widget->parentWidget();
    return parent == nullptr ? widget->pos() : parent->mapTo(widget->window(), widget->pos());
}

void MoveTo(QWidget *widget, QPoint onPanel) {
    QWidget *parent = widget->parentWidget();
    widget->move(parent == nullptr ? onPanel : parent->mapFrom(widget->window(), onPanel));
}

int SetGeometryAttribute(QWidget *widget, int attribute, int value) {
    QPoint position = PanelPosition(widget);
    switch (attribute) {
    case ATTR_TOP:
        MoveTo(widget, QPoint(position.x(), value));
        return UIE_OK;
    case ATTR_LEFT:
        MoveTo(widget, QPoint(value, position.y()));
        return UIE_OK;
    case ATTR_WIDTH:
        widget->resize(value, widget->height());
        return UIE_OK;
    case ATTR_HEIGHT:
        widget->resize(widget->width(), value);
        return UIE_OK;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

// ATTR_TOP, ATTR_LEFT, ATTR_WIDTH or ATTR_HEIGHT of a rectangle: the one geometry reader of
// controls and panels. UIE_BAD_ATTRIBUTE for any other attribute.
int ReadGeometry(const QRect &rect, int attribute, int *value) {
    switch (attribute) {
    case ATTR_TOP:
        *value = rect.y();
        return UIE_OK;
    case ATTR_LEFT:
        *value = rect.x();
        return UIE_OK;
    case ATTR_WIDTH:
        *value = rect.width();
        return UIE_OK;
    case ATTR_HEIGHT:
        *value = rect.height();
        return UIE_OK;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int GetGeometryAttribute(const QWidget *widget, int attribute, int *value) {
    return ReadGeometry(QRect(PanelPosition(widget), widget->size()), attribute, value);
}

int SetChartAttribute(QWidget *widget, int attribute, int value) {
    if (attribute == ATTR_POINTS_PER_SCREEN) {
        auto *chart = qobject_cast<StripChartWidget *>(widget);
        if (chart == nullptr)
            return UIE_BAD_ATTRIBUTE;
        if (value < 1)
            return UIE_BAD_VALUE;
        chart->setPointsPerScreen(value);
        return UIE_OK;
    }
    auto *graph = qobject_cast<GraphWidget *>(widget);
    if (graph == nullptr)
        return UIE_BAD_ATTRIBUTE;
    graph->setViewShade(qBound(0, value, 100));
    return UIE_OK;
}

int SetIntAttribute(QWidget *widget, int attribute, int value) {
    switch (attribute) {
    case ATTR_DIMMED:
        widget->setEnabled(value == 0);
        return UIE_OK;
    case ATTR_VISIBLE:
        widget->setVisible(value != 0);
        return UIE_OK;
    case ATTR_FRAME_COLOR:
        widget->setAutoFillBackground(true);
        SetBackground(widget, value);
        return UIE_OK;
    case ATTR_TEXT_COLOR:
        SetTextColour(widget, value);
        return UIE_OK;
    case ATTR_TEXT_BGCOLOR:
        SetBackground(widget, value);
        return UIE_OK;
    case ATTR_TEXT_POINT_SIZE:
        if (value < 1)
            return UIE_BAD_VALUE;
        SetPointSize(widget, value);
        EngineFitToText(widget);
        return UIE_OK;
    case ATTR_POINTS_PER_SCREEN:
    case ATTR_VIEW_SHADE:
        return SetChartAttribute(widget, attribute, value);
    default:
        return SetGeometryAttribute(widget, attribute, value);
    }
}

int GetIntAttribute(const QWidget *widget, int attribute, int *value) {
    switch (attribute) {
    case ATTR_DIMMED:
        *value = widget->isEnabled() ? 0 : 1;
        return UIE_OK;
    case ATTR_VISIBLE:
        *value = widget->isHidden() ? 0 : 1;
        return UIE_OK;
    case ATTR_FRAME_COLOR:
    case ATTR_TEXT_BGCOLOR:
        *value = Background(widget);
        return UIE_OK;
    case ATTR_TEXT_COLOR:
        *value = ValueOf(widget->palette().color(TextRole(widget)));
        return UIE_OK;
    case ATTR_TEXT_POINT_SIZE:
        *value = widget->font().pointSize();
        return UIE_OK;
    case ATTR_POINTS_PER_SCREEN:
        if (auto *chart = qobject_cast<const StripChartWidget *>(widget)) {
            *value = chart->pointsPerScreen();
            return UIE_OK;
        }
        return UIE_BAD_ATTRIBUTE;
    case ATTR_VIEW_SHADE:
        if (auto *graph = qobject_cast<const GraphWidget *>(widget)) {
            *value = graph->viewShade();
            return UIE_OK;
        }
        return UIE_BAD_ATTRIBUTE;
    default:
        return GetGeometryAttribute(widget, attribute, value);
    }
}

int SetTextAttribute(QWidget *widget, int attribute, const char *value) {
    switch (attribute) {
    case ATTR_TEXT_FONT:
        SetFontName(widget, value);
        EngineFitToText(widget);
        return UIE_OK;
    case ATTR_TOOLTIP_TEXT:
        widget->setToolTip(QString::fromUtf8(value));
        return UIE_OK;
    case ATTR_LABEL_TEXT:
        return SetCaption(widget, value);
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int GetTextAttribute(const QWidget *widget, int attribute, char *text, int size) {
    switch (attribute) {
    case ATTR_TEXT_FONT:
        return EngineCopyText(FontName(widget), text, size);
    case ATTR_TOOLTIP_TEXT:
        return EngineCopyText(widget->toolTip(), text, size);
    case ATTR_LABEL_TEXT:
        return EngineCopyText(Caption(widget), text, size);
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

} // namespace

int SetPanelAttribute(int panel, int attribute, const char *value) {
    QWidget *form = EnginePanelWidget(panel);
    if (form == nullptr)
        return UIE_BAD_PANEL;
    if (value == nullptr)
        return UIE_BAD_VALUE;
    if (attribute != ATTR_TITLE)
        return UIE_BAD_ATTRIBUTE;
    form->setWindowTitle(QString::fromUtf8(value));
    return UIE_OK;
}

int GetPanelAttribute(int panel, int attribute, char *text, int size) {
    QWidget *form = EnginePanelWidget(panel);
    if (form == nullptr)
        return UIE_BAD_PANEL;
    if (attribute != ATTR_TITLE)
        return UIE_BAD_ATTRIBUTE;
    return EngineCopyText(form->windowTitle(), text, size);
}

int SetPanelAttribute(int panel, int attribute, int value) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr)
        return UIE_BAD_PANEL;
    QWidget *form = record->form;
    EngineProgramChange change(form);
    switch (attribute) {
    case ATTR_VISIBLE:
        form->setVisible(value != 0);
        return UIE_OK;
    case ATTR_DIMMED:
        form->setEnabled(value == 0);
        return UIE_OK;
    case ATTR_TOP:
        form->move(form->x(), value);
        return UIE_OK;
    case ATTR_LEFT:
        form->move(value, form->y());
        return UIE_OK;
    case ATTR_WIDTH:
    case ATTR_HEIGHT: {
        QSize size =
            attribute == ATTR_WIDTH ? QSize(value, form->height()) : QSize(form->width(), value);
        // The size comes back as a resize event: known, so not taken for the user's.
        record->lastSize = size;
        form->resize(size);
        return UIE_OK;
    }
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int GetPanelAttribute(int panel, int attribute, int *value) {
    QWidget *form = EnginePanelWidget(panel);
    if (form == nullptr)
        return UIE_BAD_PANEL;
    switch (attribute) {
    case ATTR_VISIBLE:
        *value = form->isVisible() ? 1 : 0;
        return UIE_OK;
    case ATTR_DIMMED:
        *value = form->isEnabled() ? 0 : 1;
        return UIE_OK;
    default:
        return ReadGeometry(QRect(form->pos(), form->size()), attribute, value);
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        EngineProgramChange change(widget);
        return SetIntAttribute(widget, attribute, value);
    });
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *value) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        if (value == nullptr)
            return UIE_BAD_VALUE;
        EngineProgramChange change(widget);
        return SetTextAttribute(widget, attribute, value);
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        return GetIntAttribute(widget, attribute, value);
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, char *text, int size) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        return GetTextAttribute(widget, attribute, text, size);
    });
}
