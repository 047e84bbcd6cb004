#include "dbupdaterun.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QElapsedTimer>
#include <QtCore/QRandomGenerator>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <csignal>

using namespace dbupdaterun;

// dbupdate killed at random moments while it upgrades a large data.db, then
// simply run again: the result must equal a clean upgrade of the same files.
class tst_DbUpdateInterrupted : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAndRerun();

private:
    void makeInstallation(const QString &dir);
    QByteArray fingerprint(const QString &dir);

    QTemporaryDir m_template;   // the old installation, made once
    QByteArray m_clean;         // fingerprint of its clean upgrade
    qint64 m_cleanMs = 0;
};

void tst_DbUpdateInterrupted::makeInstallation(const QString &dir)
{
    for (const char *name : {"profile.db", "data.db", "qc.db"})
        QVERIFY(QFile::copy(m_template.filePath(QLatin1String(name)), dir + QLatin1Char('/') + QLatin1String(name)));
}

// Every table's declaration and rows, order-independent; rewritten reagent
// rows get new ids on every run, so their ids are left out.
QByteArray tst_DbUpdateInterrupted::fingerprint(const QString &dir)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const char *name : {"profile.db", "data.db", "qc.db"}) {
        QString text = dump(dir + QLatin1Char('/') + QLatin1String(name));
        text.replace(QRegularExpression(QStringLiteral("INSERT INTO reagent VALUES\\(\\d+,")),
                     QStringLiteral("INSERT INTO reagent VALUES(#,"));
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.sort();
        hash.addData(lines.join(QLatin1Char('\n')).toUtf8());
    }
    return hash.result().toHex();
}

void tst_DbUpdateInterrupted::initTestCase()
{
    QVERIFY(m_template.isValid());
    loadExample(m_template.filePath(QStringLiteral("profile.db")), QStringLiteral("profile-v0.sql"));
    loadExample(m_template.filePath(QStringLiteral("data.db")), QStringLiteral("data-v0.sql"));
    loadExample(m_template.filePath(QStringLiteral("qc.db")), QStringLiteral("qc.sql"));
    // 50,000 more rows in each lookup table and 50,000 more patients.
    QByteArray more = "begin;\n";
    for (const char *table : {"department", "sex", "treatmentRoom", "diagnosis", "doctor", "operator"})
        more += QByteArray("with recursive n(i) as (select 100 union all select i + 1 from n where i < 50099) "
                           "insert into ") + table + "(id, abbr, name) select i, 'Abbr' || i, 'Name ' || i from n;\n";
    more += "with recursive n(i) as (select 100 union all select i + 1 from n where i < 50099) "
            "insert into patient(id, sampleNo, date, name) select i, i % 300, date('2026-01-01', '+' || (i % 365) || ' days'), 'P' || i from n;\n"
            "commit;\n";
    sqlite3(m_template.filePath(QStringLiteral("data.db")), more);

    QTemporaryDir clean;
    makeInstallation(clean.path());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run(clean.path()).exitCode, 0);
    m_cleanMs = timer.elapsed();
    m_clean = fingerprint(clean.path());
    qInfo("clean upgrade: %lld ms", m_cleanMs);
}

void tst_DbUpdateInterrupted::killedAndRerun()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int killedMidway = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        QTemporaryDir dir;
        makeInstallation(dir.path());

        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(DBUPDATE_PATH), QStringList());
        QVERIFY(process.waitForStarted());
        const int delay = int(random.bounded(quint32(m_cleanMs * 9 / 10 + 1)));
        if (!process.waitForFinished(delay)) {
            ::kill(pid_t(process.processId()), SIGKILL);   // the process this test started
            ++killedMidway;
        }
        process.waitForFinished();

        const Result rerun = run(dir.path());
        QCOMPARE(rerun.exitCode, 0);
        QCOMPARE(fingerprint(dir.path()), m_clean);
    }
    qInfo("%d of 8 runs killed before they ended", killedMidway);
}

QTEST_GUILESS_MAIN(tst_DbUpdateInterrupted)
#include "tst_dbupdateinterrupted.moc"
