#include "platform/widgets/plotstyle.h"

#include <cmath>

namespace plotstyle {

namespace {

void StyleAxis(QCPAxis *axis, bool withLabels) {
    const QPen axisPen(AXIS, 1);
    axis->setBasePen(axisPen);
    axis->setTickPen(axisPen);
    axis->setSubTickPen(axisPen);
    axis->setTickLabelColor(AXIS);
    axis->setLabelColor(AXIS);
    axis->setTickLength(0, 4);
    axis->setSubTickLength(0, 2);
    axis->setTickLabels(withLabels);
    QFont font = axis->tickLabelFont();
    font.setPointSizeF(8.5);
    axis->setTickLabelFont(font);
    axis->grid()->setPen(QPen(GRID, 1, Qt::SolidLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
    axis->grid()->setSubGridVisible(false);
}

} // namespace

void ApplyInstrumentLook(QCustomPlot *plot) {
    plot->setBackground(BACKGROUND);
    // The plot covers its whole area with an opaque background, so a redraw of the plot does not
    // need the panel behind it painted first.
    plot->setAttribute(Qt::WA_OpaquePaintEvent);
    plot->setInteractions(QCP::Interactions());
    plot->axisRect()->setupFullAxesBox(true);
    StyleAxis(plot->xAxis, true);
    StyleAxis(plot->yAxis, true);
    StyleAxis(plot->xAxis2, false);
    StyleAxis(plot->yAxis2, false);
    // The box axes only frame the plot area; the grid comes from the labelled axes.
    plot->xAxis2->grid()->setVisible(false);
    plot->yAxis2->grid()->setVisible(false);
}

bool ReadDouble(const QVariant &value, double *result) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && std::isfinite(number)) {
        *result = number;
        return true;
    }
    return false;
}

bool ReadInt(const QVariant &value, int *result) {
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok) {
        *result = number;
    }
    return ok;
}

QStringList ReadList(const QVariant &value) {
    QStringList items = value.typeId() == QMetaType::QStringList
                            ? value.toStringList()
                            : value.toString().split(QLatin1Char(','));
    for (QString &item : items) {
        item = item.trimmed();
    }
    return items;
}

} // namespace plotstyle
