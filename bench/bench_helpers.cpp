// fraction() beside a hand-written parse, eval() of "1+2" with a fresh engine
// per call beside one reused engine, and nextSampleNo() on 100,000 patients
// with and without an index on patient(date).
#include <kaglobal.h>
#include <profile.h>

#include "testsupport.h"

#include <QtQml/QJSEngine>
#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

const QString ratioText = QStringLiteral("dilution 1/20 (manual)");

void BM_Fraction(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fraction(ratioText));
}
BENCHMARK(BM_Fraction);

// The same text parsed by hand: find the separator, read the numbers around it.
double handParse(QStringView text)
{
    const qsizetype sep = text.indexOf(QLatin1Char('/'));
    if (sep < 0)
        return 0.0;
    qsizetype begin = sep;
    while (begin > 0 && (text[begin - 1].isDigit() || text[begin - 1] == QLatin1Char('.')))
        --begin;
    qsizetype end = sep + 1;
    while (end < text.size() && (text[end].isDigit() || text[end] == QLatin1Char('.')))
        ++end;
    return text.mid(begin, sep - begin).toDouble() / text.mid(sep + 1, end - sep - 1).toDouble();
}

void BM_HandParse(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(handParse(ratioText));
}
BENCHMARK(BM_HandParse);

void BM_EvalFreshEngine(benchmark::State &state)
{
    const QString script = QStringLiteral("1+2");
    for (auto _ : state)
        benchmark::DoNotOptimize(eval(script));
}
BENCHMARK(BM_EvalFreshEngine)->Unit(benchmark::kMicrosecond);

// What sharing one engine would save (and why it is not done: variables of
// one call would be seen by the next).
void BM_EvalSharedEngine(benchmark::State &state)
{
    QJSEngine engine;
    const QString script = QStringLiteral("1+2");
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.evaluate(script).toNumber());
}
BENCHMARK(BM_EvalSharedEngine)->Unit(benchmark::kMicrosecond);

void BM_NextSampleNo(benchmark::State &state)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    query.exec(state.range(0) ? QStringLiteral("create index if not exists patient_date on patient(date)")
                              : QStringLiteral("drop index if exists patient_date"));
    const QDate day(2026, 6, 15);
    for (auto _ : state)
        benchmark::DoNotOptimize(nextSampleNo(day));
    state.SetLabel(state.range(0) ? "with index on patient(date)" : "without index");
}
BENCHMARK(BM_NextSampleNo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void setUp()
{
    // 100,000 patients over a year: about 274 a day.
    testsupport::createStoreFiles({
        QStringLiteral("create table patient(id integer primary key, sampleNo text, date text)"),
        QStringLiteral("with recursive n(i) as (select 0 union all select i + 1 from n where i < 99999) "
                       "insert into patient(sampleNo, date) "
                       "select (i / 365) + 1, date('2026-01-01', '+' || (i % 365) || ' days') from n")});
    Profile::instance();
}

} // namespace

int main(int argc, char **argv)
{
    testsupport::WorkingDirectory dir;
    return runBenchmarks(argc, argv, setUp);
}
