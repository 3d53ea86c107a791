// The colour bars: the share of the frame they fill, the value held in the range, the number in
// the middle in the bar's font, and repaints that leave the panel behind alone.
#include "platform/widgets/colourbar.h"
#include "support/plot_pixels.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>

namespace {

const auto *const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetApplication("test_colourbar"));

// Counts the paint events of the widgets it watches.
class PaintCount : public QObject {
  public:
    explicit PaintCount(std::initializer_list<QWidget *> widgets) {
        for (QWidget *widget : widgets) {
            counts[widget] = 0;
            widget->installEventFilter(this);
        }
    }
    std::map<QObject *, int> counts;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            counts[watched]++;
        return false;
    }
};

// The bounding box of the dark pixels in an area.
QRect DarkArea(const QImage &image, const QRect &area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).lightness() < 80)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(ColourBar, FillsItsShareOfTheFrameAndRepaintsWithoutThePanelBehind) {
    QWidget panel;
    panel.resize(300, 80);
    ColourBar bar(&panel);
    bar.setGeometry(10, 10, 190, 28);
    bar.setRange(0, 255);
    bar.setFormat("%v");
    bar.setBarColor(kRed);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    QCoreApplication::processEvents();

    PaintCount painted({&panel, &bar});
    bar.setValue(64);
    QTRY_VERIFY_WITH_TIMEOUT(painted.counts[&bar] > 0, 2000);
    EXPECT_EQ(painted.counts[&panel], 0);

    // Inside the frame, 188 pixels: 64 of 255 fill 47 of them.
    QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0x7a, 0x7a, 0x7a)) << "frame";
    EXPECT_EQ(image.pixelColor(189, 27), QColor(0x7a, 0x7a, 0x7a)) << "frame";
    EXPECT_EQ(image.pixelColor(47, 3), kRed) << "last filled pixel";
    EXPECT_EQ(image.pixelColor(48, 3), bar.palette().color(QPalette::Base)) << "first empty one";
    EXPECT_FALSE(DarkArea(image, QRect(80, 4, 30, 20)).isEmpty()) << "the number in the middle";

    bar.setValue(300);
    EXPECT_EQ(bar.value(), 255) << "held in the range";
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(188, 3), kRed);
    bar.setFormat("%v of %m, %p%");
    EXPECT_EQ(bar.text(), "255 of 255, 100%");
    bar.setValue(0);
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 3), bar.palette().color(QPalette::Base));
    bar.setRange(7, 7);
    bar.setValue(7);
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 3), kRed) << "a range of one value shows it full";

    // The number in the middle, in the bar's font of the moment.
    bar.setFormat("%v");
    bar.setRange(0, 255);
    bar.setValue(0);
    const QRect inside(1, 1, 188, 26);
    const QRect small = DarkArea(bar.grab().toImage(), inside);
    EXPECT_NEAR(small.center().x(), inside.center().x(), 2);
    EXPECT_NEAR(small.center().y(), inside.center().y(), 2);
    QFont larger = bar.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.6);
    bar.setFont(larger);
    const QRect large = DarkArea(bar.grab().toImage(), inside);
    EXPECT_GT(large.height(), small.height() + 2) << "not the number laid out in the old font";
}

} // namespace
