#include "support/plot_pixels.h"

#include <QApplication>
#include <qcustomplot.h>

#include <cstdlib>

void WidgetApplication::SetUp() {
    argv_[0] = name_.data();
    app_ = new QApplication(argc_, argv_);
}

void WidgetApplication::TearDown() {
    delete app_;
}

void ShowPlot(QCustomPlot *plot) {
    plot->resize(420, 400);
    plot->show();
    plot->replot();
}

QImage Render(QCustomPlot *plot) {
    plot->replot();
    return plot->grab().toImage();
}

bool Near(const QColor &a, const QColor &b) {
    return std::abs(a.red() - b.red()) < 140 && std::abs(a.green() - b.green()) < 140 &&
           std::abs(a.blue() - b.blue()) < 140;
}
