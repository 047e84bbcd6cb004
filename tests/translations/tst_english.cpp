#include <analysisresult.h>
#include <profile.h>
#include <serial.h>

#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTranslator>
#include <QtTest/QTest>

#include <algorithm>

using namespace testsupport;
using namespace dbupdaterun;

// With the English catalogs loaded as an application loads them, every text
// Core shows or returns is English, and dbupdate writes English names.
class tst_English : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startupMessages();
    void texts_data();
    void texts();
    void dbupdateWritesEnglish();

private:
    QStringList m_startup;
    std::unique_ptr<WorkingDirectory> m_dir;
};

void tst_English::initTestCase()
{
    auto *translator = new QTranslator(QCoreApplication::instance());   // owned by the application
    QVERIFY(translator->load(QStringLiteral("core_en"), QStringLiteral(QM_DIR)));
    QCoreApplication::installTranslator(translator);
    m_dir = std::make_unique<WorkingDirectory>();   // no files: every start-up message
    WarningCapture capture;
    Profile::instance();
    m_startup = capture.warnings();
}

void tst_English::startupMessages()
{
    QCOMPARE(m_startup, (QStringList{QStringLiteral("Wrong settings file profile.db: it holds no tables"),
                                     QStringLiteral("Wrong database file data.db: it holds no tables"),
                                     QStringLiteral("Wrong database file qc.db: it holds no tables")}));
    {
        // data.db that cannot be opened (a directory of that name).
        WorkingDirectory dir;
        QVERIFY(QDir().mkdir(QStringLiteral("data.db")));
        WarningCapture capture;
        Profile other;
        QVERIFY2(capture.warnings().contains(QStringLiteral("Cannot open the database file data.db")),
                 qPrintable(capture.warnings().join(QLatin1Char('|'))));
    }
    WarningCapture capture;
    Profile other(QStringLiteral("no/such/dir/profile.db"));
    const QStringList warnings = capture.warnings();
    QVERIFY2(std::any_of(warnings.cbegin(), warnings.cend(), [](const QString &w) {
                 return w.startsWith(QLatin1String("Cannot load the settings file no/such/dir/profile.db\n"));
             }),
             qPrintable(warnings.join(QLatin1Char('|'))));
}

void tst_English::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto error = [](AnalysisResult::ErrorCode code) { return AnalysisResult(code).errorText(); };
    QTest::newRow("invalid value") << error(AnalysisResult::InvalidValue) << "Invalid value";
    QTest::newRow("unknown error") << error(AnalysisResult::UnknownError) << "Unknown error";
    QTest::newRow("null result") << error(AnalysisResult::NullResult) << "No result";
    QTest::newRow("no standard curve") << error(AnalysisResult::NoStandardCurve) << "No standard curve";
    QTest::newRow("invalid standard curve") << error(AnalysisResult::InvalidStandardCurve) << "Invalid standard curve";
    QTest::newRow("standard curve setting") << error(AnalysisResult::StandardCurveSettingError)
                                            << "The standard curve is set up wrongly";
    QTest::newRow("invalid method") << error(AnalysisResult::InvalidCalcMethod) << "Invalid calculation method";
    QTest::newRow("missing parameter") << error(AnalysisResult::MissingCalcParameter)
                                       << "A parameter the calculation needs is missing";

    AnalysisResult marked(12.5);
    marked.setFlags(ka::ManualInputFlag | ka::DilutionResultFlag | ka::LowerReportLimitFlag | ka::UpperMarkLimitFlag);
    QTest::newRow("marks") << marked.toString() << "M!< 12.50 ↑";
    AnalysisResult low(3.0);
    low.setFlags(ka::UpperReportLimitFlag | ka::LowerMarkLimitFlag);
    QTest::newRow("more marks") << low.toString() << "> 3.00 ↓";
    QTest::newRow("not clotted") << AnalysisResult(AnalysisResult::notClottedValue).toString() << "Not clotted";
    QTest::newRow("cannot be calculated") << AnalysisResult(AnalysisResult::InvalidValue).toString() << "---.-";

    Serial serial;
    QTest::ignoreMessage(QtWarningMsg, "Serial::setSettings: File is not open");
    serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit);
    QTest::newRow("serial error") << serial.errorString() << "The serial port is not open";
}

void tst_English::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void tst_English::dbupdateWritesEnglish()
{
    QTemporaryDir dir;
    loadInstallation(dir.path());
    QVERIFY(QFile::copy(QStringLiteral(QM_DIR "/dbupdate_en.qm"), dir.filePath(QStringLiteral("dbupdate_en.qm"))));
    QCOMPARE(run(dir.path(), {QStringLiteral("-q"), QStringLiteral("dbupdate_en.qm")}).exitCode, 0);
    const QString profile = dir.filePath(QStringLiteral("profile.db"));
    QCOMPARE(selectValue(profile, QStringLiteral("select value from profile where name = 'dilution'")).toString(),
             QStringLiteral("Series 1;1/5;1/10;1/20;1/30,Series 2;1/5;1/10;1/20;1/30;1/40,Series 3;1/1;1/2;1/4;1/8,"
                            "Series 4;1/1;3/4;1/2;1/4"));
    QCOMPARE(selectValue(profile, QStringLiteral("select value from profile where name = 'patient/sampleType'")).toString(),
             QStringLiteral("Sample type"));
}

QTEST_GUILESS_MAIN(tst_English)
#include "tst_english.moc"
