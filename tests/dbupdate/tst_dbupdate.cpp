#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <memory>

using namespace testsupport;
using namespace dbupdaterun;

// The built dbupdate run in a scratch directory on the example installation
// (examples/*.sql) and variations of it; the files are inspected afterwards.
class tst_DbUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void seededSettings_data();
    void seededSettings();
    void settingsRemovedAndKept();
    void reagents();
    void users();
    void profileCurveTrigger();
    void lookupTables();
    void patientTrigger();
    void otherDataKept();
    void warningLinesNameTheSource();

    void secondRunKeepsContent();
    void versionOneDataGetsOnlyTheTrigger();
    void dataAboveVersionTwoGoesBackToTwo();
    void missingFilesAreCreated();
    void unopenableFile_data();
    void unopenableFile();
    void failedCopyRollsBack_data();
    void failedCopyRollsBack();
    void lockedFileIsLeftAlone_data();
    void lockedFileIsLeftAlone();
    void translations_data();
    void translations();

private:
    QString file(const QString &name) const { return m_run + QLatin1Char('/') + name; }
    void loadExamples();

    QTemporaryDir m_upgradedDir;   // the example installation, upgraded once
    QString m_upgraded;
    Result m_upgradeResult;
    std::unique_ptr<QTemporaryDir> m_root;   // per test: root/run is where dbupdate runs
    QString m_run;
};

void tst_DbUpdate::loadExamples()
{
    loadInstallation(m_run);
}

void tst_DbUpdate::initTestCase()
{
    QVERIFY(m_upgradedDir.isValid());
    m_run = m_upgraded = m_upgradedDir.path();
    loadExamples();
    m_upgradeResult = run(m_upgraded);
    QCOMPARE(m_upgradeResult.exitCode, 0);
}

void tst_DbUpdate::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_run = m_root->filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(m_run));
}

static QString upgradedFile(const QString &dir, const char *name)
{
    return dir + QLatin1Char('/') + QLatin1String(name);
}

void tst_DbUpdate::seededSettings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");   // as quote() writes it

    // Reset on every run (user changes undone)...
    QTest::newRow("FIB/report/dilution") << "FIB/report/dilution" << "text" << "'1/10'";
    QTest::newRow("dilution") << "dilution" << "text"
        << "'梯度1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4'";
    QTest::newRow("patient/sampleType") << "patient/sampleType" << "text" << "'样本类型'";
    QTest::newRow("DD/mix/times") << "DD/mix/times" << "integer" << "3";
    QTest::newRow("DD/max_clot_time") << "DD/max_clot_time" << "integer" << "240";
    QTest::newRow("specialValue/DD/P") << "specialValue/DD/P" << "real" << "0.1";
    QTest::newRow("DD/priority") << "DD/priority" << "integer" << "10";
    QTest::newRow("reagent/initVolume") << "reagent/initVolume" << "text" << "'初始量[ul]'";
    QTest::newRow("reagent/alarmLimit") << "reagent/alarmLimit" << "text" << "'报警限[ul]'";
    QTest::newRow("reagent/interruptLimit") << "reagent/interruptLimit" << "text" << "'中断限[ul]'";
    QTest::newRow("patient/hospitalNo") << "patient/hospitalNo" << "text" << "'住院号'";
    // ... added when missing, a user's value kept.
    QTest::newRow("schedule/sample kept") << "schedule/sample" << "integer" << "8";
    QTest::newRow("schedule/test/PT kept") << "schedule/test/PT" << "integer" << "31";
    QTest::newRow("schedule/reagent") << "schedule/reagent" << "integer" << "6";
    QTest::newRow("schedule/mix") << "schedule/mix" << "integer" << "2";
    QTest::newRow("schedule/dilution") << "schedule/dilution" << "integer" << "12";
    QTest::newRow("schedule/dilution/1/10") << "schedule/dilution/1/10" << "integer" << "12";
    QTest::newRow("schedule/dilution/1/20") << "schedule/dilution/1/20" << "integer" << "17";
    QTest::newRow("schedule/dilution/1/40") << "schedule/dilution/1/40" << "integer" << "22";
    QTest::newRow("schedule/clean") << "schedule/clean" << "integer" << "10";
    QTest::newRow("schedule/test/FIB/table") << "schedule/test/FIB/table" << "text" << "'0.2,25;0.1,35;0.05,45;0.025,65'";
    QTest::newRow("schedule/test/APTT") << "schedule/test/APTT" << "integer" << "50";
    QTest::newRow("schedule/test/TT") << "schedule/test/TT" << "integer" << "35";
    for (const char *test : {"II", "V", "VII", "X", "VIII", "IX", "XI", "XII"}) {
        const QString name = QStringLiteral("schedule/test/") + QLatin1String(test);
        QTest::newRow(qPrintable(name)) << name << "integer" << "30";
    }
    QTest::newRow("analyst/FIB/odPercent") << "analyst/FIB/odPercent" << "real" << "0.5";
    QTest::newRow("analyst/FIB/odThreshold") << "analyst/FIB/odThreshold" << "text"
        << "'4,0.01; 6,0.005; 10,0.003; 20,0.0015; 40,0.001'";
    // Settings the upgrade does not know stay as they were.
    QTest::newRow("statim_sample_prefix") << "statim_sample_prefix" << "text" << "'E'";
}

void tst_DbUpdate::seededSettings()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, value);
    const auto rows = selectRows(upgradedFile(m_upgraded, "profile.db"),
        QStringLiteral("select typeof(value), quote(value) from profile where name = '%1'").arg(name));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), type);
    QCOMPARE(rows[0][1].toString(), value);
}

void tst_DbUpdate::settingsRemovedAndKept()
{
    const QString profile = upgradedFile(m_upgraded, "profile.db");
    QCOMPARE(selectValue(profile, QStringLiteral("select count(*) from profile where name like '%/disable'")).toInt(), 0);
    QCOMPARE(selectRows(profile, QStringLiteral("select * from version")), (QList<QVariantList>{{1}}));
    QCOMPARE(selectRows(upgradedFile(m_upgraded, "data.db"), QStringLiteral("select * from version")),
             (QList<QVariantList>{{2}}));
    QCOMPARE(selectValue(profile, QStringLiteral("select funX from assayCalibration where name = 'DD'")).toString(),
             QStringLiteral("Log"));
    QCOMPARE(selectValue(profile, QStringLiteral("select funX from assayCalibration where name = 'FIB'")).toString(),
             QStringLiteral("Log"));
    QCOMPARE(selectValue(profile, QStringLiteral("select precision from assayItem where name = 'OD'")).toInt(), 0);
    QCOMPARE(selectValue(profile, QStringLiteral("select precision from assayItem where name = 'PT'")).toInt(), 1);
}

void tst_DbUpdate::reagents()
{
    const auto rows = selectRows(upgradedFile(m_upgraded, "profile.db"),
        QStringLiteral("select type, name, initVolume, alarmLimit, vialType, lot from reagent order by id"));
    const QList<QVariantList> expected{
        {1, QStringLiteral("PT reagent"), 4000, 300, 1, QStringLiteral("P-77")},
        {1, QStringLiteral("APTT reagent"), 4000, 300, 1, QStringLiteral("A-12")},
        {0, QStringLiteral("Latex"), 2000, 200, 3, QString()},
        {2, QStringLiteral("Saline"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(PT)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(APTT)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(FIB)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(TT)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(DD)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(EX)"), 6500, 200, 6, QString()},
        {2, QStringLiteral("Buffer(EN)"), 6500, 200, 6, QString()}};
    QCOMPARE(rows.size(), expected.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].mid(0, 5), expected[i].mid(0, 5));
        QCOMPARE(rows[i][5].toString(), expected[i][5].toString());
    }
}

void tst_DbUpdate::users()
{
    const QString profile = upgradedFile(m_upgraded, "profile.db");
    QCOMPARE(selectValue(profile, QStringLiteral("select sql from sqlite_master where name = 'user'")).toString(),
             QStringLiteral("CREATE TABLE user(\n\tid integer primary key,\n\tname text unique COLLATE NOCASE,\n"
                            "\tpassword text,\n\tlevel integer default 0,\n\thide integer default 0 )"));
    QCOMPARE(selectRows(profile, QStringLiteral("select id, name, quote(password), level, hide from user order by id")),
             (QList<QVariantList>{{1, QStringLiteral("admin"), QStringLiteral("'e10adc3949ba59abbe56e057f20f883e'"), 9, 0},
                                  {2, QStringLiteral("李医生"), QStringLiteral("NULL"), 1, 0},
                                  {5, QStringLiteral("Nurse Wang"), QStringLiteral("'c4ca4238a0b923820dcc509a6f75849b'"), 0, 0}}));
    // 'Admin' and 'admin' are the same user name now.
    QTemporaryDir copy;
    QVERIFY(QFile::copy(profile, copy.filePath(QStringLiteral("p.db"))));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("UNIQUE constraint failed: user.name")));
    QVERIFY(!execSql(copy.filePath(QStringLiteral("p.db")), {QStringLiteral("insert into user(name) values('Admin')")}));
}

void tst_DbUpdate::profileCurveTrigger()
{
    QTemporaryDir copy;
    const QString profile = copy.filePath(QStringLiteral("profile.db"));
    QVERIFY(QFile::copy(upgradedFile(m_upgraded, "profile.db"), profile));
    QVERIFY(execSql(profile, {QStringLiteral("insert into curveInfo values(1, 'slope', 0.5)"),
                              QStringLiteral("insert into curveInfo values(1, 'slope', 0.7)"),   // replaces
                              QStringLiteral("insert into curveInfo values(2, 'slope', 0.9)")}));
    QCOMPARE(selectValue(profile, QStringLiteral("select count(*) from curveInfo")).toInt(), 2);
    QVERIFY(execSql(profile, {QStringLiteral("delete from curve where id = 1")}));
    for (const char *table : {"curvePoint", "curveVariable", "curveReagent", "curveInfo"}) {
        QCOMPARE(selectValue(profile, QStringLiteral("select count(*) from %1 where curveId = 1").arg(QLatin1String(table))).toInt(), 0);
        QVERIFY(selectValue(profile, QStringLiteral("select count(*) from %1 where curveId = 2").arg(QLatin1String(table))).toInt() > 0);
    }
}

void tst_DbUpdate::lookupTables()
{
    const QString data = upgradedFile(m_upgraded, "data.db");
    const QList<QList<QVariantList>> rows{
        {{1, QStringLiteral("ICU"), QStringLiteral("重症监护室")}, {2, QStringLiteral("Card"), QStringLiteral("心内科")},
         {7, QStringLiteral("er"), QStringLiteral("急诊科")}},
        {{1, QStringLiteral("M"), QStringLiteral("男")}, {2, QStringLiteral("F"), QStringLiteral("女")}},
        {{1, QStringLiteral("R1"), QStringLiteral("Room 1")}, {3, QStringLiteral("r3"), QStringLiteral("Room 3")}},
        {{1, QStringLiteral("DVT"), QStringLiteral("深静脉血栓")}, {2, QStringLiteral("Af"), QStringLiteral("房颤")}},
        {{1, QStringLiteral("zhang"), QStringLiteral("张医生")}, {4, QStringLiteral("LI"), QStringLiteral("李医生")}},
        {{1, QStringLiteral("op1"), QStringLiteral("Operator One")}}};
    const QStringList tables{QStringLiteral("department"), QStringLiteral("sex"), QStringLiteral("treatmentRoom"),
                             QStringLiteral("diagnosis"), QStringLiteral("doctor"), QStringLiteral("operator")};
    for (int i = 0; i < tables.size(); ++i) {
        const QString &t = tables[i];
        QCOMPARE(selectValue(data, QStringLiteral("select sql from sqlite_master where name = '%1'").arg(t)).toString(),
                 QStringLiteral("CREATE TABLE %1(\n\tid integer primary key,\n\tabbr text COLLATE NOCASE,\n\tname text)").arg(t));
        QCOMPARE(selectValue(data, QStringLiteral("select tbl_name from sqlite_master where type = 'index' and name = '%1_index'").arg(t)).toString(), t);
        QCOMPARE(selectRows(data, QStringLiteral("select id, abbr, name from %1 order by id").arg(t)), rows[i]);
    }
    QCOMPARE(selectValue(data, QStringLiteral("select count(*) from sqlite_master where name like '%_bak'")).toInt(), 0);
    QCOMPARE(selectValue(data, QStringLiteral("select name from department where abbr = 'icu'")).toString(),
             QStringLiteral("重症监护室"));
    // The view over department still works and now matches without case.
    QCOMPARE(selectRows(data, QStringLiteral("select patientId, department from patientDepartment order by patientId")),
             (QList<QVariantList>{{1, QStringLiteral("重症监护室")}, {2, QStringLiteral("心内科")},
                                  {3, QVariant(QMetaType::fromType<QString>())}, {4, QStringLiteral("急诊科")}}));
}

void tst_DbUpdate::patientTrigger()
{
    QTemporaryDir copy;
    const QString data = copy.filePath(QStringLiteral("data.db"));
    QVERIFY(QFile::copy(upgradedFile(m_upgraded, "data.db"), data));
    QVERIFY(execSql(data, {
        QStringLiteral("insert into detail(patientId, item, info) values(1, 'PT', 'channel 1')"),
        QStringLiteral("insert into detail(patientId, item, info) values(1, 'PT', 'channel 2')"),   // replaces
        QStringLiteral("insert into detail(patientId, item, info) values(2, 'FIB', 'channel 3')"),
        // another patient row with the same sample number and day
        QStringLiteral("insert into patient(id, sampleNo, date) values(9, '1', '2026-03-01')"),
        QStringLiteral("insert into exam values(9, '1', '2026-03-02', 'TT')")}));
    QCOMPARE(selectValue(data, QStringLiteral("select info from detail where patientId = 1")).toString(),
             QStringLiteral("channel 2"));
    QVERIFY(execSql(data, {QStringLiteral("delete from patient where id = 9")}));
    // exam rows go by sample number and day, whichever patient row owns them
    QCOMPARE(selectValue(data, QStringLiteral("select group_concat(id) from (select id from exam order by id)")).toString(), QStringLiteral("3,4,9"));
    QVERIFY(execSql(data, {QStringLiteral("delete from patient where id = 1")}));
    for (const char *table : {"result", "patientExtra", "curve", "detail"})
        QCOMPARE(selectValue(data, QStringLiteral("select count(*) from %1 where patientId = 1").arg(QLatin1String(table))).toInt(), 0);
    QCOMPARE(selectValue(data, QStringLiteral("select count(*) from detail where patientId = 2")).toInt(), 1);
    QCOMPARE(selectValue(data, QStringLiteral("select count(*) from curve where patientId = 2")).toInt(), 1);
}

void tst_DbUpdate::otherDataKept()
{
    const QString data = upgradedFile(m_upgraded, "data.db");
    QCOMPARE(selectRows(data, QStringLiteral("select id, sampleNo, date, name, age, department, sampleType, hospitalNo from patient where id = 1")),
             (QList<QVariantList>{{1, QStringLiteral("1"), QStringLiteral("2026-03-01"), QStringLiteral("张三"), 45,
                                   QStringLiteral("ICU"), QVariant(QMetaType::fromType<QString>()),
                                   QVariant(QMetaType::fromType<QString>())}}));
    QCOMPARE(selectValue(data, QStringLiteral("select hex(curve) from curve where patientId = 1")).toString(),
             QStringLiteral("000000000000000100000000000000003FE0000000000000000000023FF00000000000004000000000000000"));
    QTemporaryDir original;
    loadExample(original.filePath(QStringLiteral("qc.db")), QStringLiteral("qc.sql"));
    QCOMPARE(dump(upgradedFile(m_upgraded, "qc.db")), dump(original.filePath(QStringLiteral("qc.db"))));
}

void tst_DbUpdate::warningLinesNameTheSource()
{
    // On the example installation only the defaults the user already has
    // fail, each as one line naming the statement.
    const QStringList lines = m_upgradeResult.warnings.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression line(QStringLiteral(
        "^dbupdate/updateprofile\\.cpp \\( \\d+ \\):  UNIQUE constraint failed: profile\\.name .* : "
        "\\[ insert or abort into profile values\\('schedule/(sample|test/PT)',\\t\\t(6|27)\\) \\]$"));
    for (const QString &text : lines)
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
}

// A second run resets the same settings and reagents again: the content is
// the same, though rewritten rows move to the end of their tables and the
// rewritten reagents get new ids.
void tst_DbUpdate::secondRunKeepsContent()
{
    const auto content = [](QString dump) {
        dump.replace(QRegularExpression(QStringLiteral("INSERT INTO reagent VALUES\\(\\d+,")),
                     QStringLiteral("INSERT INTO reagent VALUES(#,"));
        QStringList lines = dump.split(QLatin1Char('\n'));
        lines.sort();
        return lines;
    };
    loadExamples();
    QCOMPARE(run(m_run).exitCode, 0);
    const QStringList files{QStringLiteral("profile.db"), QStringLiteral("data.db"), QStringLiteral("qc.db")};
    QList<QStringList> first;
    for (const QString &f : files)
        first << content(dump(file(f)));
    QCOMPARE(run(m_run).exitCode, 0);
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(content(dump(file(files[i]))), first[i]);
    QCOMPARE(selectRows(file(QStringLiteral("profile.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{1}}));
    QCOMPARE(selectRows(file(QStringLiteral("data.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{2}}));
}

void tst_DbUpdate::versionOneDataGetsOnlyTheTrigger()
{
    loadExample(file(QStringLiteral("data.db")), QStringLiteral("data-v0.sql"));
    // What a version-1 file looks like: the version 1 tables, the old trigger.
    QVERIFY(execSql(file(QStringLiteral("data.db")), {
        QStringLiteral("alter table patient add sampleType text"),
        QStringLiteral("alter table patient add hospitalNo text"),
        QStringLiteral("create table detail(id integer primary key, patientId integer, item text, info text)"),
        QStringLiteral("create table version(version integer)"),
        QStringLiteral("insert into version values(1)")}));
    const QString before = dump(file(QStringLiteral("data.db")));
    QCOMPARE(run(m_run).exitCode, 0);
    QString after = dump(file(QStringLiteral("data.db")));
    QVERIFY(after.contains(QStringLiteral("delete from detail where old.id = detail.patientId;")));
    // Apart from the trigger, the indexes of every run and the version,
    // nothing changed.
    const auto strip = [](QString text) {
        text.remove(QRegularExpression(QStringLiteral("CREATE TRIGGER on_delete_patient.*?end;\n"),
                                       QRegularExpression::DotMatchesEverythingOption));
        text.remove(QRegularExpression(QStringLiteral("CREATE INDEX \\w+_(patientId|patientId_item|date|sampleNo_date)_index [^\n]*\n")));
        return text.remove(QRegularExpression(QStringLiteral("INSERT INTO version VALUES\\(\\d\\);\n")));
    };
    QCOMPARE(strip(after), strip(before));
    QCOMPARE(selectRows(file(QStringLiteral("data.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{2}}));
}

void tst_DbUpdate::dataAboveVersionTwoGoesBackToTwo()
{
    QVERIFY(execSql(file(QStringLiteral("data.db")), {QStringLiteral("create table version(version integer)"),
                                                      QStringLiteral("insert into version values(5)"),
                                                      QStringLiteral("create table patient(id integer primary key)")}));
    QCOMPARE(run(m_run).exitCode, 0);
    QCOMPARE(selectRows(file(QStringLiteral("data.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{2}}));
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("select group_concat(name) from sqlite_master")).toString(),
             QStringLiteral("version,patient"));
}

void tst_DbUpdate::missingFilesAreCreated()
{
    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.warnings.contains(QStringLiteral("no such table: profile")));
    QCOMPARE(selectRows(file(QStringLiteral("profile.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{1}}));
    QCOMPARE(selectRows(file(QStringLiteral("data.db")), QStringLiteral("select * from version")),
             (QList<QVariantList>{{2}}));
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("select count(*) from sqlite_master where name in ('department', 'detail', 'operator_index')")).toInt(), 3);
    QVERIFY(QFile::exists(file(QStringLiteral("qc.db"))));
}

void tst_DbUpdate::unopenableFile_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("not a database") << false;
    QTest::newRow("a directory") << true;
}

void tst_DbUpdate::unopenableFile()
{
    QFETCH(bool, directory);
    loadExamples();
    QVERIFY(QFile::remove(file(QStringLiteral("data.db"))));
    if (directory) {
        QVERIFY(QDir().mkdir(file(QStringLiteral("data.db"))));
    } else {
        QFile garbage(file(QStringLiteral("data.db")));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }
    const QString qcBefore = dump(file(QStringLiteral("qc.db")));
    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QStringLiteral("Can't open data.db: ")), qPrintable(result.warnings));
    QCOMPARE(selectValue(file(QStringLiteral("profile.db")), QStringLiteral("select version from version")).toInt(), 1);
    QCOMPARE(dump(file(QStringLiteral("qc.db"))), qcBefore);
}

void tst_DbUpdate::failedCopyRollsBack_data()
{
    QTest::addColumn<QString>("failing");       // the file whose copy fails
    QTest::addColumn<QString>("statement");     // makes it fail
    QTest::newRow("user") << "profile.db" << "alter table user add column email text";
    QTest::newRow("department") << "data.db" << "alter table department add column floor integer";
    QTest::newRow("operator, the last table") << "data.db" << "alter table operator add column shift text";
}

void tst_DbUpdate::failedCopyRollsBack()
{
    QFETCH(QString, failing);
    QFETCH(QString, statement);
    loadExamples();
    QVERIFY(execSql(file(failing), {statement}));
    const QStringList files{QStringLiteral("profile.db"), QStringLiteral("data.db"), QStringLiteral("qc.db")};
    QStringList before;
    for (const QString &f : files)
        before << dump(file(f));

    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QStringLiteral("has no column named")), qPrintable(result.warnings));
    QVERIFY(result.warnings.contains(failing + QStringLiteral(": the upgrade failed; the file was left as it was")));
    // The failing file is exactly as before; files after it are untouched.
    const int failed = files.indexOf(failing);
    for (int i = failed; i < files.size(); ++i)
        QCOMPARE(dump(file(files[i])), before[i]);
    if (failed > 0)
        QCOMPARE(selectValue(file(files[0]), QStringLiteral("select version from version")).toInt(), 1);
}

void tst_DbUpdate::lockedFileIsLeftAlone_data()
{
    QTest::addColumn<QString>("hold");   // what the running application holds
    QTest::newRow("a write transaction") << "BEGIN IMMEDIATE";
    // A reader too: the upgrade waits for it once, up front, not at every
    // cache spill and again at COMMIT.
    QTest::newRow("a read transaction") << "BEGIN";
}

void tst_DbUpdate::lockedFileIsLeftAlone()
{
    QFETCH(QString, hold);
    loadExamples();
    const QString before = dump(file(QStringLiteral("data.db")));
    Result result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        db.setDatabaseName(file(QStringLiteral("data.db")));
        QVERIFY(db.open());
        QSqlQuery lock(db);
        QVERIFY(lock.exec(hold));
        QVERIFY(lock.exec(QStringLiteral("select count(*) from patient")) && lock.next());
        result = run(m_run);
        lock.finish();
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QStringLiteral("data.db is in use by another program")), qPrintable(result.warnings));
    QVERIFY2(result.warnings.contains(QStringLiteral("close the workstation application")), qPrintable(result.warnings));
    // One wait of the 5 s busy time-out, not one per step.
    QVERIFY2(result.milliseconds < 10000, qPrintable(QString::number(result.milliseconds)));
    QCOMPARE(dump(file(QStringLiteral("data.db"))), before);
    QCOMPARE(selectValue(file(QStringLiteral("profile.db")), QStringLiteral("select version from version")).toInt(), 1);
}

void tst_DbUpdate::translations_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("sampleType");
    QTest::addColumn<QString>("dilutionStart");   // the first two series names

    QTest::newRow("none") << QStringList() << "样本类型" << "梯度1;1/5;1/10;1/20;1/30,梯度2;";
    QTest::newRow("nothing loadable") << QStringList{QStringLiteral("nothing")} << "样本类型" << "梯度1;1/5;1/10;1/20;1/30,梯度2;";
    // "both" is the English file in "." and the French one in "..".
    QTest::newRow("found in . before ..") << QStringList{QStringLiteral("both")} << "Sample type"
                                          << "Gradient 1;1/5;1/10;1/20;1/30,Gradient 2;";
    QTest::newRow("found in ..") << QStringList{QStringLiteral("parent_only")} << "Type d'échantillon"
                                 << "Gamme 1;1/5;1/10;1/20;1/30,Gamme 2;";
    // The translator installed last is asked first; texts it lacks come
    // from the other one.
    QTest::newRow("two, apostrophe last") << QStringList{QStringLiteral("dbupdate_en"), QStringLiteral("dbupdate_apostrophe")}
                                          << "Patient's sample" << "Series 'A';1/5;1/10;1/20;1/30,Gradient 2;";
    QTest::newRow("two, apostrophe first") << QStringList{QStringLiteral("dbupdate_apostrophe.qm"), QStringLiteral("dbupdate_en")}
                                           << "Sample type" << "Gradient 1;1/5;1/10;1/20;1/30,Gradient 2;";
}

void tst_DbUpdate::translations()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, sampleType);
    QFETCH(QString, dilutionStart);

    loadExample(file(QStringLiteral("profile.db")), QStringLiteral("profile-v0.sql"));
    const QString qm = QStringLiteral(QM_DIR "/");
    const QString parent = m_root->path() + QLatin1Char('/');
    QVERIFY(QFile::copy(qm + QStringLiteral("dbupdate_en.qm"), file(QStringLiteral("both.qm"))));
    QVERIFY(QFile::copy(qm + QStringLiteral("dbupdate_fr.qm"), parent + QStringLiteral("both.qm")));
    QVERIFY(QFile::copy(qm + QStringLiteral("dbupdate_fr.qm"), parent + QStringLiteral("parent_only.qm")));
    QVERIFY(QFile::copy(qm + QStringLiteral("dbupdate_en.qm"), file(QStringLiteral("dbupdate_en.qm"))));
    QVERIFY(QFile::copy(qm + QStringLiteral("dbupdate_apostrophe.qm"), file(QStringLiteral("dbupdate_apostrophe.qm"))));

    const Result result = run(m_run, arguments);
    QCOMPARE(result.exitCode, 0);
    const QString profile = file(QStringLiteral("profile.db"));
    QCOMPARE(selectValue(profile, QStringLiteral("select value from profile where name = 'patient/sampleType'")).toString(),
             sampleType);
    const QString dilution = selectValue(profile, QStringLiteral("select value from profile where name = 'dilution'")).toString();
    QVERIFY2(dilution.startsWith(dilutionStart), qPrintable(dilution));
}

QTEST_GUILESS_MAIN(tst_DbUpdate)
#include "tst_dbupdate.moc"
