// The common look of the panel's plots (axes, grid, fonts) and the reading of the plot widgets'
// dynamic properties from the panel file.
#pragma once

#include <QColor>
#include <QStringList>
#include <QVariant>
#include <qcustomplot.h>

namespace plotstyle {

// Colours of the instrument look.
inline const QColor BACKGROUND(255, 255, 255);
inline const QColor AXIS(64, 64, 64);
inline const QColor GRID(224, 224, 224);

// Gives a plot the house look: white background, boxed axis rectangle, light grid, readable
// tick labels, no user zoom or pan.
void ApplyInstrumentLook(QCustomPlot *plot);

// Reads a double from a property value (a number or a numeric text). False when it is neither.
bool ReadDouble(const QVariant &value, double *result);
// Reads an integer from a property value. False when it is not an integer.
bool ReadInt(const QVariant &value, int *result);
// Reads a list from a property value: a string list, or a comma-separated text. Items trimmed.
QStringList ReadList(const QVariant &value);

} // namespace plotstyle
