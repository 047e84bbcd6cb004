#include <analysisresult.h>
#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

using namespace testsupport;

// Result texts with the marks of Profile::instance(), every setting absent,
// in a working directory of this process's own.
class tst_ResultText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toString_data();
    void toString();
    void prefixAndSuffix();
    void errorText_data();
    void errorText();
    void marksFromSettings();

private:
    WorkingDirectory m_dir;
};

void tst_ResultText::initTestCase()
{
    QVERIFY(createStoreFiles({QStringLiteral("create table curve(patientId integer, item text, curve blob)")}));
    Profile::instance();
}

enum { NoChange = -1 };

void tst_ResultText::toString_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");   // set after the value, unless NoChange
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("format");
    QTest::addColumn<char>("numberFormat");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("expected");

    const int all = ka::ManualInputFlag | ka::DilutionResultFlag | ka::UpperReportLimitFlag
                    | ka::UpperMarkLimitFlag;
    const int with = AnalysisResult::WithMarks;
    const int only = AnalysisResult::NumberOnly;
    QTest::newRow("plain, marks") << 12.3456 << int(NoChange) << 0 << with << 'f' << 1 << "12.3";
    QTest::newRow("plain, number") << 12.3456 << int(NoChange) << 0 << only << 'f' << 2 << "12.35";
    QTest::newRow("all marks") << 12.3456 << int(NoChange) << all << with << 'f' << 1 << "M!> 12.3 ↑";
    QTest::newRow("all marks, number only") << 12.3456 << int(NoChange) << all << only << 'f' << 1 << "12.3";
    QTest::newRow("unknown format is number only") << 12.3456 << int(NoChange) << all << 5 << 'f' << 1 << "12.3";
    QTest::newRow("suffix only") << 12.3456 << int(NoChange) << int(ka::LowerMarkLimitFlag) << with << 'f' << 1 << "12.3 ↓";
    QTest::newRow("manual test has no mark") << 1.5 << int(NoChange) << int(ka::ManualTestFlag) << with << 'f' << 1 << "1.5";
    QTest::newRow("tie to even, 0.125") << 0.125 << int(NoChange) << 0 << only << 'f' << 2 << "0.12";
    QTest::newRow("tie to even, 2.5") << 2.5 << int(NoChange) << 0 << only << 'f' << 0 << "2";
    QTest::newRow("below the tie, 2.675") << 2.675 << int(NoChange) << 0 << only << 'f' << 2 << "2.67";
    QTest::newRow("e") << 12.3456 << int(NoChange) << 0 << only << 'e' << 2 << "1.23e+01";
    QTest::newRow("E") << 12.3456 << int(NoChange) << 0 << only << 'E' << 2 << "1.23E+01";
    QTest::newRow("g") << 0.0000123 << int(NoChange) << 0 << only << 'g' << 3 << "1.23e-05";
    QTest::newRow("G") << 0.0000123 << int(NoChange) << 0 << only << 'G' << 3 << "1.23E-05";
    QTest::newRow("g short") << 123.456 << int(NoChange) << 0 << only << 'g' << 4 << "123.5";
    QTest::newRow("negative") << -2.5 << int(NoChange) << 0 << only << 'f' << 0 << "-2";
    QTest::newRow("not clotted") << 999.9 << int(NoChange) << all << with << 'f' << 1 << "不凝";
    QTest::newRow("not clotted, number only") << 999.9 << int(NoChange) << 0 << only << 'f' << 1 << "不凝";
    QTest::newRow("invalid value") << 3.0 << int(AnalysisResult::InvalidValue) << all << with << 'f' << 1 << "---.-";
    QTest::newRow("invalid value of 999.9") << 999.9 << int(AnalysisResult::InvalidValue) << 0 << with << 'f' << 1 << "不凝";
    QTest::newRow("null") << 0.0 << int(NoChange) << all << with << 'f' << 1 << "";
    QTest::newRow("999.9 set back to no error") << 999.9 << int(AnalysisResult::NoError) << 0 << with << 'f' << 1 << "999.9";
    QTest::newRow("not clotted code") << 3.0 << int(AnalysisResult::NotClotted) << 0 << with << 'f' << 1 << "不凝";
}

void tst_ResultText::toString()
{
    QFETCH(double, value);
    QFETCH(int, error);
    QFETCH(int, flags);
    QFETCH(int, format);
    QFETCH(char, numberFormat);
    QFETCH(int, precision);
    QFETCH(QString, expected);

    AnalysisResult r(value);
    if (error != NoChange)
        r.setError(AnalysisResult::ErrorCode(error));
    r.setFlags(flags);
    QCOMPARE(r.toString(AnalysisResult::Format(format), numberFormat, precision), expected);
}

void tst_ResultText::prefixAndSuffix()
{
    AnalysisResult r(12.3456);
    r.setFlags(ka::ManualInputFlag | ka::DilutionResultFlag | ka::UpperReportLimitFlag
               | ka::UpperMarkLimitFlag);
    QCOMPARE(r.prefix(), QStringLiteral("M!>"));
    QCOMPARE(r.suffix(), QStringLiteral("↑"));
    r.setFlags(ka::LowerReportLimitFlag | ka::UpperReportLimitFlag | ka::LowerMarkLimitFlag
               | ka::UpperMarkLimitFlag);
    QCOMPARE(r.prefix(), QStringLiteral("<"));
    QCOMPARE(r.suffix(), QStringLiteral("↓"));
    r.setError(AnalysisResult::InvalidValue);   // marks ignore the error code
    QCOMPARE(r.prefix(), QStringLiteral("<"));
}

void tst_ResultText::errorText_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("expected");
    QTest::newRow("NoError") << int(AnalysisResult::NoError) << "";
    QTest::newRow("InvalidValue") << int(AnalysisResult::InvalidValue) << "无效的值";
    QTest::newRow("UnknownError") << int(AnalysisResult::UnknownError) << "未知错误";
    QTest::newRow("NullResult") << int(AnalysisResult::NullResult) << "结果为空";
    QTest::newRow("NoStandardCurve") << int(AnalysisResult::NoStandardCurve) << "无标准曲线";
    QTest::newRow("InvalidStandardCurve") << int(AnalysisResult::InvalidStandardCurve) << "标准曲线无效";
    QTest::newRow("StandardCurveSettingError") << int(AnalysisResult::StandardCurveSettingError) << "标准曲线设置错误";
    QTest::newRow("InvalidCalcMethod") << int(AnalysisResult::InvalidCalcMethod) << "无效的计算方法";
    QTest::newRow("MissingCalcParameter") << int(AnalysisResult::MissingCalcParameter) << "计算所需的参数不存在";
    QTest::newRow("NotClotted") << int(AnalysisResult::NotClotted) << "";
    QTest::newRow("out of range") << 42 << "";
}

void tst_ResultText::errorText()
{
    QFETCH(int, error);
    QFETCH(QString, expected);
    QCOMPARE(AnalysisResult(AnalysisResult::ErrorCode(error)).errorText(), expected);
    QCOMPARE(AnalysisResult().errorText(), QStringLiteral("结果为空"));

    AnalysisResult text{AnalysisResult::ErrorCode(error)};
    text.setErrorText(QStringLiteral("abc"));
    QCOMPARE(text.errorText(), QStringLiteral("abc"));
    QCOMPARE(text.toString(), QStringLiteral("---.-"));
}

void tst_ResultText::marksFromSettings()
{
    Profile &p = Profile::instance();
    p.set_result_not_clotted(QStringLiteral("NC"), false);
    p.set_manual_input_flag(QString(), false);   // an empty mark adds nothing
    p.set_upper_mark_limit_flag(QStringLiteral("H"), false);
    AnalysisResult r(4.0);
    r.setFlags(ka::ManualInputFlag | ka::UpperMarkLimitFlag);
    QCOMPARE(r.toString(AnalysisResult::WithMarks, 'f', 1), QStringLiteral("4.0 H"));
    QCOMPARE(AnalysisResult(999.9).toString(), QStringLiteral("NC"));
    // The memory-only changes reached the settings cache, not the file.
    QCOMPARE(p.value(QStringLiteral("result_not_clotted")).toString(), QStringLiteral("NC"));
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select count(*) from profile")).toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_ResultText)
#include "tst_resulttext.moc"
