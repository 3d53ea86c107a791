#include "platform/engineredraw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <qcustomplot.h>

namespace {

QVector<QPointer<QCustomPlot>> pendingPlots;
QVector<QPointer<QCPLayer>> pendingLayers;

void ReplotPending() {
    QVector<QPointer<QCustomPlot>> plots;
    QVector<QPointer<QCPLayer>> layers;
    plots.swap(pendingPlots);
    layers.swap(pendingLayers);
    for (const QPointer<QCustomPlot> &plot : plots)
        if (!plot.isNull())
            plot->replot(QCustomPlot::rpQueuedRefresh);
    for (const QPointer<QCPLayer> &layer : layers)
        if (!layer.isNull() && !plots.contains(layer->parentPlot()))
            layer->replot();
}

void StartRedrawTimer() {
    if (pendingPlots.isEmpty() && pendingLayers.isEmpty())
        QTimer::singleShot(kFrameMilliseconds, ReplotPending);
}

// Lets one repaint of the window through per frame time and posts the held one later.
class PaintThrottle : public QObject {
  public:
    explicit PaintThrottle(QWidget *window) : QObject(window), window_(window) {
        sinceLastPaint_.start();
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::UpdateRequest)
            return false;
        qint64 elapsed = sinceLastPaint_.elapsed();
        if (elapsed >= kFrameMilliseconds) {
            sinceLastPaint_.restart();
            return false;
        }
        if (!held_) {
            held_ = true;
            QTimer::singleShot(int(kFrameMilliseconds - elapsed), this, [this] {
                held_ = false;
                QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest));
            });
        }
        return true;
    }

  private:
    QWidget *window_;
    QElapsedTimer sinceLastPaint_;
    bool held_ = false;
};

} // namespace

void ScheduleReplot(QCustomPlot *plot) {
    if (pendingPlots.contains(plot))
        return;
    StartRedrawTimer();
    pendingPlots.append(plot);
}

void ScheduleLayerReplot(QCPLayer *layer) {
    if (pendingLayers.contains(layer))
        return;
    StartRedrawTimer();
    pendingLayers.append(layer);
}

void ThrottleWindowPaint(QWidget *window) {
    new PaintThrottle(window);
}
