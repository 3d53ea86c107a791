// The two colour-space graphs (ColourGraph and ZoomGraph): the grey limit line X + Y = 255,
// the tolerance circles of the 15 taught rows, and the zoom view that follows its cursor.
#pragma once

// Clears acquisitionActive, reads the panel into the ParameterSet, deletes every plot of graph
// (PANEL_COLOURGRAPH or PANEL_ZOOMGRAPH), draws the limit line and then, for rows 0..14, three
// unfilled circles of radius CTO around (X, Y) in the row's colour. Axes are left alone.
void PlotTaughtColours(int graph);
// The circle colour of teach row 0..14, 0xRRGGBB.
int CircleColourOfRow(int row);
// Draws into graph the circle of radius around (x, y) as the taught circles are drawn: three
// unfilled strokes, a little offset, in colour.
void PlotToleranceCircle(int graph, int x, int y, int radius, int colour);

// Draws the grey limit line X + Y = 255 into graph from limitLineX and limitLineY.
void DrawLimitLine(int graph);

// Redraws ZoomGraph, clamps its cursor to 25..230 on both axes, shows the 50 x 50 window around
// the clamped position (fractions kept) and puts the cursor there.
void ZoomToCursor(void);
// ZoomToCursor without the redraw: for a zoom view whose plots the caller has drawn.
void FollowZoomCursor(void);

// Sets both axes of ZoomGraph to 0..255 (x first, then y) and opens the zoom view. Plots and
// the cursor are left alone.
void ZoomFullRange(void);

// Shows the zoom view open (view shade 0) or closed (view shade 100). Neither changes plots,
// axes, the cursor, or the graph's place and size.
void OpenZoomView(void);
void CloseZoomView(void);
