// Redraws at the pace of the screen: while data streams, the program changes plots and displays
// far more often than a screen can show them, and drawing each change would cost most of a core.
//
// While a serial wait keeps meeting a silent line, drawing moves into that silence: the program
// waits there anyway, whereas a drawing pass between a reply and the next request would
// lengthen every such turn and slow the line down.
#pragma once

#include <QWidget>

// The frame time: 20 redraws a second keep a moving trace smooth at a fraction of the cost of
// the screen's own rate.
constexpr int FRAME_MILLISECONDS = 50;

class QCustomPlot;

// Redraws the plot within one frame time; several requests meanwhile make one redraw.
void ScheduleReplot(QCustomPlot *plot);
// Holds the window's repaints to at most one a frame time; a held repaint follows at the end of
// that time, or in the line's next silence, so nothing shown is older than about two frames.
void ThrottleWindowPaint(QWidget *window);
// Paints every panel window whole at once, past the throttle and the pacing: before a wait that
// holds the event loop.
void PaintWindowsNow(void);
// Until PaintWindowsNow, the windows' own repaints are set aside: the whole paint that follows
// covers them, so a change is painted once, not once by each.
void HoldPaintsForWholePaint(void);
// Called by a serial wait that found the line silent: does the drawing that is due.
void DrawInLineSilence(void);

// Displays change far faster than a screen shows them while data streams, and each change that
// reaches a widget costs memory and work (a repaint region, a new layout of the text). A paced
// widget shows a change at once when it has shown none for a frame time; a change within that
// time is held, the newest one replacing the one before, and shown at its end. A frame that
// changes a display then costs no widget work and no allocation. text carries a change that is
// a text (a display's number); other widgets keep their own state and only need showing.
using ShowChange = void (*)(QWidget *widget, const QString &text);
void PaceChange(QWidget *widget, ShowChange show, const QString &text = QString());
// Shows every held change now.
void ShowHeldChanges(void);
// Shows the widget's held change now, if it has one: before its state is read or replaced.
void ShowHeldChange(const QWidget *widget);
