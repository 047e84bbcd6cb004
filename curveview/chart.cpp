#include "chart.h"

#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtCore/QFileInfo>
#include <QtGui/QImage>
#include <QtWidgets/QGraphicsScene>
#include <QtGui/QPainter>
#include <QtSvg/QSvgGenerator>

#include <cmath>
#include <iterator>
#include <limits>

QColor seriesColour(qsizetype index)
{
    // Distinct for readers with a colour-vision deficiency too.
    static const QRgb palette[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2, 0x17becf};
    return QColor(palette[index % qsizetype(std::size(palette))]);
}

bool plotCurves(const PatientCurves &patient, bool opticalDensity, const QString &fileName,
                const QSize &size, QString *error)
{
    QGraphicsScene scene;
    auto *chart = new QChart;   // owned by the scene
    scene.addItem(chart);
    chart->setTitle(QStringLiteral("Sample %1, %2 (patient %3)%4")
                        .arg(patient.sampleNo, patient.date).arg(patient.id)
                        .arg(opticalDensity ? QStringLiteral(", optical density") : QString()));
    auto *x = new QValueAxis;
    x->setTitleText(QStringLiteral("Time (s)"));
    auto *y = new QValueAxis;
    y->setTitleText(opticalDensity ? QStringLiteral("Optical density") : QStringLiteral("Reading"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    double minX = std::numeric_limits<double>::max(), maxX = std::numeric_limits<double>::lowest();
    double minY = minX, maxY = maxX;
    for (qsizetype i = 0; i < patient.curves.size(); ++i) {
        const StoredCurve &stored = patient.curves.at(i);
        const ClotCurve curve = opticalDensity ? stored.curve.toType(ClotCurve::OdPoint) : stored.curve;
        auto *series = new QLineSeries;
        series->setName(stored.item);
        series->setColor(seriesColour(i));
        QList<QPointF> points;
        points.reserve(curve.size());
        for (const ClotCurve::Segment &segment : curve.segments()) {
            for (qsizetype k = 0; k < segment.y.size(); ++k) {
                const QPointF p(segment.x0 + double(k) * segment.dx, segment.y.at(k));
                if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                    continue;
                points << p;
                minX = std::min(minX, p.x());
                maxX = std::max(maxX, p.x());
                minY = std::min(minY, p.y());
                maxY = std::max(maxY, p.y());
            }
        }
        series->replace(points);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    if (minX > maxX) {
        minX = minY = 0.0;
        maxX = maxY = 1.0;
    }
    const double margin = (maxY - minY) * 0.05 + 1e-9;
    x->setRange(minX, maxX);
    y->setRange(minY - margin, maxY + margin);
    x->applyNiceNumbers();
    y->applyNiceNumbers();
    chart->legend()->setAlignment(Qt::AlignBottom);

    chart->setGeometry(QRectF(QPointF(0, 0), size));
    const QRectF area(QPointF(0, 0), size);

    if (fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(fileName);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(chart->title());
        QPainter painter;
        if (!painter.begin(&svg)) {
            *error = QStringLiteral("%1: cannot be written").arg(fileName);
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
        if (QFileInfo(fileName).size() <= 0) {
            *error = QStringLiteral("%1: cannot be written").arg(fileName);
            return false;
        }
        return true;
    }
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, area, area);
    painter.end();
    if (!image.save(fileName, "PNG")) {
        *error = QStringLiteral("%1: cannot be written").arg(fileName);
        return false;
    }
    return true;
}
