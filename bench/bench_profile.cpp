// Settings lookups: Profile::value of a cached name, a typed getter after its
// first read, QSettings::value (IniFormat) and a prepared SQLite select.
#include <profile.h>

#include "testsupport.h"

#include <QtCore/QSettings>
#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<testsupport::WorkingDirectory> dir;
Profile *profile = nullptr;
const int settingCount = 200;

QString nameOf(int i)
{
    return QStringLiteral("group/setting_%1").arg(i);
}

void setUp()
{
    dir = std::make_unique<testsupport::WorkingDirectory>();
    QStringList rows{QStringLiteral("create table profile(name text primary key, value)")};
    QSettings ini(QStringLiteral("settings.ini"), QSettings::IniFormat);
    for (int i = 0; i < settingCount; ++i) {
        rows << QStringLiteral("insert into profile values('%1', %2)").arg(nameOf(i)).arg(i);
        ini.setValue(nameOf(i), i);
    }
    rows << QStringLiteral("insert into profile values('hospital', 'City')");
    ini.sync();
    testsupport::execSql(QStringLiteral("profile.db"), rows);
    testsupport::execSql(QStringLiteral("data.db"), {QStringLiteral("create table t(id)")});
    testsupport::execSql(QStringLiteral("qc.db"), {QStringLiteral("create table t(id)")});
    profile = &Profile::instance();
}

void BM_ProfileValueCached(benchmark::State &state)
{
    const QString name = nameOf(17);
    for (auto _ : state)
        benchmark::DoNotOptimize(profile->value(name));
}
BENCHMARK(BM_ProfileValueCached);

void BM_TypedGetter(benchmark::State &state)
{
    const QString fallback = QStringLiteral("x");
    profile->hospital(fallback);
    for (auto _ : state)
        benchmark::DoNotOptimize(profile->hospital(fallback));
}
BENCHMARK(BM_TypedGetter);

// What "a plain member read" of a text costs: copying a QString member.
struct PlainMember
{
    QString hospital = QString::fromLatin1("City");   // heap data, like a loaded value
};

void BM_PlainMemberCopy(benchmark::State &state)
{
    PlainMember member;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&member);
        benchmark::DoNotOptimize(QString(member.hospital));
    }
}
BENCHMARK(BM_PlainMemberCopy);

void BM_QSettingsIniValue(benchmark::State &state)
{
    QSettings ini(QStringLiteral("settings.ini"), QSettings::IniFormat);
    const QString name = nameOf(17);
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.value(name));
}
BENCHMARK(BM_QSettingsIniValue);

void BM_PreparedSqliteSelect(benchmark::State &state)
{
    QSqlQuery query(profile->database());
    query.prepare(QStringLiteral("select value from profile where name = ?"));
    const QString name = nameOf(17);
    for (auto _ : state) {
        query.addBindValue(name);
        query.exec();
        query.next();
        benchmark::DoNotOptimize(query.value(0));
    }
}
BENCHMARK(BM_PreparedSqliteSelect);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv, setUp);
}
