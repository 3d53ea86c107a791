// The branding header on the real panel: four white header lines in the dialog font, the header
// frame's colour, and the logo in its place, also when the logo file cannot be found.
#include "logo/branding.h"
#include "platform/engine/engine_access.h"
#include "platform/engine/userint.h"
#include "state/globals.h"
#include "state/panel_ids.h"
#include "support/panel_fixture.h"

#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HeaderLine {
    int control;
    std::string text;
    int left;
    int top;
    int pointSize;
    int textColour;
    int background;
    std::string font;
};

// Controls that the program created at run time (ids from 1000 on), in the order of creation.
std::vector<HeaderLine> CreatedLines() {
    std::vector<HeaderLine> lines;
    for (int control = 1000; control < 1064; control++) {
        HeaderLine line{control, "", -1, -1, -1, -1, -1, ""};
        if (GetCtrlAttribute(MainPanel, control, ATTR_LEFT, &line.left) != UIE_OK)
            continue;
        char text[128] = "";
        GetCtrlVal(MainPanel, control, text, sizeof text);
        line.text = text;
        GetCtrlAttribute(MainPanel, control, ATTR_TOP, &line.top);
        GetCtrlAttribute(MainPanel, control, ATTR_TEXT_POINT_SIZE, &line.pointSize);
        GetCtrlAttribute(MainPanel, control, ATTR_TEXT_COLOR, &line.textColour);
        GetCtrlAttribute(MainPanel, control, ATTR_TEXT_BGCOLOR, &line.background);
        char font[128] = "";
        GetCtrlAttribute(MainPanel, control, ATTR_TEXT_FONT, font, sizeof font);
        line.font = font;
        lines.push_back(line);
    }
    return lines;
}

const QPixmap LogoPixmap() {
    auto *logo = qobject_cast<QLabel *>(EngineControlWidget(MainPanel, PANEL_LOGO));
    return logo == nullptr ? QPixmap() : logo->pixmap();
}

class BrandingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestEngine());
        ASSERT_GT(LoadRealPanel(), 0) << PanelFilePath();
        // Start from a logo that is elsewhere and hidden, so that placing it shows.
        SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_VISIBLE, 0);
        SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_TOP, 300);
        SetCtrlAttribute(MainPanel, PANEL_LOGO, ATTR_LEFT, 500);
    }
    void TearDown() override {
        logoFileName = savedLogo;
        if (MainPanel > 0)
            DiscardPanel(MainPanel);
        MainPanel = 0;
    }
    const char *savedLogo = logoFileName;
};

TEST_F(BrandingTest, PlacesTheFourHeaderLinesTheFrameColourAndTheLogo) {
    ASSERT_TRUE(CreatedLines().empty());
    PlaceBranding();

    const std::vector<HeaderLine> lines = CreatedLines();
    ASSERT_EQ(lines.size(), 4u);
    const struct {
        const char *text;
        int left, top, size;
    } expected[] = {{"Nevalometrix V4.51", 323, 29, 19},
                    {"Quarnet GmbH", 15, 6, 11},
                    {"Tel. +00 (0)123 456 78-0", 15, 22, 11},
                    {"www.quarnet.example", 15, 36, 11}};
    for (std::size_t i = 0; i < lines.size(); i++) {
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(lines[i].text, expected[i].text);
        EXPECT_EQ(lines[i].left, expected[i].left);
        EXPECT_EQ(lines[i].top, expected[i].top);
        EXPECT_EQ(lines[i].pointSize, expected[i].size);
        EXPECT_EQ(lines[i].textColour, 0xFFFFFF);
        EXPECT_EQ(lines[i].background, VAL_TRANSPARENT);
        EXPECT_EQ(lines[i].font, VAL_DIALOG_META_FONT);
    }
    EXPECT_STREQ(productTitle, "Nevalometrix V4.51");

    EXPECT_EQ(ControlAttribute(PANEL_HEADERFRAME, ATTR_FRAME_COLOR), 0x0080FF);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_TOP), 6);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_LEFT), 325);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_VISIBLE), 1);
    QPixmap logo = LogoPixmap();
    ASSERT_FALSE(logo.isNull()) << "logoQN.bmp beside the test program";
    // The logo ends above the title line and beside the company lines.
    EXPECT_LE(6 + logo.height(), 29);
    EXPECT_LE(logo.width(), 120);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_HEIGHT), logo.height());
}

TEST_F(BrandingTest, MissingLogoLeavesAnEmptyVisiblePicture) {
    logoFileName = "no-such-logo.bmp";
    PlaceBranding();

    EXPECT_TRUE(LogoPixmap().isNull());
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_VISIBLE), 1);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_TOP), 6);
    EXPECT_EQ(ControlAttribute(PANEL_LOGO, ATTR_LEFT), 325);
    const std::vector<HeaderLine> lines = CreatedLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, productTitle);
    EXPECT_EQ(ControlAttribute(PANEL_HEADERFRAME, ATTR_FRAME_COLOR), 0x0080FF);
}

} // namespace
