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

// A bar shows at most a few hundred different numbers; the cache starts over should a format
// ever produce more.
const QStaticText &ColourBar::laidOut(const QString &text) {
    constexpr int kMaxLayouts = 1024;
    auto found = layouts_.find(text);
    if (found != layouts_.end())
        return *found;
    if (layouts_.size() >= kMaxLayouts)
        layouts_.clear();
    QStaticText layout(text);
    layout.setTextFormat(Qt::PlainText);
    layout.prepare(QTransform(), font());
    return *layouts_.insert(text, layout);
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
        const QStaticText &number = laidOut(text());
        const QSizeF size = number.size();
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawStaticText(QPointF(inside.x() + (inside.width() - size.width()) / 2,
                                       inside.y() + (inside.height() - size.height()) / 2),
                               number);
    }
}
