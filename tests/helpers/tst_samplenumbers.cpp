#include <kaglobal.h>
#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

using namespace testsupport;

// Sample numbers and prefixes through Profile::instance(), in a working
// directory of this process's own.
class tst_SampleNumbers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nextSampleNo_data();
    void nextSampleNo();
    void withoutPatientTable();
    void samplePrefix();

private:
    WorkingDirectory m_dir;
};

void tst_SampleNumbers::initTestCase()
{
    QVERIFY(createStoreFiles({
        QStringLiteral("create table patient(id integer primary key, sampleNo text, date text)"),
        QStringLiteral("insert into patient(sampleNo, date) values('1', '2026-03-01'), ('2', '2026-03-01'), ('10', '2026-03-01')"),
        QStringLiteral("insert into patient(sampleNo, date) values('7', '2026-03-02'), ('12b', '2026-03-02'), ('S5', '2026-03-02')"),
        QStringLiteral("insert into patient(sampleNo, date) values('S5', '2026-03-03'), ('abc', '2026-03-03')"),
        QStringLiteral("insert into patient(sampleNo, date) values('40', '2026-02-28')"),
        QStringLiteral("insert into patient(sampleNo, date) values('99', NULL)")},
        {QStringLiteral("insert into profile values('qc_sample_prefix', 'Q-')")}));
    Profile::instance();
}

void tst_SampleNumbers::nextSampleNo_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("expected");
    QTest::newRow("compared as integers") << QDate(2026, 3, 1) << 11;
    QTest::newRow("leading digits count") << QDate(2026, 3, 2) << 13;
    QTest::newRow("no leading digits") << QDate(2026, 3, 3) << 1;
    QTest::newRow("other days ignored") << QDate(2026, 3, 4) << 1;
    QTest::newRow("null date") << QDate() << 1;
}

void tst_SampleNumbers::nextSampleNo()
{
    QFETCH(QDate, date);
    QFETCH(int, expected);
    WarningCapture capture;
    QCOMPARE(::nextSampleNo(date), expected);
    QCOMPARE(::nextSampleNo(date), expected);   // nothing is reserved
    QCOMPARE(capture.warnings(), QStringList());
}

void tst_SampleNumbers::withoutPatientTable()
{
    QSqlQuery query(Profile::instance().dataDatabase());
    QVERIFY(query.exec(QStringLiteral("alter table patient rename to patient_old")));
    QStringList warnings;
    int result = 0;
    {
        WarningCapture capture;
        result = ::nextSampleNo(QDate(2026, 3, 1));
        warnings = capture.warnings();
    }
    QVERIFY(query.exec(QStringLiteral("alter table patient_old rename to patient")));
    QCOMPARE(result, 1);
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[0].startsWith(QStringLiteral(".\\kaglobal(145): ")), qPrintable(warnings[0]));
    QVERIFY(warnings[0].contains(QStringLiteral("no such table")));
    QVERIFY2(warnings[1].startsWith(QStringLiteral(".\\kaglobal(148): ")), qPrintable(warnings[1]));
}

void tst_SampleNumbers::samplePrefix()
{
    QCOMPARE(::samplePrefix(ka::StatimSample), QStringLiteral("S"));
    QCOMPARE(::samplePrefix(ka::QcSample), QStringLiteral("Q-"));
    QCOMPARE(::samplePrefix(ka::OrdinarySample), QString());
    QCOMPARE(::samplePrefix(ka::SampleType(3)), QString());
    Profile::instance().set_statim_sample_prefix(QStringLiteral("E"), false);
    QCOMPARE(::samplePrefix(ka::StatimSample), QStringLiteral("E"));
}

QTEST_GUILESS_MAIN(tst_SampleNumbers)
#include "tst_samplenumbers.moc"
