#include <analysisresult.h>
#include <kaglobal.h>
#include <profile.h>

#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtTest/QTest>

using namespace testsupport;
using namespace dbupdaterun;

// A working directory made from the installed schema files is one that Core
// accepts without a message and that dbupdate finds current.
class tst_Schema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void coreAcceptsIt();
    void dbupdateFindsItCurrent();

private:
    static QMap<QString, QString> declarations(const QString &file);
    WorkingDirectory m_dir;
};

void tst_Schema::initTestCase()
{
    for (const char *name : {"profile", "data", "qc"}) {
        QFile sql(QStringLiteral(SCHEMA_DIR "/%1.sql").arg(QLatin1String(name)));
        QVERIFY(sql.open(QIODevice::ReadOnly));
        sqlite3(m_dir.filePath(QLatin1String(name) + QStringLiteral(".db")), sql.readAll());
    }
}

void tst_Schema::coreAcceptsIt()
{
    WarningCapture capture;
    Profile &profile = Profile::instance();
    QCOMPARE(capture.warnings(), QStringList());   // no start-up message
    QVERIFY(profile.setValue(QStringLiteral("hospital"), QStringLiteral("City Hospital")));
    ClotCurve curve;
    curve.append(0.0, 0.1, {3200.0, 3100.0});
    curve.save(1, QStringLiteral("PT"));
    ClotCurve loaded;
    loaded.load(1, QStringLiteral("PT"));
    QCOMPARE(loaded.toBuffer(), curve.toBuffer());
    QCOMPARE(nextSampleNo(QDate(2026, 3, 1)), 1);
    QCOMPARE(capture.warnings(), QStringList());
}

QMap<QString, QString> tst_Schema::declarations(const QString &file)
{
    QMap<QString, QString> result;
    for (const QVariantList &row : selectRows(file, QStringLiteral("select type || ' ' || name, sql from sqlite_master")))
        result.insert(row[0].toString(), row[1].toString());
    return result;
}

void tst_Schema::dbupdateFindsItCurrent()
{
    QMap<QString, QString> before[3];
    const QStringList files{QStringLiteral("profile.db"), QStringLiteral("data.db"), QStringLiteral("qc.db")};
    for (int i = 0; i < 3; ++i)
        before[i] = declarations(m_dir.filePath(files[i]));
    const Result result = run(m_dir.path(), {QStringLiteral("-q")});
    QCOMPARE(result.exitCode, 0);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(declarations(m_dir.filePath(files[i])), before[i]);
    QCOMPARE(selectValue(m_dir.filePath(files[0]), QStringLiteral("select version from version")).toInt(), 1);
    QCOMPARE(selectValue(m_dir.filePath(files[1]), QStringLiteral("select version from version")).toInt(), 2);
}

QTEST_GUILESS_MAIN(tst_Schema)
#include "tst_schema.moc"
