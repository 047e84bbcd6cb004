#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

using namespace testsupport;

// The process's single store, started in an empty working directory of its
// own: the three files are created and each gets the message for a file
// without tables, in the order profile, data, QC.
class tst_ProfileInstance : public QObject
{
    Q_OBJECT

private slots:
    void startsInEmptyDirectory();

private:
    WorkingDirectory m_dir;
};

void tst_ProfileInstance::startsInEmptyDirectory()
{
    QStringList warnings;
    {
        WarningCapture capture;
        Profile &first = Profile::instance();
        QCOMPARE(&Profile::instance(), &first);
        warnings = capture.warnings();
    }
    QCOMPARE(warnings, (QStringList{QStringLiteral("错误的配置文件 profile.db"),
                                    QStringLiteral("错误的数据库文件 data.db"),
                                    QStringLiteral("错误的数据库文件 qc.db")}));
    for (const char *file : {"profile.db", "data.db", "qc.db"})
        QVERIFY(QFile::exists(m_dir.filePath(QLatin1String(file))));

    Profile &p = Profile::instance();
    QCOMPARE(p.database().connectionName(), QStringLiteral("profile"));
    QCOMPARE(p.dataDatabase().databaseName(), QStringLiteral("data.db"));
    QCOMPARE(p.qcDatabase().databaseName(), QStringLiteral("qc.db"));
    QVERIFY(p.database().isOpen());
    // No profile table: lookups give their default, stores live in memory.
    QCOMPARE(p.value(QStringLiteral("a"), 1).toInt(), 1);
    p.setValue(QStringLiteral("a"), 2);
    QCOMPARE(p.value(QStringLiteral("a"), 1).toInt(), 2);
    QVERIFY(!QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection)));
}

QTEST_GUILESS_MAIN(tst_ProfileInstance)
#include "tst_profileinstance.moc"
