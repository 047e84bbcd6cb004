#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <unistd.h>

using namespace testsupport;
using namespace dbupdaterun;

// dbupdate against the faults real installations meet, made for real: a
// file-size limit and a full disk while writing, a damaged page, a file or
// folder this user may not write, and users the new rules cannot keep. Each
// time the run fails with one line that says what to do, and the file is
// byte for byte as before, with no journal left that it would need.
class tst_DbUpdateFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writeErrorLeavesFileAsItWas_data();
    void writeErrorLeavesFileAsItWas();
    void readerOnALargeFileIsWaitedForOnce();
    void damagedFileIsNotUpgraded_data();
    void damagedFileIsNotUpgraded();
    void usersDifferingOnlyInCaseAreNamed();
    void permissions_data();
    void permissions();

private:
    QString file(const QString &name) const { return m_run + QLatin1Char('/') + name; }
    void copyInstallation(const QString &from, const QString &to) const;
    static void verifyNoHotJournal(const QString &file);

    QTemporaryDir m_large;   // the example installation, data.db with 100,000 more rows per lookup table (more than SQLite's page cache holds, so the upgrade spills changed pages to the file before it commits)
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_run;
    QString m_mount;         // a tmpfs mounted by the test, unmounted in cleanup()
};

void tst_DbUpdateFaults::initTestCase()
{
    QVERIFY(m_large.isValid());
    loadInstallation(m_large.path());
    QByteArray more = "begin;\n";
    for (const char *table : {"department", "sex", "treatmentRoom", "diagnosis", "doctor", "operator"})
        more += QByteArray("with recursive n(i) as (select 100 union all select i + 1 from n where i < 100099) "
                           "insert into ") + table + "(id, abbr, name) select i, 'Abbr' || i, "
                "'A longer name for entry number ' || i from n;\n";
    more += "commit;\n";
    sqlite3(m_large.filePath(QStringLiteral("data.db")), more);
}

void tst_DbUpdateFaults::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_run = m_root->filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(m_run));
}

void tst_DbUpdateFaults::cleanup()
{
    if (!m_mount.isEmpty()) {
        QProcess::execute(QStringLiteral("umount"), {m_mount});
        m_mount.clear();
    }
    m_root.reset();
}

void tst_DbUpdateFaults::copyInstallation(const QString &from, const QString &to) const
{
    for (const char *name : {"profile.db", "data.db", "qc.db"})
        QVERIFY(QFile::copy(from + QLatin1Char('/') + QLatin1String(name), to + QLatin1Char('/') + QLatin1String(name)));
}

// A journal whose header still marks it as needed (SQLite's magic number).
void tst_DbUpdateFaults::verifyNoHotJournal(const QString &file)
{
    QFile journal(file + QLatin1String("-journal"));
    if (!journal.open(QIODevice::ReadOnly))
        return;
    QVERIFY2(journal.read(8) != QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8),
             "a hot journal is left beside the file");
}

void tst_DbUpdateFaults::writeErrorLeavesFileAsItWas_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("file size limit (ulimit -f, SIGXFSZ ignored)") << false;
    QTest::newRow("disk full (a small tmpfs)") << true;
}

void tst_DbUpdateFaults::writeErrorLeavesFileAsItWas()
{
    QFETCH(bool, diskFull);
    const qint64 dataSize = QFileInfo(m_large.filePath(QStringLiteral("data.db"))).size();
    QStringList wrapper;
    if (diskFull) {
        // Room for the three files, the profile upgrade and a little more:
        // the data upgrade's rebuilds need far more.
        qint64 total = 0;
        for (const char *name : {"profile.db", "data.db", "qc.db"})
            total += QFileInfo(m_large.filePath(QLatin1String(name))).size();
        const qint64 kib = total / 1024 + 256;
        if (geteuid() != 0
            || QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), m_run}) != 0)
            QSKIP("cannot mount a tmpfs here (needs root)");
        m_mount = m_run;
    } else {
        const qint64 limitKib = dataSize / 1024 + 64;
        wrapper = QStringList{QStringLiteral("bash"), QStringLiteral("-c"),
                              QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(limitKib)};
    }
    copyInstallation(m_large.path(), m_run);
    const QByteArray before = sha256(file(QStringLiteral("data.db")));

    const Result result = run(m_run, {}, wrapper);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QLatin1String(
                 "data.db: the upgrade failed; the file was left as it was. writing data.db failed (")),
             qPrintable(result.warnings));
    QVERIFY2(result.warnings.contains(QLatin1String("free space on the disk (or raise the limit)")),
             qPrintable(result.warnings));
    // The file alone is as before: no journal is needed to restore it.
    verifyNoHotJournal(file(QStringLiteral("data.db")));
    QCOMPARE(sha256(file(QStringLiteral("data.db"))), before);
    QCOMPARE(selectValue(file(QStringLiteral("data.db")), QStringLiteral("pragma integrity_check")).toString(),
             QStringLiteral("ok"));
}

// Another program reads the large data.db for the whole run. Every cache
// spill of the upgrade's transaction would wait the busy time-out for it
// again; the upgrade must wait once, then give up with the "in use" line.
void tst_DbUpdateFaults::readerOnALargeFileIsWaitedForOnce()
{
    copyInstallation(m_large.path(), m_run);
    const QString data = file(QStringLiteral("data.db"));
    const QByteArray before = sha256(data);
    Result result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(data);
        QVERIFY(db.open());
        QSqlQuery read(db);
        QVERIFY(read.exec(QStringLiteral("BEGIN")));
        QVERIFY(read.exec(QStringLiteral("select count(*) from department")) && read.next());
        result = run(m_run);
        read.finish();
        QVERIFY(read.exec(QStringLiteral("ROLLBACK")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QLatin1String("data.db is in use by another program")), qPrintable(result.warnings));
    QVERIFY2(result.milliseconds < 10000, qPrintable(QString::number(result.milliseconds)));
    QCOMPARE(sha256(data), before);
}

void tst_DbUpdateFaults::damagedFileIsNotUpgraded_data()
{
    QTest::addColumn<QString>("table");       // whose first page is overwritten
    QTest::addColumn<bool>("upgradedFirst");  // a data.db at version 2
    QTest::newRow("a patient page of a version-0 file") << "patient" << false;
    // The version then cannot be read: it must not count as version 0.
    QTest::newRow("the version page of an upgraded file") << "version" << true;
}

void tst_DbUpdateFaults::damagedFileIsNotUpgraded()
{
    QFETCH(QString, table);
    QFETCH(bool, upgradedFirst);
    loadInstallation(m_run);
    if (upgradedFirst)
        QCOMPARE(run(m_run).exitCode, 0);
    const QString data = file(QStringLiteral("data.db"));
    const int page = selectValue(data, QStringLiteral("select rootpage from sqlite_master where name = '%1'").arg(table)).toInt();
    const int pageSize = selectValue(data, QStringLiteral("pragma page_size")).toInt();
    QVERIFY(page > 1);
    {
        QFile f(data);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(qint64(page - 1) * pageSize));
        f.write(QByteArray(8, '\xff'));   // the page header: no valid page type
    }
    const QByteArray before = sha256(data);

    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QLatin1String("data.db: the upgrade failed; the file was left as it was. "
                                                    "data.db is damaged")),
             qPrintable(result.warnings));
    QVERIFY2(result.warnings.contains(QLatin1String("restore it from a backup")), qPrintable(result.warnings));
    QCOMPARE(sha256(data), before);
    verifyNoHotJournal(data);
}

void tst_DbUpdateFaults::usersDifferingOnlyInCaseAreNamed()
{
    loadInstallation(m_run);
    QVERIFY(execSql(file(QStringLiteral("profile.db")),
                    {QStringLiteral("insert into user(id, name, level) values(8, 'ADMIN', 1)")}));
    const QByteArray profile = sha256(file(QStringLiteral("profile.db")));
    const QByteArray data = sha256(file(QStringLiteral("data.db")));

    const Result result = run(m_run);
    QCOMPARE(result.exitCode, 1);
    const QStringList lines = result.warnings.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QLatin1String("profile.db: the upgrade failed; the file was left as it was. "
                                                    "the users \"admin\", \"ADMIN\" differ only in letter case")),
             qPrintable(lines.first()));
    QVERIFY(lines.first().contains(QLatin1String("rename all but one")));
    QCOMPARE(sha256(file(QStringLiteral("profile.db"))), profile);
    QCOMPARE(sha256(file(QStringLiteral("data.db"))), data);   // not touched
}

void tst_DbUpdateFaults::permissions_data()
{
    QTest::addColumn<bool>("filesWritable");
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QString>("message");
    QTest::newRow("read-only file") << false << true << "profile.db is read-only for this user";
    QTest::newRow("folder without write permission")
        << true << false << "the folder %1 does not let this user create the journal profile.db-journal";
}

// Run as the unprivileged user nobody: root would ignore the file modes.
void tst_DbUpdateFaults::permissions()
{
    QFETCH(bool, filesWritable);
    QFETCH(bool, folderWritable);
    QFETCH(QString, message);
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to run dbupdate as another user");

    copyInstallation(m_large.path(), m_run);
    QFile::setPermissions(m_root->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                              | QFile::ReadOther | QFile::ExeOther);
    const auto chown = [](const QString &path) {
        return QProcess::execute(QStringLiteral("chown"), {QStringLiteral("nobody:nogroup"), path}) == 0;
    };
    for (const char *name : {"profile.db", "data.db", "qc.db"}) {
        const QString f = file(QLatin1String(name));
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        if (filesWritable)
            QVERIFY(chown(f));
    }
    QFile::setPermissions(m_run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                     | QFile::ExeOther);
    if (folderWritable)
        QVERIFY(chown(m_run));
    const QByteArray before = sha256(file(QStringLiteral("profile.db")));

    const Result result = run(m_run, {}, {QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                                          QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.warnings.contains(QStringLiteral("profile.db: the upgrade failed; the file was left as it was. ")
                                      + QString(message).replace(QLatin1String("%1"), QFileInfo(m_run).absoluteFilePath())),
             qPrintable(result.warnings));
    QCOMPARE(sha256(file(QStringLiteral("profile.db"))), before);
}

QTEST_GUILESS_MAIN(tst_DbUpdateFaults)
#include "tst_dbupdatefaults.moc"
