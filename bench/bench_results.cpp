// Clot curve byte form, OD conversion, result copies and result texts, each
// beside the obvious alternative.
#include <analysisresult.h>
#include <profile.h>

#include "testsupport.h"

#include <QtCore/QDataStream>
#include <QtCore/QtEndian>
#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

ClotCurve curveOf(int points)
{
    QList<double> y(points);
    for (int i = 0; i < points; ++i)
        y[i] = 1000.0 - i * 0.001;
    ClotCurve curve;
    curve.append(0.0, 0.1, y);
    return curve;
}

void BM_Encode(benchmark::State &state)
{
    const ClotCurve curve = curveOf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(curve.toBuffer());
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_Encode)->Arg(1000)->Arg(100000);

void BM_Decode(benchmark::State &state)
{
    const QByteArray bytes = curveOf(int(state.range(0))).toBuffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(ClotCurve::fromBuffer(bytes));
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_Decode)->Arg(1000)->Arg(100000);

// (a) Qt's data stream with a list of doubles.
void BM_EncodeQDataStream(benchmark::State &state)
{
    const QList<double> y = curveOf(int(state.range(0))).segments().constFirst().y;
    for (auto _ : state) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << qint32(0) << quint32(1) << 0.0 << 0.1 << y;
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_EncodeQDataStream)->Arg(1000)->Arg(100000);

void BM_DecodeQDataStream(benchmark::State &state)
{
    const QByteArray bytes = curveOf(int(state.range(0))).toBuffer();
    for (auto _ : state) {
        QDataStream in(bytes);
        qint32 type;
        quint32 count;
        double x0, dx;
        QList<double> y;
        in >> type >> count >> x0 >> dx >> y;
        benchmark::DoNotOptimize(y);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_DecodeQDataStream)->Arg(1000)->Arg(100000);

// (b) The floor: copy the doubles and swap their bytes, nothing else.
void BM_DecodeMemcpySwap(benchmark::State &state)
{
    const QByteArray bytes = curveOf(int(state.range(0))).toBuffer();
    const qsizetype n = state.range(0);
    for (auto _ : state) {
        QList<double> y(n);
        std::memcpy(y.data(), bytes.constData() + 28, size_t(n) * 8);
        quint64 *bits = reinterpret_cast<quint64 *>(y.data());
        for (qsizetype i = 0; i < n; ++i)
            bits[i] = qFromBigEndian(bits[i]);
        benchmark::DoNotOptimize(y);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_DecodeMemcpySwap)->Arg(1000)->Arg(100000);

void BM_EncodeMemcpySwap(benchmark::State &state)
{
    const QList<double> y = curveOf(int(state.range(0))).segments().constFirst().y;
    const qsizetype n = y.size();
    for (auto _ : state) {
        QByteArray bytes(28 + n * 8, Qt::Uninitialized);
        std::memcpy(bytes.data() + 28, y.constData(), size_t(n) * 8);
        quint64 *bits = reinterpret_cast<quint64 *>(bytes.data() + 28);
        for (qsizetype i = 0; i < n; ++i)
            qToUnaligned(qToBigEndian(qFromUnaligned<quint64>(bits + i)), bits + i);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_EncodeMemcpySwap)->Arg(1000)->Arg(100000);

void BM_ToTypePerPoint(benchmark::State &state)
{
    ClotCurve curve = curveOf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(curve.toType(ClotCurve::OdPoint));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ToTypePerPoint)->Arg(100000);

void BM_BareLog10PerPoint(benchmark::State &state)
{
    const QList<double> y = curveOf(int(state.range(0))).segments().constFirst().y;
    for (auto _ : state) {
        QList<double> out(y.size());
        for (qsizetype i = 0; i < y.size(); ++i)
            out[i] = std::log10(1000.0 / y[i]);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BareLog10PerPoint)->Arg(100000);

void BM_CopyAnalysisResult(benchmark::State &state)
{
    const AnalysisResult result(12.5);
    for (auto _ : state) {
        AnalysisResult copy = result;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CopyAnalysisResult);

void BM_CopySharedPtr(benchmark::State &state)
{
    const auto pointer = std::make_shared<double>(12.5);
    for (auto _ : state) {
        std::shared_ptr<double> copy = pointer;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CopySharedPtr);

void BM_ToStringWithMarks(benchmark::State &state)
{
    AnalysisResult result(12.3456);
    result.setFlags(ka::ManualInputFlag | ka::DilutionResultFlag | ka::UpperReportLimitFlag
                    | ka::UpperMarkLimitFlag);
    for (auto _ : state)
        benchmark::DoNotOptimize(result.toString(AnalysisResult::WithMarks, 'f', 1));
}
BENCHMARK(BM_ToStringWithMarks);

void BM_QStringNumberOnly(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QString::number(12.3456, 'f', 1));
}
BENCHMARK(BM_QStringNumberOnly);

} // namespace

int main(int argc, char **argv)
{
    testsupport::WorkingDirectory dir;
    return runBenchmarks(argc, argv, [] {
        testsupport::createStoreFiles();
        Profile::instance();
    });
}
