#include "dbupdaterun.h"
#include "testsupport.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

using namespace testsupport;
using namespace dbupdaterun;

// The indexes the data upgrade creates: every statement Core runs on data.db
// and every delete of the on_delete_patient trigger must find its rows
// through an index, never by reading the whole table, or each of them slows
// down in step with the lab's history.
class tst_DataIndexes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void statementSearchesByIndex_data();
    void statementSearchesByIndex();
    void triggerDeletesSearchByIndex();
    void versionTwoFileGetsTheIndexes();
    void missingTableSkipsOnlyItsIndex();

private:
    QStringList planOf(const QString &statement) const;
    static QStringList ownIndexes(const QString &file);

    QTemporaryDir m_dir;
    QString m_data;
};

static const QStringList expectedIndexes{
    QStringLiteral("curve_patientId_item_index"), QStringLiteral("exam_sampleNo_date_index"),
    QStringLiteral("patientExtra_patientId_index"), QStringLiteral("patient_date_index"),
    QStringLiteral("result_patientId_index")};

void tst_DataIndexes::initTestCase()
{
    QVERIFY(m_dir.isValid());
    loadInstallation(m_dir.path());
    QCOMPARE(run(m_dir.path()).exitCode, 0);
    m_data = m_dir.filePath(QStringLiteral("data.db"));
    QCOMPARE(ownIndexes(m_data), expectedIndexes);
}

// The detail column of EXPLAIN QUERY PLAN, one entry per row, with every
// named parameter bound to null (the plan does not depend on the values).
QStringList tst_DataIndexes::planOf(const QString &statement) const
{
    QStringList plan;
    const QString name = QStringLiteral("plan");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_data);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            qWarning("cannot open %s", qPrintable(m_data));
        QSqlQuery query(db);
        query.prepare(QStringLiteral("explain query plan ") + statement);
        if (!query.exec())
            qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        while (query.next())
            plan << query.value(3).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return plan;
}

// Which of the upgrade's own indexes the file holds, by name.
QStringList tst_DataIndexes::ownIndexes(const QString &file)
{
    QStringList names;
    const auto rows = selectRows(file, QStringLiteral(
        "select name from sqlite_master where type = 'index' and name in ('%1') order by name")
        .arg(expectedIndexes.join(QLatin1String("', '"))));
    for (const QVariantList &row : rows)
        names << row.first().toString();
    return names;
}

// A plan that finds rows only through an index (or the rowid), with no
// table scan and no sort in a temporary B-tree.
static void verifyIndexedPlan(const QStringList &plan, bool searches)
{
    const QString text = plan.join(QLatin1String(" | "));
    for (const QString &step : plan) {
        QVERIFY2(!step.startsWith(QLatin1String("SCAN")), qPrintable(text));
        QVERIFY2(!step.contains(QLatin1String("TEMP B-TREE")), qPrintable(text));
    }
    if (searches) {
        QVERIFY2(!plan.isEmpty(), "no plan");
        for (const QString &step : plan)
            QVERIFY2(step.startsWith(QLatin1String("SEARCH"))
                         && (step.contains(QLatin1String("USING INDEX"))
                             || step.contains(QLatin1String("USING COVERING INDEX"))
                             || step.contains(QLatin1String("INTEGER PRIMARY KEY"))),
                     qPrintable(text));
    }
}

void tst_DataIndexes::statementSearchesByIndex_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("searches");

    // The statements Core runs on data.db, as ClotCurve and nextSampleNo
    // write them.
    QTest::newRow("curve load")
        << "select curve from curve where patientId=:patientId and item=:item order by rowid desc limit 1"
        << true;
    QTest::newRow("curve erase") << "delete from curve where patientId=:patientId and item=:item" << true;
    QTest::newRow("curve save")
        << "insert into curve (patientId, item, curve) values(:patientId, :item, :curve)" << false;
    QTest::newRow("day's sample numbers")
        << "select max(cast(sampleNo as integer)) from patient where date=:date" << true;
    QTest::newRow("patient delete") << "delete from patient where id = :id" << true;
}

void tst_DataIndexes::statementSearchesByIndex()
{
    QFETCH(QString, statement);
    QFETCH(bool, searches);
    verifyIndexedPlan(planOf(statement), searches);
}

// Each delete of the trigger as the file holds it, run standalone with the
// deleted row's columns as parameters.
void tst_DataIndexes::triggerDeletesSearchByIndex()
{
    const QString trigger = selectValue(m_data, QStringLiteral(
        "select sql from sqlite_master where type = 'trigger' and name = 'on_delete_patient'")).toString();
    const QRegularExpression deletes(QStringLiteral("delete from [^;]+"));
    QStringList statements;
    for (auto it = deletes.globalMatch(trigger); it.hasNext();)
        statements << it.next().captured().replace(QRegularExpression(QStringLiteral("\\bold\\.(\\w+)")),
                                                   QStringLiteral(":\\1"));
    QCOMPARE(statements.size(), 5);
    for (const QString &statement : statements) {
        verifyIndexedPlan(planOf(statement), true);
        if (QTest::currentTestFailed())
            qWarning("in: %s", qPrintable(statement));
    }
}

void tst_DataIndexes::versionTwoFileGetsTheIndexes()
{
    QTemporaryDir dir;
    loadInstallation(dir.path());
    QCOMPARE(run(dir.path()).exitCode, 0);
    const QString data = dir.filePath(QStringLiteral("data.db"));
    QStringList drops;
    for (const QString &index : expectedIndexes)
        drops << QStringLiteral("drop index ") + index;
    QVERIFY(execSql(data, drops));
    QVERIFY(ownIndexes(data).isEmpty());

    const Result result = run(dir.path());
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(!result.warnings.contains(QLatin1String("updatedata.cpp")), qPrintable(result.warnings));
    QCOMPARE(ownIndexes(data), expectedIndexes);
    QCOMPARE(selectRows(data, QStringLiteral("select * from version")), (QList<QVariantList>{{2}}));
}

void tst_DataIndexes::missingTableSkipsOnlyItsIndex()
{
    QTemporaryDir dir;
    loadInstallation(dir.path());
    const QString data = dir.filePath(QStringLiteral("data.db"));
    QVERIFY(execSql(data, {QStringLiteral("drop table patientExtra")}));

    const Result result = run(dir.path());
    QCOMPARE(result.exitCode, 0);
    QStringList dataWarnings;
    for (const QString &line : result.warnings.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.contains(QLatin1String("updatedata.cpp")))
            dataWarnings << line;
    }
    QCOMPARE(dataWarnings.size(), 1);
    QVERIFY2(dataWarnings.first().contains(QLatin1String("no such table: main.patientExtra")),
             qPrintable(dataWarnings.first()));
    QStringList others = expectedIndexes;
    others.removeOne(QStringLiteral("patientExtra_patientId_index"));
    QCOMPARE(ownIndexes(data), others);
    QCOMPARE(selectRows(data, QStringLiteral("select * from version")), (QList<QVariantList>{{2}}));
}

QTEST_GUILESS_MAIN(tst_DataIndexes)
#include "tst_dataindexes.moc"
