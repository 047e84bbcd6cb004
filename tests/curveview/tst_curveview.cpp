#include <analysisresult.h>

#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtGui/QColor>
#include <QtGui/QImage>
#include <QtTest/QTest>

#include <algorithm>
#include <numeric>

using namespace testsupport;
using namespace dbupdaterun;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QString errors;
};

Run curveview(const QString &directory, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral(CURVEVIEW_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The first series' colour in every plot.
const QColor firstSeries(0x1f, 0x77, 0xb4);

bool near(QRgb pixel, const QColor &colour)
{
    return qAbs(qRed(pixel) - colour.red()) < 40 && qAbs(qGreen(pixel) - colour.green()) < 40
        && qAbs(qBlue(pixel) - colour.blue()) < 40;
}

} // namespace

// curveview on the example installation with its realistic curves: the
// export is the stored curve point for point, a plot is a real chart of the
// asked size, errors are one clear line, and data.db is never changed.
class tst_CurveView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void list();
    void exportEqualsStoredCurve_data();
    void exportEqualsStoredCurve();
    void plot_data();
    void plot();
    void errors_data();
    void errors();
    void damagedBlobIsDecodedAsFarAsItGoes();
    void neverChangesTheFile();

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data.db")); }
    QTemporaryDir m_dir;
};

void tst_CurveView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    loadInstallation(m_dir.path());
    loadExample(data(), QStringLiteral("data-curves.sql"));
    QCOMPARE(run(m_dir.path(), {QStringLiteral("-q")}).exitCode, 0);   // as an upgraded installation
    // A patient whose curve blob was cut short, and one without curves.
    QVERIFY(execSql(data(), {
        QStringLiteral("insert into patient(id, sampleNo, date) values(20, '30', '2026-03-04')"),
        QStringLiteral("insert into curve(patientId, item, curve) select 20, 'PT', substr(curve, 1, 1000) "
                       "from curve where patientId = 12"),
        QStringLiteral("insert into patient(id, sampleNo, date) values(21, '31', '2026-03-04')")}));
}

void tst_CurveView::list()
{
    const Run all = curveview(m_dir.path(), {QStringLiteral("list"), QStringLiteral("--date"), QStringLiteral("2026-03-03")});
    QCOMPARE(all.exitCode, 0);
    QCOMPARE(all.output,
             QByteArray("patient 11  sample 21  2026-03-03\n"
                        "  APTT   raw 1 segment 800 points\n"
                        "  FIB    raw 1 segment 300 points\n"
                        "  PT     raw 1 segment 400 points\n"
                        "patient 12  sample 22  2026-03-03\n"
                        "  PT     raw 1 segment 400 points\n"
                        "patient 13  sample 23  2026-03-03\n"
                        "  APTT   raw 1 segment 1000 points\n"));
    const Run one = curveview(m_dir.path(), {QStringLiteral("list"), QStringLiteral("--sample"), QStringLiteral("2")});
    QCOMPARE(one.output, QByteArray("patient 2  sample 2  2026-03-01\n  FIB    od  1 segment 0 points\n"));
}

void tst_CurveView::exportEqualsStoredCurve_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("od");
    QTest::addColumn<QString>("format");
    for (const char *format : {"csv", "json"}) {
        QTest::addRow("PT raw %s", format) << "PT" << false << format;
        QTest::addRow("APTT od %s", format) << "APTT" << true << format;
    }
}

void tst_CurveView::exportEqualsStoredCurve()
{
    QFETCH(QString, item);
    QFETCH(bool, od);
    QFETCH(QString, format);
    QStringList arguments{QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("11"),
                          QStringLiteral("--item"), item, QStringLiteral("--format"), format};
    if (od)
        arguments << QStringLiteral("--od");
    const Run result = curveview(m_dir.path(), arguments);
    QCOMPARE(result.exitCode, 0);

    ClotCurve stored = ClotCurve::fromBuffer(selectValue(data(), QStringLiteral(
        "select curve from curve where patientId = 11 and item = '%1' order by rowid desc limit 1").arg(item)).toByteArray());
    if (od)
        stored = stored.toType(ClotCurve::OdPoint);
    QCOMPARE(stored.size(), item == QLatin1String("PT") ? 400 : 800);

    QList<QPair<double, double>> points;
    if (format == QLatin1String("csv")) {
        const QList<QByteArray> lines = result.output.trimmed().split('\n');
        QCOMPARE(lines.first(), QByteArray("item,segment,index,x,y"));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].split(',');
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0], item.toUtf8());
            QCOMPARE(fields[2].toInt(), int(i - 1));
            points << qMakePair(fields[3].toDouble(), fields[4].toDouble());
        }
    } else {
        const QJsonObject root = QJsonDocument::fromJson(result.output).object();
        QCOMPARE(root.value(QStringLiteral("patient")).toInt(), 11);
        QCOMPARE(root.value(QStringLiteral("sampleNo")).toString(), QStringLiteral("21"));
        const QJsonObject curve = root.value(QStringLiteral("curves")).toArray().first().toObject();
        QCOMPARE(curve.value(QStringLiteral("type")).toString(), od ? QStringLiteral("od") : QStringLiteral("raw"));
        for (const QJsonValue &p : curve.value(QStringLiteral("segments")).toArray().first().toObject()
                                        .value(QStringLiteral("points")).toArray())
            points << qMakePair(p.toArray().at(0).toDouble(), p.toArray().at(1).toDouble());
    }
    QCOMPARE(points.size(), stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        // Exact: the same doubles, bit for bit.
        QCOMPARE(points[i].first, stored.x(i));
        QCOMPARE(points[i].second, stored.y(i));
    }
}

void tst_CurveView::plot_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("PNG") << "chart.png";
    QTest::newRow("SVG") << "chart.svg";
}

// A picture of the asked size whose plot area holds the first series (APTT,
// the whole time axis) along its path: high before the clotting time, low
// after it. Not a blank or an axis-only picture.
void tst_CurveView::plot()
{
    QFETCH(QString, file);
    QTemporaryDir out;
    const QString path = out.filePath(file);
    const Run result = curveview(m_dir.path(), {QStringLiteral("plot"), QStringLiteral("--patient"), QStringLiteral("11"),
                                                QStringLiteral("-o"), path, QStringLiteral("--size"), QStringLiteral("640x400")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.errors, QString());
    if (file.endsWith(QLatin1String(".svg"))) {
        QFile svg(path);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll();
        QVERIFY(text.contains("<svg"));
        QVERIFY(text.contains("viewBox=\"0 0 640 400\""));
        QVERIFY(text.contains("#1f77b4"));    // the APTT series
        QVERIFY(text.contains(">APTT<"));     // its legend entry
        return;
    }
    const QImage image(path);
    QCOMPARE(image.size(), QSize(640, 400));
    QList<int> columns;   // per column: the mean row of the series' pixels, or -1
    for (int x = 0; x < image.width(); ++x) {
        int sum = 0, count = 0;
        for (int y = 0; y < image.height() * 4 / 5; ++y) {   // above the legend
            if (near(image.pixel(x, y), firstSeries)) {
                sum += y;
                ++count;
            }
        }
        columns << (count ? sum / count : -1);
    }
    const int drawn = int(std::count_if(columns.cbegin(), columns.cend(), [](int y) { return y >= 0; }));
    QVERIFY2(drawn > image.width() / 2, qPrintable(QString::number(drawn)));
    // Early readings (left quarter of the drawn columns) high on the picture,
    // late ones (right quarter) lower: the fall at the clotting time.
    QList<int> rows;
    for (int y : std::as_const(columns))
        if (y >= 0)
            rows << y;
    const auto mean = [](const QList<int> &v) { return std::accumulate(v.cbegin(), v.cend(), 0.0) / double(v.size()); };
    const double early = mean(rows.mid(0, rows.size() / 4));
    const double late = mean(rows.mid(rows.size() * 3 / 4));
    QVERIFY2(late - early > image.height() / 8, qPrintable(QStringLiteral("%1 %2").arg(early).arg(late)));
}

void tst_CurveView::errors_data()
{
    QTest::addColumn<QString>("setup");   // the directory: "example", "empty", "garbage"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown patient") << "example" << QStringList{QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("99")}
                                     << 1 << "curveview: no patient with id 99 in ./data.db\n";
    QTest::newRow("unknown item") << "example" << QStringList{QStringLiteral("plot"), QStringLiteral("--patient"), QStringLiteral("11"), QStringLiteral("--item"), QStringLiteral("TT")}
                                  << 1 << "curveview: patient 11 has no curve for item TT (it has: APTT, FIB, PT)\n";
    QTest::newRow("patient without curves") << "example" << QStringList{QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("21")}
                                            << 1 << "curveview: patient 21 has no clot curves\n";
    QTest::newRow("missing data.db") << "empty" << QStringList{QStringLiteral("list")}
                                     << 1 << "curveview: ./data.db: no such file";
    QTest::newRow("not a database") << "garbage" << QStringList{QStringLiteral("list")}
                                    << 1 << "curveview: ./data.db: file is not a database";
    QTest::newRow("unknown command") << "example" << QStringList{QStringLiteral("show")}
                                     << 2 << "curveview: unknown command show\nUsage: curveview";
    QTest::newRow("bad size") << "example" << QStringList{QStringLiteral("plot"), QStringLiteral("--patient"), QStringLiteral("11"), QStringLiteral("--size"), QStringLiteral("big")}
                              << 2 << "curveview: --size needs WIDTHxHEIGHT";
    QTest::newRow("export without patient") << "example" << QStringList{QStringLiteral("export")}
                                            << 2 << "curveview: export needs --patient ID";
}

void tst_CurveView::errors()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir other;
    QString directory = m_dir.path();
    if (setup != QLatin1String("example")) {
        directory = other.path();
        if (setup == QLatin1String("garbage")) {
            QFile f(other.filePath(QStringLiteral("data.db")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
    }
    const Run result = curveview(directory, arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.errors.startsWith(message), qPrintable(result.errors));
    QCOMPARE(result.output, QByteArray());
    if (setup == QLatin1String("empty"))
        QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList());   // nothing created
}

void tst_CurveView::damagedBlobIsDecodedAsFarAsItGoes()
{
    const Run result = curveview(m_dir.path(), {QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("20")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.errors.contains(QLatin1String("warning: the curve PT of patient 20 (1000 bytes) is damaged")),
             qPrintable(result.errors));
    // What Core's decoder makes of the 1000 bytes, point for point.
    const ClotCurve decoded = ClotCurve::fromBuffer(
        selectValue(data(), QStringLiteral("select curve from curve where patientId = 20")).toByteArray());
    const QList<QByteArray> lines = result.output.trimmed().split('\n');
    QCOMPARE(lines.size(), 1 + decoded.size());
    QVERIFY(decoded.size() > 100);
    for (int i = 0; i < decoded.size(); ++i)
        QCOMPARE(lines[i + 1].split(',').at(4).toDouble(), decoded.y(i));
}

// data.db is only read: byte for byte the same after every command, also
// while the application holds its write lock.
void tst_CurveView::neverChangesTheFile()
{
    const QByteArray before = sha256(data());
    QTemporaryDir out;
    const QString holder = QStringLiteral("application");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holder);
        db.setDatabaseName(data());
        QVERIFY(db.open());
        QSqlQuery lock(db);
        QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QCOMPARE(curveview(m_dir.path(), {QStringLiteral("list")}).exitCode, 0);
        QCOMPARE(curveview(m_dir.path(), {QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("11"),
                                          QStringLiteral("--od"), QStringLiteral("-o"), out.filePath(QStringLiteral("x.csv"))}).exitCode, 0);
        QCOMPARE(curveview(m_dir.path(), {QStringLiteral("plot"), QStringLiteral("--patient"), QStringLiteral("13"),
                                          QStringLiteral("-o"), out.filePath(QStringLiteral("x.png"))}).exitCode, 0);
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
    }
    QSqlDatabase::removeDatabase(holder);
    QCOMPARE(sha256(data()), before);
    QVERIFY(!QFileInfo::exists(data() + QStringLiteral("-journal")));
}

QTEST_GUILESS_MAIN(tst_CurveView)
#include "tst_curveview.moc"
