#include <analysisresult.h>

#include <QtTest/QTest>

#include <cmath>
#include <limits>

using Segments = QList<ClotCurve::Segment>;
Q_DECLARE_METATYPE(QList<int>)

namespace {

// A curve of segments with the given point counts; values count up from 1
// over the whole curve, x0 is the segment's index * 100, dx is 1.
ClotCurve curveOf(const QList<int> &counts)
{
    ClotCurve curve;
    double v = 1;
    for (int s = 0; s < counts.size(); ++s) {
        QList<double> y;
        for (int i = 0; i < counts[s]; ++i)
            y << v++;
        curve.append(100.0 * s, 1.0, y);
    }
    return curve;
}

QList<QList<double>> valuesOf(const ClotCurve &curve)
{
    QList<QList<double>> values;
    for (const auto &segment : curve.segments())
        values << segment.y;
    return values;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const char example44[] =
    "00000000 00000001 0000000000000000 3FE0000000000000 00000002"
    " 3FF0000000000000 4000000000000000";

} // namespace

class tst_ClotCurve : public QObject
{
    Q_OBJECT

private slots:
    void newCurve();
    void pointLookupAcrossSegments();
    void remove_data();
    void remove();
    void copiesShareUntilWritten();

    void toType_data();
    void toType();
    void toTypeDensities();
    void toTypeLeavesOtherCurvesAlone();

    void encodesExactBytes();
    void decodes_data();
    void decodes();
    void roundTrips();
    void corruptCountsStayBounded();
};

void tst_ClotCurve::newCurve()
{
    ClotCurve c;
    QCOMPARE(c.type(), ClotCurve::RawPoint);
    QVERIFY(c.isEmpty());
    QCOMPARE(c.size(), 0);
    QCOMPARE(c.x(0), 0.0);
    QCOMPARE(c.y(0), 0.0);
    c.append(1.0, 0.5, {});
    QVERIFY(!c.isEmpty());
    QCOMPARE(c.size(), 0);
}

void tst_ClotCurve::pointLookupAcrossSegments()
{
    const ClotCurve c = curveOf({3, 4});
    QCOMPARE(c.size(), 7);
    QCOMPARE(c.x(2), 2.0);
    QCOMPARE(c.x(3), 100.0);   // the second segment's x0
    QCOMPARE(c.x(6), 103.0);
    QCOMPARE(c.y(6), 7.0);     // its last value
    QCOMPARE(c.y(7), 0.0);
    QCOMPARE(c.x(-1), 0.0);
    QCOMPARE(c.y(std::numeric_limits<int>::min()), 0.0);
}

void tst_ClotCurve::remove_data()
{
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("n");
    QTest::addColumn<QList<QList<double>>>("expected");

    QTest::newRow("both segments keep points") << QList<int>{5, 5} << 3 << 4
        << QList<QList<double>>{{1, 2, 3}, {8, 9, 10}};
    QTest::newRow("middle segment dropped") << QList<int>{2, 3, 4} << 2 << 5
        << QList<QList<double>>{{1, 2}, {8, 9}};
    QTest::newRow("first segment dropped") << QList<int>{3, 4} << 0 << 5
        << QList<QList<double>>{{6, 7}};
    QTest::newRow("past the end") << QList<int>{3, 4} << 7 << 5
        << QList<QList<double>>{{1, 2, 3}, {4, 5, 6, 7}};
    QTest::newRow("nothing") << QList<int>{3, 4} << 0 << 0
        << QList<QList<double>>{{1, 2, 3}, {4, 5, 6, 7}};
    QTest::newRow("empty segment kept") << QList<int>{2, 0, 2} << 0 << 3
        << QList<QList<double>>{{}, {4}};
    QTest::newRow("everything") << QList<int>{2, 2} << 0 << 100 << QList<QList<double>>{};
    QTest::newRow("negative pos") << QList<int>{2} << -1 << 2 << QList<QList<double>>{{1, 2}};
    QTest::newRow("negative n") << QList<int>{2} << 0 << -2 << QList<QList<double>>{{1, 2}};
}

void tst_ClotCurve::remove()
{
    QFETCH(QList<int>, counts);
    QFETCH(int, pos);
    QFETCH(int, n);
    QFETCH(QList<QList<double>>, expected);

    ClotCurve c = curveOf(counts);
    const ClotCurve before = c;
    c.remove(pos, n);
    QCOMPARE(valuesOf(c), expected);
    // x0 and dx stay with their segments.
    for (const auto &segment : c.segments())
        QCOMPARE(std::fmod(segment.x0, 100.0), 0.0);
    QCOMPARE(valuesOf(before).size(), counts.size());   // a copy is not touched
}

void tst_ClotCurve::copiesShareUntilWritten()
{
    ClotCurve a = curveOf({3});
    ClotCurve b = a;
    QCOMPARE(b.segments().constFirst().y.constData(), a.segments().constFirst().y.constData());
    b.remove(0, 1);
    QCOMPARE(a.size(), 3);
    QCOMPARE(b.size(), 2);
}

void tst_ClotCurve::toType_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("window");

    // window 0 marks a segment that converts to all zeros.
    QTest::newRow("x0 1.0 dx 0.25") << 1.0 << 0.25 << 40 << 8 << 4;
    QTest::newRow("x0 5.0 dx 0.4") << 5.0 << 0.4 << 10 << 0 << 3;
    QTest::newRow("dx 3.0") << 0.0 << 3.0 << 5 << 1 << 1;
    QTest::newRow("ends before 3.0") << 0.0 << 0.5 << 6 << 6 << 0;
    QTest::newRow("window cut at the end") << 3.0 << 0.25 << 2 << 0 << 2;
    QTest::newRow("dx zero") << 0.0 << 0.0 << 4 << 0 << 0;
    QTest::newRow("dx negative") << 0.0 << -1.0 << 4 << 0 << 0;
    QTest::newRow("dx NaN") << 0.0 << std::nan("") << 4 << 0 << 0;
    QTest::newRow("dx infinite") << 0.0 << std::numeric_limits<double>::infinity() << 4 << 0 << 0;
    QTest::newRow("dx tiny") << 0.0 << 1e-300 << 4 << 4 << 0;
    QTest::newRow("x0 NaN") << std::nan("") << 1.0 << 4 << 0 << 1;
}

// With readings that equal the reference level, every converted point is 0,
// so the window shows in which points are converted and what ref is.
void tst_ClotCurve::toType()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(int, points);
    QFETCH(int, start);
    QFETCH(int, window);

    QList<double> y;
    for (int i = 0; i < points; ++i)
        y << ((i >= start && i < start + window) ? 100.0 : 10.0);
    ClotCurve raw;
    raw.append(x0, dx, y);
    const ClotCurve od = raw.toType(ClotCurve::OdPoint);
    QCOMPARE(od.type(), ClotCurve::OdPoint);
    const auto segment = od.segments().constFirst();
    QCOMPARE(segment.y.size(), points);
    QCOMPARE(segment.dx, dx == dx ? dx : segment.dx);
    const int h = window > 0 ? start + window / 2 : points;
    for (int k = 0; k < points; ++k) {
        double expected = 0.0;
        if (k >= h)
            expected = (k < start + window) ? 0.0 : 1.0;   // log10(100 / 10)
        QCOMPARE(segment.y[k], expected);
    }
    QCOMPARE(raw.segments().constFirst().y, y);   // the source keeps its readings
}

void tst_ClotCurve::toTypeDensities()
{
    // x0 5.0, dx 1: start 0, window 1, ref = y[0] = 10; point 0 becomes 0.
    ClotCurve raw;
    raw.append(5.0, 1.0, {10.0, 10.0, 100.0, 0.0, -3.0, 1.0, std::nan(""), 1e-20});
    const QList<double> y = raw.toType(ClotCurve::OdPoint).segments().constFirst().y;
    QCOMPARE(y[0], 0.0);
    QCOMPARE(y[1], 0.0);                       // reading equal to ref
    QCOMPARE(y[2], -1.0);                      // ten times ref: negative density
    QCOMPARE(y[3], 5.0);                       // 0 counts as 2^-52, capped at 5
    QCOMPARE(y[4], 5.0);
    QCOMPARE(y[5], 1.0);
    QVERIFY(std::isnan(y[6]));                 // NaN passes through the cap
    QCOMPARE(y[7], 5.0);

    ClotCurve zeroRef;
    zeroRef.append(5.0, 1.0, {0.0, 1.0, 2.0});
    const QList<double> z = zeroRef.toType(ClotCurve::OdPoint).segments().constFirst().y;
    QCOMPARE(z[1], -std::numeric_limits<double>::infinity());
    QCOMPARE(z[2], -std::numeric_limits<double>::infinity());
}

void tst_ClotCurve::toTypeLeavesOtherCurvesAlone()
{
    const ClotCurve empty;
    QCOMPARE(empty.toType(ClotCurve::OdPoint).type(), ClotCurve::OdPoint);
    QVERIFY(empty.toType(ClotCurve::OdPoint).isEmpty());

    ClotCurve od = curveOf({3});
    od.setType(ClotCurve::OdPoint);
    QCOMPARE(od.toType(ClotCurve::RawPoint).type(), ClotCurve::OdPoint);
    QCOMPARE(valuesOf(od.toType(ClotCurve::RawPoint)), valuesOf(od));

    const ClotCurve raw = curveOf({3, 2});
    QCOMPARE(raw.toType(ClotCurve::PointType(7)).type(), ClotCurve::RawPoint);
    QCOMPARE(valuesOf(raw.toType(ClotCurve::PointType(7))), valuesOf(raw));
    // Two segments: the first converts (all zeros, it ends before 3.0), the
    // second keeps its raw values.
    QCOMPARE(valuesOf(raw.toType(ClotCurve::OdPoint)), (QList<QList<double>>{{0, 0, 0}, {4, 5}}));
}

void tst_ClotCurve::encodesExactBytes()
{
    ClotCurve c;
    c.append(0.0, 0.5, {1.0, 2.0});
    QCOMPARE(c.toBuffer(), hex(example44));

    ClotCurve empty28;
    empty28.setType(ClotCurve::OdPoint);
    empty28.append(-1.0, 0.25, {});
    QCOMPARE(empty28.toBuffer(),
             hex("00000001 00000001 BFF0000000000000 3FD0000000000000 00000000"));
    QCOMPARE(ClotCurve().toBuffer(), hex("00000000 00000000"));
}

void tst_ClotCurve::decodes_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QList<double>>>("values");

    QTest::newRow("44-byte example") << hex(example44) << 0 << QList<QList<double>>{{1.0, 2.0}};
    QTest::newRow("first 36 bytes") << hex(example44).left(36) << 0
                                    << QList<QList<double>>{{1.0, 0.0}};
    QTest::newRow("cut inside a value") << hex(example44).left(40) << 0
                                        << QList<QList<double>>{{1.0, 0.0}};
    QTest::newRow("cut before the count") << hex(example44).left(26) << 0
                                          << QList<QList<double>>{{}};
    QTest::newRow("empty") << QByteArray() << 0 << QList<QList<double>>{};
    QTest::newRow("only a type") << hex("00000001") << 1 << QList<QList<double>>{};
    QTest::newRow("trailing bytes ignored") << hex(example44) + "junk" << 0
                                            << QList<QList<double>>{{1.0, 2.0}};
    QTest::newRow("odd type kept") << hex("FFFFFFFF 00000000") << -1 << QList<QList<double>>{};
}

void tst_ClotCurve::decodes()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, type);
    QFETCH(QList<QList<double>>, values);
    const ClotCurve c = ClotCurve::fromBuffer(buffer);
    QCOMPARE(int(c.type()), type);
    QCOMPARE(valuesOf(c), values);
    if (!values.isEmpty() && buffer.size() >= 24) {
        QCOMPARE(c.segments().constFirst().x0, 0.0);
        QCOMPARE(c.segments().constFirst().dx, 0.5);
    }
}

void tst_ClotCurve::roundTrips()
{
    ClotCurve c;
    c.setType(ClotCurve::OdPoint);
    c.append(1.5, 0.1, {0.0, -0.0, 1e-310, std::numeric_limits<double>::infinity(), 3.25});
    c.append(9.0, 0.2, {});
    c.append(10.0, 0.3, {42.0});
    const QByteArray bytes = c.toBuffer();
    QCOMPARE(bytes.size(), 8 + (20 + 8 * 5) + 20 + (20 + 8));
    const ClotCurve back = ClotCurve::fromBuffer(bytes);
    QCOMPARE(back.type(), ClotCurve::OdPoint);
    QCOMPARE(back.toBuffer(), bytes);   // bit for bit, -0.0 and denormals included
}

void tst_ClotCurve::corruptCountsStayBounded()
{
    // A segment count of 2^32-1 and a point count of 2^32-1 in tiny blobs.
    const ClotCurve manySegments = ClotCurve::fromBuffer(hex("00000000 FFFFFFFF"));
    QVERIFY(manySegments.segments().size() <= 32);
    const ClotCurve manyPoints = ClotCurve::fromBuffer(
        hex("00000000 00000001 0000000000000000 3FE0000000000000 FFFFFFFF 3FF0000000000000"));
    QCOMPARE(manyPoints.segments().size(), 1);
    QVERIFY(manyPoints.size() <= 32);
    QCOMPARE(manyPoints.y(0), 1.0);
    // Counts that fit are honoured exactly, even in a large blob.
    ClotCurve big;
    big.append(0.0, 1.0, QList<double>(100000, 2.5));
    QCOMPARE(ClotCurve::fromBuffer(big.toBuffer()).size(), 100000);
}

QTEST_APPLESS_MAIN(tst_ClotCurve)
#include "tst_clotcurve.moc"
