// The upgrade of a data.db whose six lookup tables hold N rows each: the
// dbupdate program against the floor of the same rebuild done by the sqlite3
// shell as INSERT ... SELECT inside one transaction. Both are whole processes
// on a fresh copy of the file; the copy is not timed. Then a lab's years of
// data (1,000,000 patients): the upgrade with its integrity checks, with
// --backup and the shell floor, and the checks and a plain copy on their own.
#include "dbupdaterun.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

const char *const lookupTables[] = {"department", "sex", "treatmentRoom", "diagnosis", "doctor", "operator"};

// A version-0 installation with N rows per lookup table, made once per N.
class Installation
{
public:
    explicit Installation(int rows)
    {
        using namespace dbupdaterun;
        loadExample(m_dir.filePath(QStringLiteral("data.db")), QStringLiteral("data-v0.sql"));
        QByteArray more = "begin;\n";
        for (const char *table : lookupTables)
            more += QByteArray("with recursive n(i) as (select 100 union all select i + 1 from n where i < ")
                    + QByteArray::number(99 + rows) + ") insert into " + table
                    + "(id, abbr, name) select i, 'Abbr' || i, 'Name ' || i from n;\n";
        more += "commit;\n";
        sqlite3(m_dir.filePath(QStringLiteral("data.db")), more);
        // profile.db and qc.db already current, so the data upgrade dominates.
        loadExample(m_dir.filePath(QStringLiteral("profile.db")), QStringLiteral("profile-v0.sql"));
        loadExample(m_dir.filePath(QStringLiteral("qc.db")), QStringLiteral("qc.sql"));
        QTemporaryDir upgrade;
        QFile::copy(m_dir.filePath(QStringLiteral("profile.db")), upgrade.filePath(QStringLiteral("profile.db")));
        run(upgrade.path());
        QFile::remove(m_dir.filePath(QStringLiteral("profile.db")));
        QFile::copy(upgrade.filePath(QStringLiteral("profile.db")), m_dir.filePath(QStringLiteral("profile.db")));
    }

    void copyTo(const QString &dir) const
    {
        for (const char *name : {"profile.db", "data.db", "qc.db"}) {
            QFile::remove(dir + QLatin1Char('/') + QLatin1String(name));
            QFile::copy(m_dir.filePath(QLatin1String(name)), dir + QLatin1Char('/') + QLatin1String(name));
        }
    }

private:
    QTemporaryDir m_dir;
};

const Installation &installation(int rows)
{
    static std::map<int, std::unique_ptr<Installation>> made;
    auto &slot = made[rows];
    if (!slot)
        slot = std::make_unique<Installation>(rows);
    return *slot;
}

QByteArray shellRebuild()
{
    QByteArray sql = "pragma legacy_alter_table=on;\n"
                     "begin immediate;\n"
                     "alter table patient add sampleType text;\n"
                     "alter table patient add hospitalNo text;\n";
    for (const char *t : lookupTables) {
        const QByteArray table(t);
        sql += "alter table " + table + " rename to " + table + "_bak;\n"
               "create table " + table + "(id integer primary key, abbr text COLLATE NOCASE, name text);\n"
               "insert into " + table + "(id, abbr, name) select id, abbr, name from " + table + "_bak;\n"
               "drop table " + table + "_bak;\n"
               "create index if not exists " + table + "_index on " + table + " (abbr);\n";
    }
    sql += "create table detail(id integer primary key, patientId integer references patient, item text, "
           "info text, unique(patientId, item) on conflict replace);\n"
           "create table version(version integer);\n"
           "drop trigger on_delete_patient;\n"
           "create trigger on_delete_patient after delete on patient begin "
           "delete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date; "
           "delete from result where old.id = result.patientId; "
           "delete from patientExtra where old.id = patientExtra.patientId; "
           "delete from curve where old.id = curve.patientId; "
           "delete from detail where old.id = detail.patientId; end;\n"
           "create index if not exists curve_patientId_item_index on curve (patientId, item);\n"
           "create index if not exists patient_date_index on patient (date);\n"
           "create index if not exists exam_sampleNo_date_index on exam (sampleNo, date);\n"
           "create index if not exists result_patientId_index on result (patientId);\n"
           "create index if not exists patientExtra_patientId_index on patientExtra (patientId);\n"
           "insert into version values(2);\n"
           "commit;\n";
    return sql;
}

void BM_Dbupdate(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        source.copyTo(dir.path());
        state.ResumeTiming();
        if (dbupdaterun::run(dir.path()).exitCode != 0)
            state.SkipWithError("dbupdate failed");
    }
}
BENCHMARK(BM_Dbupdate)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sqlite3ShellFloor(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    const QByteArray sql = shellRebuild();
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        source.copyTo(dir.path());
        state.ResumeTiming();
        dbupdaterun::sqlite3(dir.filePath(QStringLiteral("data.db")), sql);
    }
}
BENCHMARK(BM_Sqlite3ShellFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A lab's years of data: 1,000,000 patients with a result each and 100,000
// rows in each lookup table, version 0, made once.
class LargeInstallation
{
public:
    LargeInstallation()
    {
        using namespace dbupdaterun;
        const QString data = m_dir.filePath(QStringLiteral("data.db"));
        loadExample(data, QStringLiteral("data-v0.sql"));
        QByteArray more = "begin;\n"
            "with recursive n(i) as (select 100 union all select i + 1 from n where i < 1000099) "
            "insert into patient(id, sampleNo, date, name, age, department) select i, i % 200 + 1, "
            "date('2020-01-01', '+' || (i / 200) || ' days'), 'Patient ' || i, i % 90, 'ICU' from n;\n"
            "insert into result(patientId, item, value, flags) select id, 'PT', 12.5, 0 from patient;\n";
        for (const char *table : lookupTables)
            more += QByteArray("with recursive n(i) as (select 100 union all select i + 1 from n where i < 100099) "
                               "insert into ") + table + "(id, abbr, name) select i, 'Abbr' || i, 'Name ' || i from n;\n";
        more += "commit;\n";
        sqlite3(data, more);
        loadExample(m_dir.filePath(QStringLiteral("profile.db")), QStringLiteral("profile-v0.sql"));
        loadExample(m_dir.filePath(QStringLiteral("qc.db")), QStringLiteral("qc.sql"));
    }
    QString path() const { return m_dir.path(); }
    void copyTo(const QString &dir) const
    {
        for (const char *name : {"profile.db", "data.db", "qc.db"}) {
            QFile::remove(dir + QLatin1Char('/') + QLatin1String(name));
            QFile::copy(m_dir.filePath(QLatin1String(name)), dir + QLatin1Char('/') + QLatin1String(name));
        }
        for (const QString &bak : QDir(dir).entryList({QStringLiteral("*.bak")}, QDir::Files))
            QFile::remove(dir + QLatin1Char('/') + bak);
    }

private:
    QTemporaryDir m_dir;
};

const LargeInstallation &large()
{
    static LargeInstallation made;
    return made;
}

// The whole upgrade of the large installation: dbupdate (with its integrity
// checks before and after) against the sqlite3 shell floor, and with
// --backup.
void BM_LargeUpgrade(benchmark::State &state)
{
    const int mode = int(state.range(0));   // 0 dbupdate, 1 dbupdate --backup, 2 sqlite3 shell
    const QByteArray sql = shellRebuild();
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        large().copyTo(dir.path());
        state.ResumeTiming();
        if (mode == 2)
            dbupdaterun::sqlite3(dir.filePath(QStringLiteral("data.db")), sql);
        else if (dbupdaterun::run(dir.path(), mode == 1 ? QStringList{QStringLiteral("--backup")} : QStringList{})
                     .exitCode != 0)
            state.SkipWithError("dbupdate failed");
    }
    state.SetLabel(mode == 0 ? "dbupdate" : mode == 1 ? "dbupdate --backup" : "sqlite3 shell floor");
}
BENCHMARK(BM_LargeUpgrade)->Arg(0)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the checks cost on the large data.db, and what a plain copy costs
// (the floor for --backup).
void BM_LargeFileCheck(benchmark::State &state)
{
    const QString data = large().path() + QStringLiteral("/data.db");
    const int mode = int(state.range(0));   // 0 quick_check, 1 integrity_check, 2 cp
    QTemporaryDir dir;
    for (auto _ : state) {
        if (mode == 2) {
            state.PauseTiming();
            QFile::remove(dir.filePath(QStringLiteral("copy.db")));
            state.ResumeTiming();
            QProcess::execute(QStringLiteral("cp"), {data, dir.filePath(QStringLiteral("copy.db"))});
        } else {
            dbupdaterun::sqlite3(data, mode == 0 ? "pragma quick_check;\n" : "pragma integrity_check;\n");
        }
    }
    state.SetLabel(mode == 0 ? "PRAGMA quick_check" : mode == 1 ? "PRAGMA integrity_check" : "cp data.db");
    state.counters["file_MiB"] = double(QFileInfo(data).size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_LargeFileCheck)->Arg(0)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
