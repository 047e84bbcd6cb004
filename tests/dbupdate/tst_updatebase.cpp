#include "updatebase.h"

#include "testsupport.h"

#include <QtSql/QSqlField>
#include <QtTest/QTest>

#include <memory>

using namespace testsupport;

namespace {

// An upgrade whose steps the test runs by hand; commit() ends its transaction.
class Upgrade : public UpdateBase
{
public:
    explicit Upgrade(const QString &file) : UpdateBase(file) {}
    bool update() override { return finish(true); }
    bool rebuild(const QString &table, const QString &create, const QStringList &indexes)
    {
        return rebuildTable(table, create, indexes, __FILE__, __LINE__);
    }
    bool rollback() { return finish(false); }
};

const QString db = QStringLiteral("t.db");

} // namespace

class tst_UpdateBase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void version_data();
    void version();
    void failedStatementIsOneWarningLine();
    void copyRowsKeepsValuesAndTypes();
    void copyRowsEdgeCases();
    void copyRowsWithValuesAndLeaveOut();
    void rebuildKeepsReferencesAndIndex();
    void rollbackLeavesFileAsBefore();

private:
    std::unique_ptr<WorkingDirectory> m_dir;
};

void tst_UpdateBase::init()
{
    m_dir = std::make_unique<WorkingDirectory>();
}

void tst_UpdateBase::cleanup()
{
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    m_dir.reset();
}

void tst_UpdateBase::version_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<int>("expected");
    QTest::newRow("no version table") << QStringList{QStringLiteral("create table a(x)")} << 0;
    QTest::newRow("empty version table") << QStringList{QStringLiteral("create table version(version integer)")} << 0;
    QTest::newRow("text") << QStringList{QStringLiteral("create table version(version)"),
                                         QStringLiteral("insert into version values('abc')")} << 0;
    QTest::newRow("one") << QStringList{QStringLiteral("create table version(version integer)"),
                                        QStringLiteral("insert into version values(1)")} << 1;
}

void tst_UpdateBase::version()
{
    QFETCH(QStringList, setup);
    QFETCH(int, expected);
    QVERIFY(execSql(db, setup));
    Upgrade upgrade(db);
    QCOMPARE(upgrade.version(), expected);
    QVERIFY(upgrade.update());
}

void tst_UpdateBase::failedStatementIsOneWarningLine()
{
    QVERIFY(execSql(db, {QStringLiteral("create table counter(n integer)"),
                         QStringLiteral("insert into counter values(0)")}));
    Upgrade upgrade(db);
    QStringList warnings;
    {
        WarningCapture capture;
        QVERIFY(upgrade.exec(QStringLiteral("update counter set n = n + 1 where nosuchcolumn = 1"), "some/file.cpp", 42));
        QVERIFY(upgrade.exec(QStringLiteral("update counter set n = n + 1"), "some/file.cpp", 43));
        warnings = capture.warnings();
    }
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(warnings[0], QStringLiteral("some/file.cpp ( 42 ):  no such column: nosuchcolumn Unable to execute statement : "
                                         "[ update counter set n = n + 1 where nosuchcolumn = 1 ]"));
    QVERIFY(upgrade.update());
    QCOMPARE(selectValue(db, QStringLiteral("select n from counter")).toInt(), 1);   // ran once
}

void tst_UpdateBase::copyRowsKeepsValuesAndTypes()
{
    QVERIFY(execSql(db, {
        QStringLiteral("create table src(id integer primary key, i integer, r real, t text, b blob, n)"),
        QStringLiteral("insert into src values(3, 7, 0.1, 'it''s', x'00ff27', NULL)"),
        QStringLiteral("insert into src values(9, 'text in integer', 1e300, '', x'', 5)"),
        QStringLiteral("insert into src values(12, -9223372036854775808, -0.0, 'x', NULL, 2.5)"),
        QStringLiteral("create table dst(id integer primary key, i integer, r real, t text, b blob, n)")}));
    const QString probe = QStringLiteral(
        "select id, typeof(i), quote(i), typeof(r), quote(r), typeof(t), quote(t), typeof(b), quote(b), "
        "typeof(n), quote(n) from %1 order by id");
    const auto before = selectRows(db, probe.arg(QStringLiteral("src")));

    for (bool rowByRow : {false, true}) {
        QVERIFY(execSql(db, {QStringLiteral("delete from dst")}));
        Upgrade upgrade(db);
        // A leave-out list, even of a name no row has, takes the row-by-row path.
        if (rowByRow)
            QVERIFY(upgrade.copyRows(QStringLiteral("dst"), QStringLiteral("src"), QSqlRecord(),
                                     {QStringLiteral("nothing")}));
        else
            QVERIFY(upgrade.copyRows(QStringLiteral("dst"), QStringLiteral("src")));
        QVERIFY(upgrade.update());
        QCOMPARE(selectRows(db, probe.arg(QStringLiteral("dst"))), before);
    }
}

void tst_UpdateBase::copyRowsEdgeCases()
{
    QVERIFY(execSql(db, {QStringLiteral("create table empty(a, b)"),
                         QStringLiteral("create table target(a, b)"),
                         QStringLiteral("create table wide(a, b, c)"),
                         QStringLiteral("insert into wide values(1, 2, 3)")}));
    Upgrade upgrade(db);
    QVERIFY(upgrade.copyRows(QStringLiteral("target"), QStringLiteral("empty")));

    QStringList warnings;
    {
        WarningCapture capture;
        // A missing source is logged and counts as nothing to copy.
        QVERIFY(upgrade.copyRows(QStringLiteral("target"), QStringLiteral("missing")));
        // A column the target lacks fails the copy.
        QVERIFY(!upgrade.copyRows(QStringLiteral("target"), QStringLiteral("wide")));
        // ... unless it is left out.
        QVERIFY(upgrade.copyRows(QStringLiteral("target"), QStringLiteral("wide"), QSqlRecord(),
                                 {QStringLiteral("c")}));
        warnings = capture.warnings();
    }
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[0].contains(QStringLiteral("no such table: missing")), qPrintable(warnings[0]));
    QVERIFY2(warnings[1].contains(QStringLiteral("has no column named c")), qPrintable(warnings[1]));
    QVERIFY(upgrade.update());
    QCOMPARE(selectRows(db, QStringLiteral("select a, b from target")), (QList<QVariantList>{{1, 2}}));
}

void tst_UpdateBase::copyRowsWithValuesAndLeaveOut()
{
    QVERIFY(execSql(db, {QStringLiteral("create table src(id integer primary key, a, secret)"),
                         QStringLiteral("insert into src values(1, 'one', 's1'), (2, 'two', 's2')"),
                         QStringLiteral("create table dst(id integer primary key, a, added)")}));
    QSqlRecord values;
    QSqlField a(QStringLiteral("a"), QMetaType(QMetaType::QString));
    a.setValue(QStringLiteral("overridden"));
    QSqlField added(QStringLiteral("added"), QMetaType(QMetaType::Int));
    added.setValue(7);
    values.append(a);
    values.append(added);
    Upgrade upgrade(db);
    QVERIFY(upgrade.copyRows(QStringLiteral("dst"), QStringLiteral("src"), values, {QStringLiteral("secret")}));
    QVERIFY(upgrade.update());
    QCOMPARE(selectRows(db, QStringLiteral("select id, a, added, typeof(added) from dst order by id")),
             (QList<QVariantList>{{1, QStringLiteral("overridden"), 7, QStringLiteral("integer")},
                                  {2, QStringLiteral("overridden"), 7, QStringLiteral("integer")}}));
}

void tst_UpdateBase::rebuildKeepsReferencesAndIndex()
{
    QVERIFY(execSql(db, {
        QStringLiteral("create table lookup(id integer primary key, abbr text, name text)"),
        QStringLiteral("create index lookup_index on lookup(abbr)"),
        QStringLiteral("insert into lookup values(4, 'ICU', 'Intensive care')"),
        QStringLiteral("create table entry(id integer primary key, abbr text)"),
        QStringLiteral("insert into entry values(1, 'icu')"),
        QStringLiteral("create view named as select entry.id, lookup.name from entry join lookup on lookup.abbr = entry.abbr"),
        QStringLiteral("create table log(n)"),
        QStringLiteral("create trigger entry_added after insert on entry begin "
                       "insert into log select count(*) from lookup; end")}));
    {
        Upgrade upgrade(db);
        QVERIFY(upgrade.rebuild(QStringLiteral("lookup"),
                                QStringLiteral("create table lookup(id integer primary key, abbr text COLLATE NOCASE, name text)"),
                                {QStringLiteral("create index if not exists lookup_index on lookup (abbr)")}));
        QVERIFY(upgrade.update());
    }
    // The view and the trigger still name the table, which is now NOCASE.
    QCOMPARE(selectRows(db, QStringLiteral("select id, name from named")),
             (QList<QVariantList>{{1, QStringLiteral("Intensive care")}}));
    QVERIFY(execSql(db, {QStringLiteral("insert into entry values(2, 'x')")}));
    QCOMPARE(selectValue(db, QStringLiteral("select n from log")).toInt(), 1);
    // The rebuilt table has its index, and no backup is left.
    QCOMPARE(selectValue(db, QStringLiteral("select tbl_name from sqlite_master where name = 'lookup_index'")).toString(),
             QStringLiteral("lookup"));
    QCOMPARE(selectValue(db, QStringLiteral("select count(*) from sqlite_master where name like '%_bak'")).toInt(), 0);
    QVERIFY(selectValue(db, QStringLiteral("explain query plan select * from lookup where abbr = 'icu'"))
                .isValid());
    const auto plan = selectRows(db, QStringLiteral("explain query plan select * from lookup where abbr = 'icu'"));
    QVERIFY(plan.last().last().toString().contains(QStringLiteral("lookup_index")));
}

void tst_UpdateBase::rollbackLeavesFileAsBefore()
{
    QVERIFY(execSql(db, {QStringLiteral("create table a(x)"), QStringLiteral("insert into a values(1)")}));
    {
        Upgrade upgrade(db);
        upgrade.renameTable(QStringLiteral("a"), QStringLiteral("a_bak"));
        upgrade.exec(QStringLiteral("create table a(x, y)"), __FILE__, __LINE__);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("the upgrade failed")));
        QVERIFY(!upgrade.rollback());
    }
    QCOMPARE(selectValue(db, QStringLiteral("select group_concat(name) from sqlite_master")).toString(),
             QStringLiteral("a"));
    QCOMPARE(selectValue(db, QStringLiteral("select x from a")).toInt(), 1);
}

QTEST_GUILESS_MAIN(tst_UpdateBase)
#include "tst_updatebase.moc"
