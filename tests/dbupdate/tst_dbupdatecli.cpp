#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <memory>

using namespace testsupport;
using namespace dbupdaterun;

// What service staff use beyond a plain run: the options, the report on
// standard output, the dry run (--check) and the backup (--backup).
class tst_DbUpdateCli : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void commandLine_data();
    void commandLine();
    void directoryOption();
    void report();
    void checkChangesNothing();
    void checkOfAFailingUpgrade();
    void directoryWithoutInstallation();
    void backup_data();
    void backup();
    void backupIncludesWalContent();
    void failedBackupStopsTheUpgrade();

private:
    QString file(const QString &name) const { return m_run + QLatin1Char('/') + name; }
    void loadExamples();
    QList<QByteArray> sums() const;

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_run;
};

const QStringList files{QStringLiteral("profile.db"), QStringLiteral("data.db"), QStringLiteral("qc.db")};

void tst_DbUpdateCli::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_run = m_root->filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(m_run));
}

void tst_DbUpdateCli::loadExamples()
{
    loadInstallation(m_run);
}

QList<QByteArray> tst_DbUpdateCli::sums() const
{
    QList<QByteArray> result;
    for (const QString &f : files)
        result << sha256(file(f));
    return result;
}

void tst_DbUpdateCli::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");     // what standard output starts with
    QTest::addColumn<QString>("warnings");   // what standard error starts with

    const QString usage = QStringLiteral("Usage: dbupdate [OPTION]... [TRANSLATION]...\n");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << usage << QString();
    QTest::newRow("-h with translations") << QStringList{QStringLiteral("x.qm"), QStringLiteral("-h")} << 0 << usage
                                          << QString();
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("dbupdate " CORE_VERSION "\n") << QString();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--force")} << 2 << QString()
                                    << QStringLiteral("dbupdate: unknown option --force\n") + usage;
    QTest::newRow("-C without a directory") << QStringList{QStringLiteral("-C")} << 2 << QString()
                                            << QStringLiteral("dbupdate: -C needs a directory\n") + usage;
    QTest::newRow("--backup= without a directory") << QStringList{QStringLiteral("--backup=")} << 2 << QString()
                                                   << QStringLiteral("dbupdate: --backup= needs a directory\n");
    QTest::newRow("-C to a missing directory") << QStringList{QStringLiteral("-C"), QStringLiteral("no/such/dir")}
                                               << 2 << QString()
                                               << QStringLiteral("dbupdate: cannot change to the directory no/such/dir");
}

void tst_DbUpdateCli::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, warnings);

    const Result result = run(m_run, arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.output.startsWith(output) && (!output.isEmpty() || result.output.isEmpty()),
             qPrintable(result.output));
    QVERIFY2(result.warnings.startsWith(warnings) && (!warnings.isEmpty() || result.warnings.isEmpty()),
             qPrintable(result.warnings));
    QCOMPARE(QDir(m_run).entryList(QDir::Files), QStringList());   // nothing created
}

// -C runs the upgrade exactly as if started in the directory: the
// translations are found in "." relative to it.
void tst_DbUpdateCli::directoryOption()
{
    loadExamples();
    QVERIFY(QFile::copy(QStringLiteral(QM_DIR "/dbupdate_en.qm"), file(QStringLiteral("dbupdate_en.qm"))));
    const Result result = run(m_root->path(), {QStringLiteral("-C"), QStringLiteral("run"), QStringLiteral("dbupdate_en.qm")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("select version from version")).toInt(), 2);
    QVERIFY(selectValue(file(QStringLiteral("profile.db")), QStringLiteral("select value from profile where name = 'dilution'"))
                .toString().startsWith(QLatin1String("Gradient 1;")));
    QVERIFY(!QFileInfo::exists(m_root->filePath(QStringLiteral("profile.db"))));
}

void tst_DbUpdateCli::report()
{
    loadExamples();
    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = result.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const char *expected : {
             "profile.db: version 0 -> 1",
             "  rebuilt table user (3 rows before, 3 after)",
             "  created: table curveInfo, table version",
             "  changed: trigger deleteCurve",
             "  reset settings: DD/max_clot_time, FIB/report/dilution, dilution",
             "  kept settings the user had: schedule/sample, schedule/test/PT",
             "  removed settings: DD/disable, II/disable, VIII/disable",
             "  rewrote reagents: Latex, Saline, Buffer(PT), Buffer(APTT), Buffer(FIB), Buffer(TT), Buffer(DD), Buffer(EX), Buffer(EN)",
             "data.db: version 0 -> 2",
             "  rebuilt table department (3 rows before, 3 after)",
             "  changed: index department_index, table patient, trigger on_delete_patient",
             "qc.db: version 0",
             "  nothing to upgrade"})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(lines.count(QStringLiteral("  upgraded")), 2);
    QVERIFY(lines.indexOf(QRegularExpression(QStringLiteral("^  added settings: DD/mix/times, DD/priority, .*schedule/reagent.*"))) >= 0);

    // --quiet drops the report; the warnings stay exactly as they are.
    QDir(m_run).removeRecursively();
    QVERIFY(QDir().mkpath(m_run));
    loadExamples();
    const Result quiet = run(m_run, {QStringLiteral("--quiet")});
    QCOMPARE(quiet.exitCode, 0);
    QCOMPARE(quiet.output, QString());
    QCOMPARE(quiet.warnings, result.warnings);
}

// The dry run runs every step and keeps none: the files are byte for byte
// as before, no journal is left, and the report is the real run's in the
// conditional.
void tst_DbUpdateCli::checkChangesNothing()
{
    loadExamples();
    const QList<QByteArray> before = sums();
    const Result check = run(m_run, {QStringLiteral("--check")});
    QCOMPARE(check.exitCode, 0);
    QCOMPARE(sums(), before);
    // With --backup too: it names the copies it would make, and makes none.
    const Result checkBackup = run(m_run, {QStringLiteral("--check"), QStringLiteral("--backup")});
    QCOMPARE(checkBackup.exitCode, 0);
    QCOMPARE(checkBackup.output.count(QLatin1String("  would back up to ")), 2);
    QCOMPARE(sums(), before);
    QCOMPARE(QDir(m_run).entryList(QDir::Files), (QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db"),
                                                              QStringLiteral("qc.db")}));

    const Result real = run(m_run);
    QCOMPARE(real.exitCode, 0);
    QCOMPARE(real.warnings, check.warnings);
    QString conditional = check.output;
    const std::pair<const char *, const char *> verbs[] = {
        {"would be upgraded", "upgraded"}, {"would rebuild", "rebuilt"}, {"would create", "created"},
        {"would change", "changed"}, {"would reset", "reset"}, {"would add", "added"}, {"would keep", "kept"},
        {"would remove", "removed"}, {"would rewrite", "rewrote"}};
    for (const auto &[would, did] : verbs)
        conditional.replace(QLatin1String(would), QLatin1String(did));
    QCOMPARE(conditional, real.output);
}

void tst_DbUpdateCli::checkOfAFailingUpgrade()
{
    loadExamples();
    QVERIFY(execSql(file(QStringLiteral("data.db")), {QStringLiteral("alter table sex add column code text")}));
    const QList<QByteArray> before = sums();
    const Result check = run(m_run, {QStringLiteral("--check")});
    QCOMPARE(check.exitCode, 1);
    QVERIFY(check.warnings.contains(QLatin1String("data.db: the upgrade failed; the file was left as it was")));
    QVERIFY(check.output.contains(QLatin1String("would fail")));
    QCOMPARE(sums(), before);
}

void tst_DbUpdateCli::directoryWithoutInstallation()
{
    const Result check = run(m_run, {QStringLiteral("--check")});
    QCOMPARE(check.exitCode, 0);
    QCOMPARE(check.output.count(QLatin1String("This directory holds no installation.")), 3);
    QCOMPARE(QDir(m_run).entryList(QDir::Files), QStringList());

    // The real run creates the files, as it always has, and says so.
    const Result real = run(m_run);
    QCOMPARE(real.exitCode, 0);
    QCOMPARE(real.output.count(QLatin1String("did not exist and was created empty: this directory holds no installation")), 3);

    // Files with tables, but not an installation's.
    QDir(m_run).removeRecursively();
    QVERIFY(QDir().mkpath(m_run));
    for (const QString &f : files)
        QVERIFY(execSql(file(f), {QStringLiteral("create table notes(text)")}));
    const Result other = run(m_run);
    QCOMPARE(other.exitCode, 0);
    QVERIFY2(other.output.contains(QLatin1String("  has no profile table: this directory holds no installation")),
             qPrintable(other.output));
    QVERIFY(other.output.contains(QLatin1String("  has no patient table: this directory holds no installation")));
}

void tst_DbUpdateCli::backup_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("directory");   // relative to the run directory
    QTest::newRow("beside the files") << "--backup" << ".";
    QTest::newRow("in a directory of its own") << "--backup=../copies" << "../copies";
}

// Each file that is changed is copied first, as the upgrade found it.
void tst_DbUpdateCli::backup()
{
    QFETCH(QString, argument);
    QFETCH(QString, directory);
    loadExamples();
    QStringList before;
    for (const QString &f : files)
        before << dump(file(f));

    const Result result = run(m_run, {argument});
    QCOMPARE(result.exitCode, 0);
    const QDir copies(QDir(m_run).filePath(directory));
    const QStringList made = copies.entryList({QStringLiteral("*.bak")}, QDir::Files, QDir::Name);
    QCOMPARE(made.size(), 2);   // qc.db is only read
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(QRegularExpression(QStringLiteral("^%1\\.\\d{8}-\\d{6}\\.bak$").arg(QRegularExpression::escape(files[1 - i])))
                     .match(made[i]).hasMatch(),
                 qPrintable(made[i]));
        QCOMPARE(dump(copies.filePath(made[i])), before[1 - i]);
        QVERIFY(result.output.contains(QStringLiteral("  backed up to ") + QFileInfo(copies.filePath(made[i])).absoluteFilePath()));
    }
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("select version from version")).toInt(), 2);
}

// A data.db in WAL mode whose last change is still only in the WAL (another
// connection is open and nothing was checkpointed): the backup holds it.
void tst_DbUpdateCli::backupIncludesWalContent()
{
    loadExamples();
    const QString writer = QStringLiteral("writer");
    Result result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), writer);
        db.setDatabaseName(file(QStringLiteral("data.db")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("pragma journal_mode=wal")));
        QVERIFY(query.exec(QStringLiteral("pragma wal_autocheckpoint=0")));
        QVERIFY(query.exec(QStringLiteral("insert into patient(id, sampleNo, date) values(77, '77', '2026-04-01')")));
        QVERIFY(QFileInfo(file(QStringLiteral("data.db-wal"))).size() > 0);
        result = run(m_run, {QStringLiteral("--backup")});
    }
    QSqlDatabase::removeDatabase(writer);
    QCOMPARE(result.exitCode, 0);
    const QStringList made = QDir(m_run).entryList({QStringLiteral("data.db.*.bak")}, QDir::Files);
    QCOMPARE(made.size(), 1);
    QCOMPARE(selectValue(file(made.first()), QStringLiteral("select sampleNo from patient where id = 77")).toString(),
             QStringLiteral("77"));
    QCOMPARE(selectValue(file(made.first()), QStringLiteral("select count(*) from sqlite_master where name = 'version'")).toInt(), 0);
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("select version from version")).toInt(), 2);
}

void tst_DbUpdateCli::failedBackupStopsTheUpgrade()
{
    loadExamples();
    QFile blocker(m_root->filePath(QStringLiteral("not-a-directory")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QList<QByteArray> before = sums();
    const Result result = run(m_run, {QStringLiteral("--backup=../not-a-directory")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QLatin1String("profile.db: the upgrade failed; the file was left as it was. "
                                                    "the backup of profile.db to ")),
             qPrintable(result.warnings));
    QCOMPARE(sums(), before);
}

QTEST_GUILESS_MAIN(tst_DbUpdateCli)
#include "tst_dbupdatecli.moc"
