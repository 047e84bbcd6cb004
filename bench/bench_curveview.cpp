// curveview as people run it (whole processes): export and plot of one
// 10,000-point curve, and list over 100,000 patients with four curves each
// in an upgraded data.db (with the curve index).
#include "benchmain.h"
#include "dbupdaterun.h"

#include "analysisresult.h"

#include <QtCore/QTemporaryDir>

#include <cmath>

namespace {

class Installation
{
public:
    Installation()
    {
        using namespace dbupdaterun;
        loadInstallation(m_dir.path());
        run(m_dir.path(), {QStringLiteral("-q")});
        // One patient with a 10,000-point curve, and 100,000 with four
        // 300-point curves each.
        ClotCurve longCurve, shortCurve;
        QList<double> y;
        for (int i = 0; i < 10000; ++i)
            y << 3200.0 - 900.0 / (1.0 + std::exp(-(i * 0.01 - 40.0) / 0.8));
        longCurve.append(0.0, 0.01, y);
        shortCurve.append(0.0, 0.1, y.mid(0, 300));
        QByteArray sql = "begin;\n"
            "insert into patient(id, sampleNo, date) values(1000000, '1', '2027-01-01');\n"
            "insert into curve(patientId, item, curve) values(1000000, 'PT', X'" + longCurve.toBuffer().toHex() + "');\n"
            "with recursive n(i) as (select 100 union all select i + 1 from n where i < 100099) "
            "insert into patient(id, sampleNo, date) select i, i % 200 + 1, date('2024-01-01', '+' || (i / 200) || ' days') from n;\n";
        for (const char *item : {"PT", "APTT", "FIB", "TT"})
            sql += QByteArray("insert into curve(patientId, item, curve) select id, '") + item + "', X'"
                   + shortCurve.toBuffer().toHex() + "' from patient where id < 1000000;\n";
        sql += "commit;\n";
        sqlite3(data(), sql);
    }
    QString path() const { return m_dir.path(); }
    QString data() const { return m_dir.filePath(QStringLiteral("data.db")); }

private:
    QTemporaryDir m_dir;
};

const Installation &installation()
{
    static Installation made;
    return made;
}

void runCurveview(benchmark::State &state, const QStringList &arguments)
{
    const QString dir = installation().path();
    QTemporaryDir out;
    for (auto _ : state) {
        QProcess process;
        process.setWorkingDirectory(out.path());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(CURVEVIEW_PATH), QStringList{QStringLiteral("-C"), dir} + arguments);
        if (!process.waitForFinished(600000) || process.exitCode() != 0)
            state.SkipWithError("curveview failed");
    }
}

void BM_ExportLongCurve(benchmark::State &state)
{
    runCurveview(state, {QStringLiteral("export"), QStringLiteral("--patient"), QStringLiteral("1000000")});
}
BENCHMARK(BM_ExportLongCurve)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlotLongCurve(benchmark::State &state)
{
    runCurveview(state, {QStringLiteral("plot"), QStringLiteral("--patient"), QStringLiteral("1000000"),
                         QStringLiteral("-o"), QStringLiteral("chart.png")});
}
BENCHMARK(BM_PlotLongCurve)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListAllPatients(benchmark::State &state)
{
    runCurveview(state, {QStringLiteral("list")});
}
BENCHMARK(BM_ListAllPatients)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of starting the program: --version.
void BM_StartOnly(benchmark::State &state)
{
    runCurveview(state, {QStringLiteral("--version")});
}
BENCHMARK(BM_StartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
