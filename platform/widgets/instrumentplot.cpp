#include "platform/widgets/instrumentplot.h"

InstrumentPlot::InstrumentPlot(QWidget *parent) : QCustomPlot(parent) {}

bool InstrumentPlot::event(QEvent *event) {
    if (event->type() == QEvent::DynamicPropertyChange)
        applyProperty(static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName());
    return QCustomPlot::event(event);
}

QRect InstrumentPlot::plotArea() const {
    return xAxis->axisRect()->rect();
}

void InstrumentPlot::paintEvent(QPaintEvent *event) {
    if (qFuzzyCompare(bufferDevicePixelRatio(), devicePixelRatioF()))
        paintPlot(event);
    else
        QCustomPlot::paintEvent(event);
}

void InstrumentPlot::drawBuffers(QCPPainter *painter) {
    painter->fillRect(mViewport, mBackgroundBrush.style() != Qt::NoBrush ? mBackgroundBrush
                                                                         : palette().window());
    drawBackground(painter);
    for (const QSharedPointer<QCPAbstractPaintBuffer> &buffer : mPaintBuffers)
        buffer->draw(painter);
}

bool InstrumentPlot::saveAsShown(const QString &path, bool pdf) {
    lendMovingParts(true);
    const bool saved = pdf ? savePdf(path, width(), height()) : savePng(path, width(), height());
    lendMovingParts(false);
    return saved;
}
