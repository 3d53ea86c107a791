#include "platform/instrumentplot.h"

InstrumentPlot::InstrumentPlot(QWidget *parent) : QCustomPlot(parent) {}

QRect InstrumentPlot::plotArea() const {
    return xAxis->axisRect()->rect();
}

bool InstrumentPlot::buffersNeedNewPixelRatio() const {
    return !qFuzzyCompare(bufferDevicePixelRatio(), devicePixelRatioF());
}

void InstrumentPlot::drawBuffers(QCPPainter *painter) {
    painter->fillRect(mViewport, mBackgroundBrush.style() != Qt::NoBrush ? mBackgroundBrush
                                                                         : palette().window());
    drawBackground(painter);
    for (const QSharedPointer<QCPAbstractPaintBuffer> &buffer : mPaintBuffers)
        buffer->draw(painter);
}
