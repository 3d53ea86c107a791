// The branding header across the top of MainPanel: product title, company lines, header
// frame colour and logo. Placed once at start-up, before the panel is first shown.
#pragma once

// Product title: the first header line and the panel's window title.
extern const char productTitle[];

// Logo bitmap shown in the header; a name without a directory part, looked up by the engine
// in the program's directory.
extern const char *logoFileName;

// Creates one text control on MainPanel at (left, top) in the dialog font with the given
// point size, text background and text colour (0xRRGGBB or VAL_TRANSPARENT) and text.
void PlaceHeaderLine(const char *text, int left, int top, int pointSize, int bgColour,
                     int textColour);

// Places the four header lines, colours the header frame and shows the logo. A logo file
// that cannot be read leaves the picture empty but visible; nothing is reported.
void PlaceBranding(void);
