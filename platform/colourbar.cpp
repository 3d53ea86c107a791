#include "platform/colourbar.h"

#include <QEvent>
#include <QPainter>

namespace {

const QColor kFrameColour(0x7a, 0x7a, 0x7a);

} // namespace

ColourBar::ColourBar(QWidget *parent) : QProgressBar(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::HighlightedText, colours.color(QPalette::Text));
    setPalette(colours);
}

QColor ColourBar::barColor() const {
    return palette().color(QPalette::Highlight);
}

void ColourBar::setBarColor(const QColor &color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, color);
    setPalette(colours);
}

// A style's polish clears the opaque attribute of progress bars, which it expects to draw itself
// with round corners; this bar draws every pixel.
bool ColourBar::event(QEvent *event) {
    bool handled = QProgressBar::event(event);
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        setAttribute(Qt::WA_OpaquePaintEvent);
    return handled;
}

// The share of the width that the value fills, from the minimum at the left to the maximum.
int ColourBar::filledWidth(int fullWidth) const {
    qint64 span = qint64(maximum()) - minimum();
    if (span <= 0)
        return value() >= maximum() ? fullWidth : 0;
    qint64 reached = qBound<qint64>(0, qint64(value()) - minimum(), span);
    return int(reached * fullWidth / span);
}

void ColourBar::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    // The frame as the region around the inside: solid fills are the raster engine's cheapest
    // drawing, cheaper than stroking a rectangle with a pen.
    for (const QRect &edge : QRegion(rect()).subtracted(inside))
        painter.fillRect(edge, kFrameColour);
    const int filled = filledWidth(inside.width());
    painter.fillRect(inside.x(), inside.y(), filled, inside.height(), palette().highlight());
    painter.fillRect(inside.x() + filled, inside.y(), inside.width() - filled, inside.height(),
                     palette().base());
    if (isTextVisible()) {
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(inside, Qt::AlignCenter, text());
    }
}
