// Redraws at the pace of the screen: while data streams, the program changes plots and displays
// far more often than a screen can show them, and drawing each change would cost most of a core.
#pragma once

#include <QWidget>

class QCustomPlot;
class QCPLayer;

// Redraws the plot within one frame time; several requests meanwhile make one redraw.
void ScheduleReplot(QCustomPlot *plot);
// Redraws only this layer within one frame time, unless its plot is redrawn whole anyway.
void ScheduleLayerReplot(QCPLayer *layer);
// Holds the window's repaints to at most one a frame time; a held repaint follows at the end of
// that time, so nothing shown is ever older than one frame.
void ThrottleWindowPaint(QWidget *window);
