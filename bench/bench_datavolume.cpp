// Core's statements on data.db at a lab's real volume, before and after the
// indexes that the data upgrade creates: loading and saving a clot curve,
// the next sample number of a busy day, deleting one patient (the
// on_delete_patient trigger's five deletes), and the upgrade itself with its
// peak memory.
//
// Each installation holds N patients, 200 a day, each with four exams, four
// results, one extra row, four details and four clot curves of 300 points
// (about 2.4 KB each). "before" is a version-2 data.db as the upgrade left it
// without these indexes; "after" is the same file upgraded again. The files
// are made once per N under the build's temporary directory.
//
//   bench_datavolume --benchmark_filter=CurveLoad
#include "benchmain.h"
#include "dbupdaterun.h"

#include "analysisresult.h"
#include "kaglobal.h"
#include "profile.h"

#include <QtCore/QDate>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

#include <map>
#include <memory>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QDate firstDay(2024, 1, 1);
constexpr int samplesPerDay = 200;
const char *const items[] = {"PT", "APTT", "FIB", "TT"};
const char *const ownIndexes[] = {"curve_patientId_item_index", "patient_date_index",
                                  "exam_sampleNo_date_index", "result_patientId_index",
                                  "patientExtra_patientId_index"};

bool execAll(QSqlQuery &query, const QStringList &statements)
{
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
            return false;
        }
    }
    return true;
}

// Runs dbupdate in dir as its own process; returns its peak resident memory
// in KiB (0 when it failed).
long runDbupdate(const QString &dir)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(QFile::encodeName(dir).constData()) == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            execl(DBUPDATE_PATH, DBUPDATE_PATH, static_cast<char *>(nullptr));
        }
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 0;
    return usage.ru_maxrss;
}

void copyInstallation(const QString &from, const QString &to)
{
    for (const char *name : {"profile.db", "data.db", "qc.db"}) {
        QFile::remove(to + QLatin1Char('/') + QLatin1String(name));
        QFile::copy(from + QLatin1Char('/') + QLatin1String(name), to + QLatin1Char('/') + QLatin1String(name));
    }
}

// The "before" and "after" installations of one size.
class Installation
{
public:
    explicit Installation(int patients)
        : m_patients(patients)
    {
        QDir().mkpath(before());
        QDir().mkpath(after());
        using namespace dbupdaterun;
        // A version-2 installation from the example, upgraded, then without
        // the indexes: the layout the landed upgrade left in labs.
        loadInstallation(before());
        runDbupdate(before());
        QByteArray drops;
        for (const char *index : ownIndexes)
            drops += QByteArray("drop index ") + index + ";\n";
        sqlite3(before() + QStringLiteral("/data.db"), drops + "delete from patient;\n");
        fill();
        copyInstallation(before(), after());
        m_upgradePeakKiB = runDbupdate(after());
    }

    QString before() const { return m_dir.filePath(QStringLiteral("before")); }
    QString after() const { return m_dir.filePath(QStringLiteral("after")); }
    QString dir(bool indexed) const { return indexed ? after() : before(); }
    int patients() const { return m_patients; }
    QDate lastDay() const { return firstDay.addDays((m_patients - 1) / samplesPerDay); }

private:
    void fill()
    {
        const QString name = QStringLiteral("fill");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(before() + QStringLiteral("/data.db"));
            db.open();
            QSqlQuery query(db);
            execAll(query, {QStringLiteral("pragma journal_mode=off"), QStringLiteral("pragma synchronous=off"),
                            QStringLiteral("begin")});
            QSqlQuery patient(db), exam(db), result(db), extra(db), detail(db), curve(db);
            patient.prepare(QStringLiteral(
                "insert into patient(id, sampleNo, date, name, age) values(?, ?, ?, ?, ?)"));
            exam.prepare(QStringLiteral("insert into exam(sampleNo, date, item) values(?, ?, ?)"));
            result.prepare(QStringLiteral("insert into result(patientId, item, value, flags) values(?, ?, ?, 0)"));
            extra.prepare(QStringLiteral("insert into patientExtra(patientId, info) values(?, 'routine')"));
            detail.prepare(QStringLiteral("insert into detail(patientId, item, info) values(?, ?, 'channel 1')"));
            curve.prepare(QStringLiteral("insert into curve(patientId, item, curve) values(?, ?, ?)"));

            std::mt19937 random(42);
            std::normal_distribution<double> noise(0.0, 2.0);
            QList<QByteArray> blobs;
            for (int b = 0; b < 16; ++b) {
                ClotCurve c;
                ClotCurve::Segment segment;
                segment.x0 = 0.0;
                segment.dx = 0.1;
                for (int i = 0; i < 300; ++i)
                    segment.y << 2000.0 + (i > 120 ? 800.0 : 0.0) + noise(random);
                QList<ClotCurve::Segment> segments{segment};
                c.setSegments(segments);
                blobs << c.toBuffer();
            }
            for (int id = 1; id <= m_patients; ++id) {
                const QString sampleNo = QString::number((id - 1) % samplesPerDay + 1);
                const QString date = firstDay.addDays((id - 1) / samplesPerDay).toString(Qt::ISODate);
                patient.addBindValue(id);
                patient.addBindValue(sampleNo);
                patient.addBindValue(date);
                patient.addBindValue(QStringLiteral("Patient %1").arg(id));
                patient.addBindValue(20 + id % 70);
                patient.exec();
                extra.addBindValue(id);
                extra.exec();
                for (const char *item : items) {
                    exam.addBindValue(sampleNo);
                    exam.addBindValue(date);
                    exam.addBindValue(QLatin1String(item));
                    exam.exec();
                    result.addBindValue(id);
                    result.addBindValue(QLatin1String(item));
                    result.addBindValue(10.0 + id % 30);
                    result.exec();
                    detail.addBindValue(id);
                    detail.addBindValue(QLatin1String(item));
                    detail.exec();
                    curve.addBindValue(id);
                    curve.addBindValue(QLatin1String(item));
                    curve.addBindValue(blobs[(id + int(strlen(item))) % blobs.size()]);
                    curve.exec();
                }
            }
            execAll(query, {QStringLiteral("commit")});
        }
        QSqlDatabase::removeDatabase(name);
    }

    QTemporaryDir m_dir;
    int m_patients;
public:
    long m_upgradePeakKiB = 0;
};

const Installation &installation(int patients)
{
    static std::map<int, std::unique_ptr<Installation>> made;
    auto &slot = made[patients];
    if (!slot)
        slot = std::make_unique<Installation>(patients);
    return *slot;
}

// Points Core's connections at one installation: a new Profile registers the
// three connections again, and Core's statements use the newest ones.
void use(const Installation &source, bool indexed)
{
    static QString current;
    static std::unique_ptr<Profile> profile;
    const QString dir = source.dir(indexed);
    if (current == dir)
        return;
    QDir::setCurrent(dir);
    profile.reset();
    for (const char *name : {"profile", "data", "qc"})
        QSqlDatabase::removeDatabase(QLatin1String(name));
    profile = std::make_unique<Profile>();
    current = dir;
}

void setLabel(benchmark::State &state)
{
    state.SetLabel(state.range(1) ? "with indexes" : "without indexes");
}

void BM_CurveLoad(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    use(source, state.range(1) != 0);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> patient(1, source.patients());
    ClotCurve curve;
    for (auto _ : state) {
        curve.load(patient(random), QStringLiteral("APTT"));
        benchmark::DoNotOptimize(curve);
    }
    if (curve.isEmpty())
        state.SkipWithError("no curve loaded");
    setLabel(state);
}

void BM_CurveSave(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    use(source, state.range(1) != 0);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> patient(1, source.patients());
    ClotCurve curve;
    curve.load(1, QStringLiteral("PT"));
    for (auto _ : state)
        curve.save(patient(random), QStringLiteral("DD"));
    setLabel(state);
}

void BM_NextSampleNo(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    use(source, state.range(1) != 0);
    const QDate day = source.lastDay();
    int next = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(next = nextSampleNo(day));
    if (next < 2)
        state.SkipWithError("no samples found on the day");
    setLabel(state);
}

// One patient deleted per iteration, oldest first: the trigger removes its
// exams, results, extra row, curves and details.
void BM_DeletePatient(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    use(source, state.range(1) != 0);
    static std::map<QString, int> nextVictim;
    int &victim = nextVictim[source.dir(state.range(1) != 0)];
    QSqlQuery query(Profile::instance().dataDatabase());
    query.prepare(QStringLiteral("delete from patient where id = ?"));
    for (auto _ : state) {
        query.addBindValue(++victim);
        if (!query.exec())
            state.SkipWithError(qPrintable(query.lastError().text()));
    }
    setLabel(state);
}

// The upgrade of the "before" file (adding the indexes), as a whole process.
void BM_Upgrade(benchmark::State &state)
{
    const Installation &source = installation(int(state.range(0)));
    QTemporaryDir dir;
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copyInstallation(source.before(), dir.path());
        state.ResumeTiming();
        peak = runDbupdate(dir.path());
        if (peak == 0)
            state.SkipWithError("dbupdate failed");
    }
    const auto size = [](const QString &dir) {
        return double(QFileInfo(dir + QStringLiteral("/data.db")).size());
    };
    state.counters["peak_MiB"] = double(peak) / 1024.0;
    state.counters["file_MiB"] = size(source.before()) / (1024.0 * 1024.0);
    state.counters["index_MiB"] = (size(dir.path()) - size(source.before())) / (1024.0 * 1024.0);
}

void sizes(benchmark::internal::Benchmark *b)
{
    for (int patients : {10000, 100000})
        for (int indexed : {0, 1})
            b->Args({patients, indexed});
}

BENCHMARK(BM_CurveLoad)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CurveSave)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextSampleNo)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeletePatient)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Upgrade)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
