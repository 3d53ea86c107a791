// The branding header: four text lines created on the panel, the header frame's colour and
// the logo picture.
#include "logo/branding.h"

#include "nvmxv451_version.h"

#include "platform/engine/userint.h"
#include "state/globals.h"

const char productTitle[] = NVMX_PRODUCT_TITLE;

// A variable rather than a constant so that a test can point it at a file that is missing.
const char *logoFileName = "logoQN.bmp";

namespace {

const char companyLine[] = "Quarnet GmbH";
const char phoneLine[] = "Tel. +00 (0)123 456 78-0";
const char webLine[] = "www.quarnet.example";

const int headerFrameColour = 0x0080FF;
const int headerTextColour = 0xFFFFFF;
const int titlePointSize = 19;
const int contactPointSize = 11;
const int contactLeft = 15;
const int logoTop = 6;
const int logoLeft = 325;

} // namespace

void PlaceHeaderLine(const char *text, int left, int top, int pointSize, int bgColour,
                     int textColour) {
    int line = NewCtrl(MainPanel, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(MainPanel, line, ATTR_TEXT_FONT, VAL_DIALOG_META_FONT);
    SetCtrlAttribute(MainPanel, line, ATTR_TEXT_BGCOLOR, bgColour);
    SetCtrlAttribute(MainPanel, line, ATTR_TEXT_COLOR, textColour);
    SetCtrlAttribute(MainPanel, line, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlVal(MainPanel, line, text);
}

void PlaceBranding(void) {
    PlaceHeaderLine(productTitle, 323, 29, titlePointSize, VAL_TRANSPARENT, headerTextColour);
    PlaceHeaderLine(companyLine, contactLeft, 6, contactPointSize, VAL_TRANSPARENT,
                    headerTextColour);
    PlaceHeaderLine(phoneLine, contactLeft, 22, contactPointSize, VAL_TRANSPARENT,
                    headerTextColour);
    PlaceHeaderLine(webLine, contactLeft, 36, contactPointSize, VAL_TRANSPARENT, headerTextColour);
    SetCtrlAttribute(MainPanel, PANEL_HEADERFRAME, ATTR_FRAME_COLOR, headerFrameColour);
    SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_TOP, logoTop);
    SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_LEFT, logoLeft);
    DisplayImageFile(MainPanel, PANEL_LOGO, logoFileName);
    SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_VISIBLE, 1);
}
