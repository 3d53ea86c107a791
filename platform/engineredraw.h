// Redraws at the pace of the screen: while data streams, the program changes plots and displays
// far more often than a screen can show them, and drawing each change would cost most of a core.
#pragma once

#include <QWidget>

// The frame time: 25 redraws a second keep a moving trace smooth at a fraction of the cost of
// the screen's own rate.
constexpr int kFrameMilliseconds = 40;

class QCustomPlot;
class QCPLayer;

// Redraws the plot within one frame time; several requests meanwhile make one redraw.
void ScheduleReplot(QCustomPlot *plot);
// Redraws only this layer within one frame time, unless its plot is redrawn whole anyway.
void ScheduleLayerReplot(QCPLayer *layer);
// Holds the window's repaints to at most one a frame time; a held repaint follows at the end of
// that time, so nothing shown is ever older than one frame.
void ThrottleWindowPaint(QWidget *window);
