// Graph export from the panel: the export buttons write a graph to a PNG or PDF file that the
// user names in a save pop-up.
#pragma once

// The graph above: the colour graph with SOURCE X/Y, the signal chart otherwise.
void ExportGraph(void);
// The zoom graph.
void ExportZoomGraph(void);
