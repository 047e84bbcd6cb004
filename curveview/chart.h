#ifndef CHART_H
#define CHART_H

#include "curvedata.h"

#include <QtCore/QSize>

#include <QtGui/QColor>

// The colour of the index-th series (fixed, so a picture can be checked).
QColor seriesColour(qsizetype index);

// Draws a patient's curves with Qt Charts, one series per item with a
// legend, time in seconds on x and the reading (or optical density) on y,
// into a PNG or SVG file of the given size. False with *error set when the
// file cannot be written.
bool plotCurves(const PatientCurves &patient, bool opticalDensity, const QString &fileName,
                const QSize &size, QString *error);

#endif // CHART_H
