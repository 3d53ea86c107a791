// Graph export: a graph or strip chart of a panel written to a file as the screen shows it.
// Qt stays behind this header.
#pragma once

// Writes the control to path: a PNG of the control's size in pixels when path ends in ".png",
// a one-page PDF of its size in points when it ends in ".pdf" (either case). Returns 0,
// UIE_BAD_FORMAT for another ending, UIE_BAD_CONTROL when the control is not a graph or strip
// chart, UIE_IO_ERROR when the file was not written.
int ExportCtrlImage(int panel, int control, const char *path);
