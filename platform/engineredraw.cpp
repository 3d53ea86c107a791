#include "platform/engineredraw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <qcustomplot.h>

namespace {

const int frameMilliseconds = 16;

QVector<QPointer<QCustomPlot>> pendingPlots;

void ReplotPending() {
    QVector<QPointer<QCustomPlot>> plots;
    plots.swap(pendingPlots);
    for (const QPointer<QCustomPlot> &plot : plots)
        if (!plot.isNull())
            plot->replot();
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
        if (elapsed >= frameMilliseconds) {
            sinceLastPaint_.restart();
            return false;
        }
        if (!held_) {
            held_ = true;
            QTimer::singleShot(int(frameMilliseconds - elapsed), this, [this] {
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
    if (pendingPlots.isEmpty())
        QTimer::singleShot(frameMilliseconds, ReplotPending);
    pendingPlots.append(plot);
}

void ThrottleWindowPaint(QWidget *window) {
    new PaintThrottle(window);
}
