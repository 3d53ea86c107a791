#include "platform/colourbar.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor FRAME_COLOUR(0x7a, 0x7a, 0x7a);

} // namespace

ColourBar::ColourBar(QWidget *parent) : QWidget(parent) {
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
    update();
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
