#include <profile.h>

#include "testsupport.h"

#include <QtCore/QProcess>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <memory>

using namespace testsupport;

// Profile objects built directly on fixture files in a fresh working
// directory per test (data.db and qc.db are always opened from there).
class tst_Profile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesKeepTheirSqlType();
    void lookupIsServedFromMemory();
    void absenceIsCachedUntilRemoved();
    void value2_data();
    void value2();
    void storeWithoutWriteThroughStaysInMemory();
    void storeOfInvalidValueDeletesRow();
    void namesWithQuotesAreBound();
    void startupMessages_data();
    void startupMessages();

    void typedGetterKeepsFirstDefault();
    void typedSetterWithoutWriteThrough();
    void typedSetterWritesThrough();
    void typedGetterIgnoresLaterSetValue();
    void typedConversions();
    void colourRoundTripsAsHexText();

    void writeFailureIsReported_data();
    void writeFailureIsReported();
    void changesAreSignalled();
    void reloadSeesAnotherProgramsChanges();

private:
    std::unique_ptr<Profile> openProfile(const QString &fileName = QStringLiteral("profile.db"));
    std::unique_ptr<WorkingDirectory> m_dir;
    std::unique_ptr<Profile> m_profile;
};

void tst_Profile::init()
{
    m_dir = std::make_unique<WorkingDirectory>();
    QVERIFY(createStoreFiles({QStringLiteral("create table patient(id integer)")}, {
        QStringLiteral("insert into profile values('count', 240)"),
        QStringLiteral("insert into profile values('ratio', '1/10')"),
        QStringLiteral("insert into profile values('real', 0.1)"),
        QStringLiteral("insert into profile values('hospital', 'City Hospital')"),
        QStringLiteral("insert into profile values('color_of_dispensing', 'nocolour')"),
        QStringLiteral("insert into profile values('color_of_waiting', '#00ff00')"),
        QStringLiteral("insert into profile values('max_qc_file', 'abc')"),
        QStringLiteral("insert into profile values('qc_method', 3)"),
    }));
    m_profile = openProfile();
}

void tst_Profile::cleanup()
{
    m_profile.reset();
    for (const char *name : {"profile", "data", "qc"})
        QSqlDatabase::removeDatabase(QLatin1String(name));
    m_dir.reset();
}

std::unique_ptr<Profile> tst_Profile::openProfile(const QString &fileName)
{
    // A second Profile re-registers the connection names; drop the old ones
    // first so Qt does not warn about replacing them.
    for (const char *name : {"profile", "data", "qc"})
        QSqlDatabase::removeDatabase(QLatin1String(name));
    return std::make_unique<Profile>(fileName);
}

void tst_Profile::valuesKeepTheirSqlType()
{
    Profile &p = *m_profile;
    QCOMPARE(p.value(QStringLiteral("count")).typeId(), QMetaType::LongLong);
    QCOMPARE(p.value(QStringLiteral("count")).toInt(), 240);
    QCOMPARE(p.value(QStringLiteral("ratio")).typeId(), QMetaType::QString);
    QCOMPARE(p.value(QStringLiteral("ratio")).toString(), QStringLiteral("1/10"));
    QCOMPARE(p.value(QStringLiteral("real")).typeId(), QMetaType::Double);
    QCOMPARE(p.value(QStringLiteral("real")).toDouble(), 0.1);

    p.setValue(QStringLiteral("w/int"), 240);
    p.setValue(QStringLiteral("w/text"), QStringLiteral("1/10"));
    p.setValue(QStringLiteral("w/real"), 0.1);
    const auto rows = selectRows(QStringLiteral("profile.db"),
        QStringLiteral("select name, typeof(value), value from profile where name like 'w/%' order by name"));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], (QVariantList{QStringLiteral("w/int"), QStringLiteral("integer"), 240}));
    QCOMPARE(rows[1], (QVariantList{QStringLiteral("w/real"), QStringLiteral("real"), 0.1}));
    QCOMPARE(rows[2], (QVariantList{QStringLiteral("w/text"), QStringLiteral("text"), QStringLiteral("1/10")}));
}

void tst_Profile::lookupIsServedFromMemory()
{
    QVERIFY(execSql(QStringLiteral("profile.db"),
                    {QStringLiteral("update profile set value = 'changed' where name = 'ratio'")}));
    QCOMPARE(m_profile->value(QStringLiteral("ratio")).toString(), QStringLiteral("1/10"));
}

void tst_Profile::absenceIsCachedUntilRemoved()
{
    Profile &p = *m_profile;
    const QString name = QStringLiteral("late");
    QCOMPARE(p.value(name, 1).toInt(), 1);
    QVERIFY(p.keys().contains(name));

    QVERIFY(execSql(QStringLiteral("profile.db"),
                    {QStringLiteral("insert into profile values('late', 7)")}));
    QCOMPARE(p.value(name, 1).toInt(), 1);
    QCOMPARE(p.value(name, 2).toInt(), 2);   // known-absent gives whatever default
    QVERIFY(!p.value(name).isValid());       // an invalid default stays invalid

    p.remove(name);
    QVERIFY(!p.keys().contains(name));
    // remove() always deletes the row, so the lookup now finds nothing again.
    QCOMPARE(p.value(name, 3).toInt(), 3);

    // A row added behind the store's back is found by a name it never knew.
    QVERIFY(execSql(QStringLiteral("profile.db"),
                    {QStringLiteral("insert into profile values('later', 8)")}));
    p.remove(QStringLiteral("never-looked-up"));
    QCOMPARE(p.value(QStringLiteral("later"), 1).toInt(), 8);
}

void tst_Profile::value2_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("fallbackLookedUp");
    QTest::newRow("first present") << "ratio" << "other" << QVariant(QStringLiteral("1/10")) << false;
    QTest::newRow("first absent") << "nothing" << "count" << QVariant(240) << true;
    QTest::newRow("both absent") << "nothing" << "none" << QVariant(QStringLiteral("dflt")) << true;
}

void tst_Profile::value2()
{
    QFETCH(QString, first);
    QFETCH(QString, fallback);
    QFETCH(QVariant, expected);
    QFETCH(bool, fallbackLookedUp);
    const QVariant result = m_profile->value2(first, fallback, QStringLiteral("dflt"));
    QCOMPARE(result.toString(), expected.toString());
    QCOMPARE(m_profile->keys().contains(fallback), fallbackLookedUp);
    // An invalid (known-absent) first value also falls back.
    m_profile->setValue(first, QVariant(), false);
    QCOMPARE(m_profile->value2(first, QStringLiteral("count")).toInt(), 240);
}

void tst_Profile::storeWithoutWriteThroughStaysInMemory()
{
    m_profile->setValue(QStringLiteral("hospital"), QStringLiteral("Memory"), false);
    QCOMPARE(m_profile->value(QStringLiteral("hospital")).toString(), QStringLiteral("Memory"));
    auto other = openProfile();
    QCOMPARE(other->value(QStringLiteral("hospital")).toString(), QStringLiteral("City Hospital"));
}

void tst_Profile::storeOfInvalidValueDeletesRow()
{
    m_profile->setValue(QStringLiteral("count"), QVariant(), true);
    QCOMPARE(m_profile->value(QStringLiteral("count"), 5).toInt(), 5);
    QVERIFY(m_profile->keys().contains(QStringLiteral("count")));
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select count(*) from profile where name = 'count'")).toInt(), 0);
}

void tst_Profile::namesWithQuotesAreBound()
{
    QVERIFY(execSql(QStringLiteral("profile.db"),
                    {QStringLiteral("insert into profile values('it''s', 'stored')")}));
    Profile &p = *m_profile;
    // Loaded at start-up, so look up a quoted name that start-up did not see.
    p.remove(QStringLiteral("it's"));
    QVERIFY(!p.value(QStringLiteral("it's")).isValid());   // remove deleted the row

    p.setValue(QStringLiteral("o'brien"), 1);
    p.remove(QStringLiteral("o'brien"));
    QVERIFY(execSql(QStringLiteral("profile.db"),
                    {QStringLiteral("insert into profile values('x'' or ''1''=''1', 'row')")}));
    QCOMPARE(p.value(QStringLiteral("x' or '1'='1")).toString(), QStringLiteral("row"));
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select count(*) from profile where name like 'o''b%'")).toInt(), 0);
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select count(*) from profile")).toInt(), 9);
}

void tst_Profile::startupMessages_data()
{
    QTest::addColumn<QString>("profileFile");
    QTest::addColumn<QStringList>("emptyFiles");   // files made with no table
    QTest::addColumn<QStringList>("expected");     // regular expressions, in order

    QTest::newRow("all fine") << "profile.db" << QStringList() << QStringList();
    QTest::newRow("profile missing")
        << "missing.db" << QStringList()
        << QStringList{QStringLiteral("^错误的配置文件 missing\\.db$")};
    QTest::newRow("profile cannot be opened")
        << "no/such/dir/profile.db" << QStringList()
        << QStringList{QStringLiteral("^无法加载配置文件 no/such/dir/profile\\.db\n.+$"),
                       QStringLiteral("^错误的配置文件 no/such/dir/profile\\.db$")};
    QTest::newRow("data and qc without tables")
        << "profile.db" << QStringList{QStringLiteral("data.db"), QStringLiteral("qc.db")}
        << QStringList{QStringLiteral("^错误的数据库文件 data\\.db$"),
                       QStringLiteral("^错误的数据库文件 qc\\.db$")};
    QTest::newRow("profile without profile table passes")
        << "qc.db" << QStringList() << QStringList();
}

void tst_Profile::startupMessages()
{
    QFETCH(QString, profileFile);
    QFETCH(QStringList, emptyFiles);
    QFETCH(QStringList, expected);

    m_profile.reset();
    for (const QString &file : emptyFiles)
        QVERIFY(QFile::remove(file));
    QStringList warnings;
    {
        WarningCapture capture;
        m_profile = openProfile(profileFile);
        warnings = capture.warnings();
    }
    QCOMPARE(warnings.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(QRegularExpression(expected[i]).match(warnings[i]).hasMatch(),
                 qPrintable(warnings[i]));
    // Whatever happened, the store works from memory, and logs nothing.
    WarningCapture capture;
    m_profile->setValue(QStringLiteral("k"), 1);
    QCOMPARE(m_profile->value(QStringLiteral("k")).toInt(), 1);
    QCOMPARE(m_profile->value(QStringLiteral("unknown"), 2).toInt(), 2);
    m_profile->remove(QStringLiteral("k"));
    QCOMPARE(capture.warnings(), QStringList());
}

void tst_Profile::typedGetterKeepsFirstDefault()
{
    QCOMPARE(m_profile->statim_sample_prefix(QStringLiteral("S")), QStringLiteral("S"));
    QCOMPARE(m_profile->statim_sample_prefix(QStringLiteral("X")), QStringLiteral("S"));
    QVERIFY(!m_profile->value(QStringLiteral("statim_sample_prefix")).isValid());
}

void tst_Profile::typedSetterWithoutWriteThrough()
{
    m_profile->set_qc_sample_prefix(QStringLiteral("Q"), false);
    QCOMPARE(m_profile->qc_sample_prefix(QStringLiteral("QC")), QStringLiteral("Q"));
    auto other = openProfile();
    QCOMPARE(other->qc_sample_prefix(QStringLiteral("QC")), QStringLiteral("QC"));
}

void tst_Profile::typedSetterWritesThrough()
{
    m_profile->set_hospital(QStringLiteral("North"), true);
    QCOMPARE(m_profile->value(QStringLiteral("hospital")).toString(), QStringLiteral("North"));
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select value from profile where name = 'hospital'")).toString(),
             QStringLiteral("North"));
    m_profile->set_is_touch_screen(true, true);
    auto other = openProfile();
    QCOMPARE(other->is_touch_screen(false), true);
    QCOMPARE(other->hospital(QString()), QStringLiteral("North"));
}

void tst_Profile::typedGetterIgnoresLaterSetValue()
{
    QCOMPARE(m_profile->hospital(QString()), QStringLiteral("City Hospital"));
    m_profile->setValue(QStringLiteral("hospital"), QStringLiteral("Elsewhere"));
    m_profile->remove(QStringLiteral("hospital"));
    QCOMPARE(m_profile->hospital(QString()), QStringLiteral("City Hospital"));
}

void tst_Profile::typedConversions()
{
    // Text naming no colour is an invalid colour, not the default.
    QVERIFY(!m_profile->color_of_dispensing(Qt::red).isValid());
    QCOMPARE(m_profile->color_of_waiting(Qt::red), QColor(Qt::green));
    QCOMPARE(m_profile->max_qc_file(9), 0);
    QCOMPARE(m_profile->qc_method(9), 3);
    QCOMPARE(m_profile->color_of_null_result(Qt::blue), QColor(Qt::blue));
}

void tst_Profile::colourRoundTripsAsHexText()
{
    const QColor colour(0x12, 0xab, 0xef);
    m_profile->set_color_of_analysing(colour, true);
    const auto row = selectRows(QStringLiteral("profile.db"),
        QStringLiteral("select typeof(value), value from profile where name = 'color_of_analysing'"));
    QCOMPARE(row.size(), 1);
    QCOMPARE(row[0], (QVariantList{QStringLiteral("text"), QStringLiteral("#12abef")}));
    auto other = openProfile();
    QCOMPARE(other->color_of_analysing(Qt::black), colour);
}

void tst_Profile::writeFailureIsReported_data()
{
    QTest::addColumn<bool>("lockFile");
    QTest::addColumn<QString>("cause");

    QTest::newRow("in use by another program (waits the 5 s busy time-out)")
        << true << "in use by another program";
    QTest::newRow("no profile table") << false << "no profile table";
}

void tst_Profile::writeFailureIsReported()
{
    QFETCH(bool, lockFile);
    QFETCH(QString, cause);

    const QString blocker = QStringLiteral("blocker");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), blocker);
        other.setDatabaseName(QStringLiteral("profile.db"));
        QVERIFY(other.open());
        QSqlQuery query(other);
        if (lockFile) {
            QVERIFY(query.exec(QStringLiteral("begin exclusive")));
        } else {
            QVERIFY(query.exec(QStringLiteral("alter table profile rename to settings")));
        }

        WarningCapture capture;
        QSignalSpy changed(m_profile.get(), &Profile::valueChanged);
        QVERIFY(!m_profile->setValue(QStringLiteral("hospital"), QStringLiteral("Town Hospital")));
        // Memory keeps the value either way.
        QCOMPARE(m_profile->value(QStringLiteral("hospital")), QVariant(QStringLiteral("Town Hospital")));
        QCOMPARE(changed.count(), 1);
        const QString error = m_profile->lastError();
        QVERIFY2(error.startsWith(QLatin1String("profile.db: the setting \"hospital\" was not saved"))
                     && error.contains(cause),
                 qPrintable(error));
        if (!lockFile) {
            QVERIFY(!m_profile->remove(QStringLiteral("count")));
            QVERIFY(m_profile->lastError().contains(QLatin1String("\"count\"")));
        }
        QCOMPARE(capture.warnings(), QStringList());   // the store's statements log nothing

        // Once the file can take it again, the write succeeds and the error is gone.
        QVERIFY(query.exec(lockFile ? QStringLiteral("rollback")
                                    : QStringLiteral("alter table settings rename to profile")));
        QVERIFY(m_profile->setValue(QStringLiteral("hospital"), QStringLiteral("Town Hospital")));
        QCOMPARE(m_profile->lastError(), QString());
        QVERIFY(m_profile->remove(QStringLiteral("count")));
    }
    QSqlDatabase::removeDatabase(blocker);
    QCOMPARE(selectRows(QStringLiteral("profile.db"),
                        QStringLiteral("select value from profile where name in ('hospital', 'count')")),
             (QList<QVariantList>{{QStringLiteral("Town Hospital")}}));
}

void tst_Profile::changesAreSignalled()
{
    Profile &p = *m_profile;
    QSignalSpy changed(&p, &Profile::valueChanged);
    QVERIFY(p.setValue(QStringLiteral("count"), 240));          // the value it has: no signal
    QVERIFY(p.setValue(QStringLiteral("count"), 241, false));   // memory only still changes it
    QVERIFY(p.setValue(QStringLiteral("new"), QStringLiteral("x")));
    QVERIFY(p.remove(QStringLiteral("ratio")));
    QVERIFY(p.remove(QStringLiteral("never-set")));              // nothing to change: no signal
    p.set_hospital(QStringLiteral("Town Hospital"));
    QStringList names;
    for (const QList<QVariant> &arguments : std::as_const(changed))
        names << arguments.first().toString();
    QCOMPARE(names, (QStringList{QStringLiteral("count"), QStringLiteral("new"), QStringLiteral("ratio"),
                                 QStringLiteral("hospital")}));
}

void tst_Profile::reloadSeesAnotherProgramsChanges()
{
    Profile &p = *m_profile;
    QSignalSpy changed(&p, &Profile::valueChanged);
    QVERIFY(!p.reload());   // nothing changed since start-up
    QCOMPARE(p.value(QStringLiteral("absent"), 1), QVariant(1));                 // known absent now
    QCOMPARE(p.hospital(QStringLiteral("Default")), QStringLiteral("City Hospital"));
    QCOMPARE(p.statim_sample_prefix(QStringLiteral("S")), QStringLiteral("S"));   // fixed by its default
    QVERIFY(p.setValue(QStringLiteral("memory"), 7, false));
    changed.clear();

    const auto otherProgram = [](const QByteArray &sql) {
        QProcess shell;
        shell.start(QStringLiteral(SQLITE3_PATH), {QStringLiteral("profile.db")});
        shell.write(sql);
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 0);
    };
    otherProgram("update profile set value = 'Town Hospital' where name = 'hospital';\n"
                 "insert into profile values('absent', 5);\n"
                 "insert into profile values('statim_sample_prefix', 'E');\n"
                 "delete from profile where name = 'ratio';\n"
                 "update profile set value = 241 where name = 'count';\n"
                 "update profile set value = 0.1 where name = 'real';\n"   // same value
                 "insert into profile values('memory', 8);\n");
    QVERIFY(p.reload());
    QStringList names;
    for (const QList<QVariant> &arguments : std::as_const(changed))
        names << arguments.first().toString();
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("absent"), QStringLiteral("count"), QStringLiteral("hospital"),
                                 QStringLiteral("ratio"), QStringLiteral("statim_sample_prefix")}));
    QCOMPARE(p.value(QStringLiteral("absent"), 1), QVariant(5));
    QCOMPARE(p.value(QStringLiteral("count")), QVariant(241));
    QCOMPARE(p.value(QStringLiteral("ratio"), QStringLiteral("gone")), QVariant(QStringLiteral("gone")));
    QCOMPARE(p.value(QStringLiteral("memory")), QVariant(7));   // set without write-through: kept
    QCOMPARE(p.hospital(QStringLiteral("Default")), QStringLiteral("Town Hospital"));
    QCOMPARE(p.statim_sample_prefix(QStringLiteral("S")), QStringLiteral("E"));

    // Nothing changed since: no re-read, no signal. This store's own writes
    // do not count as changes by another connection.
    changed.clear();
    QVERIFY(p.setValue(QStringLiteral("count"), 300));
    changed.clear();
    QVERIFY(!p.reload());
    QCOMPARE(changed.count(), 0);

    // A typed setting deleted in the file is read again with the next default.
    otherProgram("delete from profile where name = 'hospital';\n");
    QVERIFY(p.reload());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(p.hospital(QStringLiteral("Default")), QStringLiteral("Default"));
}

QTEST_GUILESS_MAIN(tst_Profile)
#include "tst_profile.moc"
