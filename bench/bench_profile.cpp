// Settings lookups: Profile::value of a cached name, a typed getter after its
// first read (alone and with two reader threads), QSettings::value
// (IniFormat) and a prepared SQLite select; value() and a written-through
// setValue() on the owning thread against a worker thread (which uses its
// own clone of the connection); reload() when nothing changed.
#include <profile.h>

#include "testsupport.h"

#include <QtCore/QFileInfo>
#include <QtCore/QSettings>
#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

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
    // Files in memory (where there is a tmpfs), so that timing a write shows
    // the connection's cost and not the disk's sync.
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
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
BENCHMARK(BM_TypedGetter)->ThreadRange(1, 2)->UseRealTime();

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

// The same QString copied by one or two threads at once: the floor for two
// readers of one shared value (both touch its reference count).
const QString sharedMember = QString::fromLatin1("City");

void BM_PlainSharedMemberCopy(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QString(sharedMember));
}
BENCHMARK(BM_PlainSharedMemberCopy)->ThreadRange(1, 2)->UseRealTime();

// Runs body(1000) on the calling thread or on a new thread, after one call
// that makes a worker's clone of the connection; reports ns per call as
// "ns_per_call" (the iteration time includes starting the thread).
template <typename Body>
void timeOn(benchmark::State &state, bool worker, Body body)
{
    constexpr int calls = 1000;
    std::chrono::steady_clock::duration took{};
    for (auto _ : state) {
        const auto run = [&] {
            body(1);
            const auto start = std::chrono::steady_clock::now();
            body(calls);
            took += std::chrono::steady_clock::now() - start;
        };
        if (worker)
            std::thread(run).join();
        else
            run();
    }
    state.counters["ns_per_call"] =
        std::chrono::duration<double, std::nano>(took).count() / (double(state.iterations()) * calls);
    state.SetLabel(worker ? "worker thread" : "owning thread");
}

void BM_ValueCachedByThread(benchmark::State &state)
{
    const QString name = nameOf(17);
    timeOn(state, state.range(0) != 0, [&](int n) {
        for (int i = 0; i < n; ++i)
            benchmark::DoNotOptimize(profile->value(name));
    });
}
BENCHMARK(BM_ValueCachedByThread)->Arg(0)->Arg(1);

// A write-through store: one statement on the thread's connection.
void BM_SetValueByThread(benchmark::State &state)
{
    const QString name = nameOf(18);
    timeOn(state, state.range(0) != 0, [&](int n) {
        for (int i = 0; i < n; ++i)
            profile->setValue(name, i, true);
    });
}
BENCHMARK(BM_SetValueByThread)->Arg(0)->Arg(1);

void BM_ReloadNothingChanged(benchmark::State &state)
{
    profile->reload();
    for (auto _ : state)
        benchmark::DoNotOptimize(profile->reload());
}
BENCHMARK(BM_ReloadNothingChanged);

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
