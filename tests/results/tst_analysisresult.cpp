#include <analysisresult.h>

#include <QtTest/QTest>

#include <cmath>
#include <thread>
#include <vector>

class tst_AnalysisResult : public QObject
{
    Q_OBJECT

private slots:
    void nullResult();
    void classification_data();
    void classification();
    void errorCodeConstructor();
    void errorsAndTexts();
    void copiesShareUntilWritten();
    void flags();
    void moveLeavesNullResult();
    void copiesAcrossThreads();
};

void tst_AnalysisResult::nullResult()
{
    const AnalysisResult r;
    QVERIFY(r.isNull());
    QVERIFY(!r.isValid());
    QCOMPARE(r.value(), 0.0);
    QCOMPARE(r.od(), 0.0);
    QCOMPARE(r.flags(), 0);
    QCOMPARE(r.ch(), 0);
    QCOMPARE(r.id(), 0);
    QCOMPARE(r.error(), AnalysisResult::NullResult);
    QVERIFY(!r.toVariant().isValid());
    QVERIFY(r.curve().isEmpty());
    QCOMPARE(sizeof(AnalysisResult), sizeof(void *));
}

void tst_AnalysisResult::classification_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("hasVariant");

    QTest::newRow("12.5") << 12.5 << int(AnalysisResult::NoError) << true;
    QTest::newRow("0.0") << 0.0 << int(AnalysisResult::NullResult) << false;
    QTest::newRow("-0.0") << -0.0 << int(AnalysisResult::NullResult) << false;
    QTest::newRow("999.9") << 999.9 << int(AnalysisResult::NotClotted) << true;
    QTest::newRow("999.9 + ulp") << std::nextafter(999.9, 1000.0) << int(AnalysisResult::NoError) << true;
    QTest::newRow("NaN") << std::nan("") << int(AnalysisResult::NoError) << true;
}

void tst_AnalysisResult::classification()
{
    QFETCH(double, value);
    QFETCH(int, error);
    QFETCH(bool, hasVariant);

    const AnalysisResult r(value);
    QCOMPARE(int(r.error()), error);
    QCOMPARE(r.toVariant().isValid(), hasVariant);
    if (hasVariant && value == value)
        QCOMPARE(r.toVariant().toDouble(), value);
    QVERIFY(!r.isCopyOf(AnalysisResult()));   // a record of its own
    QCOMPARE(double(r) == value, value == value);
}

void tst_AnalysisResult::errorCodeConstructor()
{
    const AnalysisResult notClotted(AnalysisResult::NotClotted);
    QCOMPARE(notClotted.value(), 0.0);
    QCOMPARE(notClotted.toVariant(), QVariant(0.0));
    QVERIFY(!AnalysisResult(AnalysisResult::InvalidValue).toVariant().isValid());
}

void tst_AnalysisResult::errorsAndTexts()
{
    AnalysisResult r(3.2);
    r.setError(AnalysisResult::InvalidValue);
    QCOMPARE(r.value(), 3.2);
    QVERIFY(!r.isValid());
    r.setValue(3.2);
    QVERIFY(r.isValid());

    r.setErrorText(QStringLiteral("abc"));
    QCOMPARE(r.error(), AnalysisResult::UnknownError);
    r.setValue(3.2);
    QVERIFY(r.isValid());
    QCOMPARE(r.errorText(), QStringLiteral("abc"));   // the text stays
    r.clearErrorText();
    QVERIFY(r.errorText().isEmpty());
    QVERIFY(r.isValid());
    r.setErrorText(QStringLiteral("abc"));
    r.setError(AnalysisResult::NoStandardCurve);
    QCOMPARE(r.error(), AnalysisResult::NoStandardCurve);
    QVERIFY(r.errorText() != QStringLiteral("abc"));
}

void tst_AnalysisResult::copiesShareUntilWritten()
{
    AnalysisResult a;
    AnalysisResult b;
    QVERIFY(a.isCopyOf(b));
    b.setCh(2);
    QVERIFY(!a.isCopyOf(b));
    QCOMPARE(a.ch(), 0);
    QCOMPARE(AnalysisResult().ch(), 0);   // the shared null was not written

    AnalysisResult c(5.0);
    c.setFlag(ka::DilutionResultFlag, true);
    AnalysisResult d = c;
    QVERIFY(d.isCopyOf(c));
    c.setFlag(ka::LowerReportLimitFlag, true);
    QVERIFY(!d.testFlag(ka::LowerReportLimitFlag));
    QVERIFY(d.testFlag(ka::DilutionResultFlag));
    d = d;
    QCOMPARE(d.value(), 5.0);

    ClotCurve curve;
    curve.append(0.0, 1.0, {1.0});
    c.setCurve(curve);
    const AnalysisResult e = c;
    c.setOD(0.5);
    QCOMPARE(e.curve().size(), 1);
    QCOMPARE(e.od(), 0.0);
}

void tst_AnalysisResult::flags()
{
    AnalysisResult r(1.0);
    r.setFlags(ka::ManualTestFlag | ka::UpperMarkLimitFlag | 0x40000);
    QVERIFY(r.isManualTest());
    QCOMPARE(r.flags() & 0x40000, 0x40000);   // bits without a meaning are kept
    r.setFlags(0);
    QVERIFY(!r.isManualTest());
    r.setFlags(ka::DilutionResultFlag);
    r.setManualTest(true);
    QCOMPARE(r.flags(), int(ka::DilutionResultFlag | ka::ManualTestFlag));
    r.setManualTest(false);
    QCOMPARE(r.flags(), int(ka::DilutionResultFlag));
    // A mask of two bits is true when either is set.
    QVERIFY(r.testFlag(ka::ResultFlag(ka::DilutionResultFlag | ka::LowerReportLimitFlag)));
    r.setFlag(ka::DilutionResultFlag, false);
    QCOMPARE(r.flags(), 0);
}

void tst_AnalysisResult::moveLeavesNullResult()
{
    AnalysisResult a(7.0);
    AnalysisResult b(std::move(a));
    QCOMPARE(b.value(), 7.0);
    QVERIFY(a.isNull());   // still usable
    a = std::move(b);
    QCOMPARE(a.value(), 7.0);
}

// Copies of one result are made, read and dropped on several threads while
// each thread also writes to its own copy. Checked by ThreadSanitizer in CI.
void tst_AnalysisResult::copiesAcrossThreads()
{
    AnalysisResult shared(12.5);
    shared.setFlags(ka::ManualInputFlag);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared, t, &wrong] {
            for (int i = 0; i < 2000; ++i) {
                AnalysisResult copy = shared;
                AnalysisResult mine = copy;
                mine.setCh(t);
                if (copy.value() != 12.5 || copy.ch() != 0 || mine.ch() != t)
                    ++wrong[t];
                AnalysisResult null;   // shared null from every thread
                null.setId(i);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    for (int w : wrong)
        QCOMPARE(w, 0);
    QCOMPARE(shared.ch(), 0);
    QCOMPARE(AnalysisResult().id(), 0);
}

QTEST_APPLESS_MAIN(tst_AnalysisResult)
#include "tst_analysisresult.moc"
