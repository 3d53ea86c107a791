// Shared set-up of the plot widget tests, which run without the engine: the test program's
// application object, plots laid out on screen and rendered, and pixel colours compared with
// room for anti-aliasing.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <string>

class QApplication;
class QCustomPlot;

// Creates the application object for the whole test program and deletes it at the end;
// programName is its argv[0]. The application keeps argc and argv, which live here.
class WidgetApplication : public ::testing::Environment {
  public:
    explicit WidgetApplication(const char *programName) : name_(programName) {}
    void SetUp() override;
    void TearDown() override;

  private:
    std::string name_;
    int argc_ = 1;
    char *argv_[2] = {nullptr, nullptr};
    QApplication *app_ = nullptr;
};

// The colour the tests draw in.
inline const QColor kRed(255, 0, 0);

// A graph on screen with its layout computed, so that pixels map to plot coordinates.
void ShowPlot(QCustomPlot *plot);
// The plot as a whole redraw draws it.
QImage Render(QCustomPlot *plot);
// Whether a pixel is close to a colour. A thin anti-aliased line may cover a pixel only half,
// blending it half-way to the white background.
bool Near(const QColor &a, const QColor &b);
