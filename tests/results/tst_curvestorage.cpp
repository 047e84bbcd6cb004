#include <analysisresult.h>
#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

using namespace testsupport;

// Clot curves stored in and loaded from data.db of Profile::instance(), in a
// working directory of this process's own.
class tst_CurveStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void saveAndLoad();
    void newestRowWins();
    void emptyCurveErasesRow();
    void loadWithoutRow();
    void failedStatementsAreLogged();

private:
    WorkingDirectory m_dir;
};

void tst_CurveStorage::initTestCase()
{
    QVERIFY(createStoreFiles({QStringLiteral("create table curve(patientId integer, item text, curve blob)")}));
    Profile::instance();
}

void tst_CurveStorage::init()
{
    QVERIFY(execSql(QStringLiteral("data.db"), {QStringLiteral("delete from curve")}));
}

void tst_CurveStorage::saveAndLoad()
{
    ClotCurve od;
    od.setType(ClotCurve::OdPoint);
    od.append(0.0, 0.5, {1.0, 2.0});
    od.append(1.0, 0.25, {});
    od.save(7, QStringLiteral("PT"));
    const auto rows = selectRows(QStringLiteral("data.db"),
        QStringLiteral("select patientId, item, typeof(curve), curve from curve"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toInt(), 7);
    QCOMPARE(rows[0][1].toString(), QStringLiteral("PT"));
    QCOMPARE(rows[0][2].toString(), QStringLiteral("blob"));
    QCOMPARE(rows[0][3].toByteArray(), od.toBuffer());

    ClotCurve loaded;
    loaded.load(7, QStringLiteral("PT"));
    QCOMPARE(loaded.type(), ClotCurve::OdPoint);
    QCOMPARE(loaded.toBuffer(), od.toBuffer());

    ClotCurve zeroPoints;
    zeroPoints.append(0.0, 1.0, {});
    zeroPoints.save(8, QStringLiteral("APTT"));
    QCOMPARE(selectValue(QStringLiteral("data.db"),
                         QStringLiteral("select length(curve) from curve where patientId = 8")).toInt(), 28);
}

void tst_CurveStorage::newestRowWins()
{
    ClotCurve first;
    first.append(0.0, 1.0, {1.0});
    ClotCurve second;
    second.append(0.0, 1.0, {2.0, 3.0});
    first.save(1, QStringLiteral("FIB"));
    second.save(1, QStringLiteral("FIB"));
    QCOMPARE(selectValue(QStringLiteral("data.db"), QStringLiteral("select count(*) from curve")).toInt(), 2);
    ClotCurve loaded;
    loaded.load(1, QStringLiteral("FIB"));
    QCOMPARE(loaded.size(), 2);
    QCOMPARE(loaded.y(1), 3.0);
}

void tst_CurveStorage::emptyCurveErasesRow()
{
    ClotCurve c;
    c.append(0.0, 1.0, {1.0});
    c.save(2, QStringLiteral("TT"));
    c.save(3, QStringLiteral("TT"));
    ClotCurve().save(2, QStringLiteral("TT"));
    QCOMPARE(selectValue(QStringLiteral("data.db"), QStringLiteral("select group_concat(patientId) from curve")).toString(),
             QStringLiteral("3"));
}

void tst_CurveStorage::loadWithoutRow()
{
    ClotCurve c;
    c.setType(ClotCurve::OdPoint);
    c.append(0.0, 1.0, {1.0});
    c.load(99, QStringLiteral("PT"));
    QVERIFY(c.isEmpty());
    QCOMPARE(c.type(), ClotCurve::OdPoint);   // the type is left as it was

    // A stored NULL or empty blob reads as no curve.
    QVERIFY(execSql(QStringLiteral("data.db"), {QStringLiteral("insert into curve values(5, 'PT', NULL)")}));
    c.append(0.0, 1.0, {1.0});
    c.load(5, QStringLiteral("PT"));
    QVERIFY(c.isEmpty());
}

void tst_CurveStorage::failedStatementsAreLogged()
{
    // Through the store's own connection, so that its schema is current.
    QSqlQuery rename(Profile::instance().dataDatabase());
    QVERIFY(rename.exec(QStringLiteral("alter table curve rename to curve_old")));
    ClotCurve c;
    c.append(0.0, 1.0, {1.0});
    QStringList warnings;
    {
        WarningCapture capture;
        c.save(1, QStringLiteral("PT"));
        ClotCurve().save(1, QStringLiteral("PT"));
        c.load(1, QStringLiteral("PT"));
        warnings = capture.warnings();
    }
    QVERIFY(rename.exec(QStringLiteral("alter table curve_old rename to curve")));
    QVERIFY(c.isEmpty());
    const QStringList prefixes{QStringLiteral(".\\analysisresult(94): "), QStringLiteral(".\\analysisresult(106): "),
                               QStringLiteral(".\\analysisresult(88): "), QStringLiteral(".\\analysisresult(106): "),
                               QStringLiteral(".\\analysisresult(113): "), QStringLiteral(".\\analysisresult(119): ")};
    QCOMPARE(warnings.size(), prefixes.size());
    for (int i = 0; i < prefixes.size(); ++i) {
        QVERIFY2(warnings[i].startsWith(prefixes[i]), qPrintable(warnings[i]));
        QVERIFY2(warnings[i].size() > prefixes[i].size(), qPrintable(warnings[i]));
    }
    QVERIFY(warnings[0].contains(QStringLiteral("no such table")));
}

QTEST_GUILESS_MAIN(tst_CurveStorage)
#include "tst_curvestorage.moc"
