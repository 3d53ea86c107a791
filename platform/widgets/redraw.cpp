#include "platform/widgets/redraw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <qcustomplot.h>

namespace {

QVector<QPointer<QCustomPlot>> pendingPlots;
QElapsedTimer sincePlotsPending;
QElapsedTimer sinceLineSilence;
bool wholePaintComing = false;

// True while serial waits keep finding the line silent; until two frame times after the last
// silence, drawing is left to the next one.
bool DrawingWaitsForSilence() {
    return sinceLineSilence.isValid() && sinceLineSilence.elapsed() < 2 * FRAME_MILLISECONDS;
}

void ReplotPending() {
    QVector<QPointer<QCustomPlot>> plots;
    plots.swap(pendingPlots);
    for (const QPointer<QCustomPlot> &plot : plots)
        if (!plot.isNull())
            plot->replot(QCustomPlot::rpQueuedRefresh);
}

bool PlotsPending() {
    return !pendingPlots.isEmpty();
}

void ReplotWhenDue();

// One timer at a time: it fires a frame time after it was armed.
bool redrawTimerArmed = false;

void ArmRedrawTimer() {
    if (redrawTimerArmed)
        return;
    redrawTimerArmed = true;
    QTimer::singleShot(FRAME_MILLISECONDS, [] {
        redrawTimerArmed = false;
        ReplotWhenDue();
    });
}

void ReplotWhenDue() {
    if (!PlotsPending())
        return;
    if (DrawingWaitsForSilence())
        ArmRedrawTimer();
    else
        ReplotPending();
}

void NotePlotRequest() {
    if (!PlotsPending())
        sincePlotsPending.start();
    ArmRedrawTimer();
}

// Lets one repaint of the window through per frame time and posts the held one later.
class PaintThrottle : public QObject {
  public:
    explicit PaintThrottle(QWidget *window) : QObject(window), window_(window) {
        sinceLastPaint_.start();
        window->installEventFilter(this);
    }

    // Paints what is dirty now, if a frame time has passed since the last paint.
    void paintIfDue() {
        if (sinceLastPaint_.elapsed() < FRAME_MILLISECONDS)
            return;
        paintDirty();
    }

    // Paints the whole window now: what the window system showed over it is painted over too.
    void paintWhole() {
        window_->update();
        paintDirty();
    }

  private:
    void paintDirty() {
        passing_ = true;
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(window_, &request);
        passing_ = false;
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::UpdateRequest)
            return false;
        if (wholePaintComing && !passing_)
            return true;
        qint64 elapsed = sinceLastPaint_.elapsed();
        if (passing_ || (elapsed >= FRAME_MILLISECONDS && !DrawingWaitsForSilence())) {
            sinceLastPaint_.restart();
            return false;
        }
        if (!held_) {
            held_ = true;
            int wait = int(std::max<qint64>(FRAME_MILLISECONDS - elapsed, 1));
            QTimer::singleShot(wait, this, [this] {
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
    bool passing_ = false;
};

QVector<QPointer<PaintThrottle>> throttles;

// One paced widget: when it last showed a change, and the change it holds.
struct PacedWidget {
    QPointer<QWidget> widget;
    ShowChange show = nullptr;
    QString text;
    QElapsedTimer sinceShown;
    bool held = false;
};

// Entries stay for the program's life, so that pacing a widget allocates only on its first
// change; a deleted widget's entry is taken again.
constexpr int PACED_WIDGETS = 64;
PacedWidget pacedWidgets[PACED_WIDGETS];
QPointer<QTimer> heldChangesTimer;

PacedWidget *PacedEntry(QWidget *widget) {
    PacedWidget *free = nullptr;
    for (PacedWidget &entry : pacedWidgets) {
        if (entry.widget == widget)
            return &entry;
        if (free == nullptr && entry.widget.isNull())
            free = &entry;
    }
    if (free != nullptr) {
        *free = PacedWidget();
        free->widget = widget;
    }
    return free;
}

void ShowEntry(PacedWidget &entry) {
    entry.held = false;
    entry.sinceShown.start();
    if (!entry.widget.isNull())
        entry.show(entry.widget, entry.text);
}

void ArmHeldChangesTimer() {
    if (heldChangesTimer.isNull()) {
        heldChangesTimer = new QTimer(QCoreApplication::instance());
        heldChangesTimer->setSingleShot(true);
        QObject::connect(heldChangesTimer, &QTimer::timeout, [] { ShowHeldChanges(); });
    }
    if (!heldChangesTimer->isActive())
        heldChangesTimer->start(FRAME_MILLISECONDS);
}

} // namespace

void ScheduleReplot(QCustomPlot *plot) {
    if (pendingPlots.contains(plot))
        return;
    NotePlotRequest();
    pendingPlots.append(plot);
}

void ThrottleWindowPaint(QWidget *window) {
    throttles.removeAll(nullptr);
    throttles.append(new PaintThrottle(window));
}

void HoldPaintsForWholePaint(void) {
    wholePaintComing = true;
}

void PaintWindowsNow(void) {
    wholePaintComing = false;
    ShowHeldChanges();
    for (const QPointer<PaintThrottle> &throttle : throttles)
        if (!throttle.isNull())
            throttle->paintWhole();
}

void DrawInLineSilence(void) {
    sinceLineSilence.start();
    if (PlotsPending() && sincePlotsPending.elapsed() >= FRAME_MILLISECONDS)
        ReplotPending();
    for (const QPointer<PaintThrottle> &throttle : throttles)
        if (!throttle.isNull())
            throttle->paintIfDue();
}

void PaceChange(QWidget *widget, ShowChange show, const QString &text) {
    PacedWidget *entry = PacedEntry(widget);
    if (entry == nullptr) {
        show(widget, text);
        return;
    }
    entry->show = show;
    entry->text = text;
    if (entry->held)
        return;
    if (!entry->sinceShown.isValid() || entry->sinceShown.elapsed() >= FRAME_MILLISECONDS) {
        ShowEntry(*entry);
        return;
    }
    entry->held = true;
    ArmHeldChangesTimer();
}

void ShowHeldChanges(void) {
    for (PacedWidget &entry : pacedWidgets)
        if (entry.held)
            ShowEntry(entry);
}

void ShowHeldChange(const QWidget *widget) {
    for (PacedWidget &entry : pacedWidgets)
        if (entry.held && entry.widget == widget)
            ShowEntry(entry);
}
