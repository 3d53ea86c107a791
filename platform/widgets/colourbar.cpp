#include "platform/widgets/colourbar.h"

#include "platform/widgets/redraw.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>

namespace {

const QColor FRAME_COLOUR(0x7a, 0x7a, 0x7a);

// What assistive technology learns of a colour bar: a progress bar with its value and range,
// read only.
class AccessibleColourBar : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit AccessibleColourBar(ColourBar *bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void *interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return bar()->text();
        return QAccessibleWidget::text(kind);
    }
    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }

  private:
    ColourBar *bar() const { return static_cast<ColourBar *>(widget()); }
};

QAccessibleInterface *AccessibleColourBarFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("ColourBar") && object->isWidgetType())
        return new AccessibleColourBar(static_cast<ColourBar *>(object));
    return nullptr;
}

} // namespace

ColourBar::ColourBar(QWidget *parent) : QWidget(parent) {
    static const bool accessible = (QAccessible::installFactory(AccessibleColourBarFactory), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette colours = palette();
    colours.setColor(QPalette::HighlightedText, colours.color(QPalette::Text));
    setPalette(colours);
}

int ColourBar::minimum() const {
    return minimum_;
}

int ColourBar::maximum() const {
    return maximum_;
}

void ColourBar::setMinimum(int minimum) {
    setRange(minimum, std::max(minimum, maximum_));
}

void ColourBar::setMaximum(int maximum) {
    setRange(std::min(minimum_, maximum), maximum);
}

void ColourBar::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, minimum_, maximum_);
    update();
}

int ColourBar::value() const {
    return value_;
}

void ColourBar::setValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    PaceChange(this, [](QWidget *bar, const QString &) { bar->update(); });
    // Asked only while assistive technology listens, so that a stream of values costs nothing.
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent change(this, value_);
        QAccessible::updateAccessibility(&change);
    }
}

QString ColourBar::format() const {
    return format_;
}

void ColourBar::setFormat(const QString &format) {
    format_ = format;
    update();
}

bool ColourBar::isTextVisible() const {
    return textVisible_;
}

void ColourBar::setTextVisible(bool visible) {
    textVisible_ = visible;
    update();
}

QColor ColourBar::barColor() const {
    return palette().color(QPalette::Highlight);
}

void ColourBar::setBarColor(const QColor &colour) {
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, colour);
    setPalette(colours);
}

QString ColourBar::text() const {
    const qint64 steps = qint64(maximum_) - minimum_;
    const qint64 percent = steps == 0 ? 100 : (qint64(value_) - minimum_) * 100 / steps;
    QString shown = format_;
    shown.replace(QLatin1String("%v"), QString::number(value_));
    shown.replace(QLatin1String("%m"), QString::number(steps));
    shown.replace(QLatin1String("%p"), QString::number(percent));
    return shown;
}

QSize ColourBar::sizeHint() const {
    return QSize(fontMetrics().horizontalAdvance(QLatin1String("0000")) * 4,
                 fontMetrics().height() + 8);
}

// The share of the width that the value fills, from the minimum at the left to the maximum.
int ColourBar::filledWidth(int fullWidth) const {
    const qint64 span = qint64(maximum_) - minimum_;
    if (span == 0)
        return fullWidth;
    return int((qint64(value_) - minimum_) * fullWidth / span);
}

void ColourBar::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    // The frame as the region around the inside: solid fills are the raster engine's cheapest
    // drawing, cheaper than stroking a rectangle with a pen.
    for (const QRect &edge : QRegion(rect()).subtracted(inside))
        painter.fillRect(edge, FRAME_COLOUR);
    const int filled = filledWidth(inside.width());
    painter.fillRect(inside.x(), inside.y(), filled, inside.height(), palette().highlight());
    painter.fillRect(inside.x() + filled, inside.y(), inside.width() - filled, inside.height(),
                     palette().base());
    if (textVisible_) {
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(inside, Qt::AlignCenter, text());
    }
}
