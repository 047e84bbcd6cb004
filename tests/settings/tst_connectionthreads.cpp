#include <analysisresult.h>
#include <kaglobal.h>
#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace testsupport;

// Core's database work and result texts on worker threads, through
// Profile::instance() built on the main thread: each thread gets its own
// clones of the connections, and the typed settings behind the result marks
// may be read for the first time by several threads at once. Runs under
// ThreadSanitizer in CI.
class tst_ConnectionThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gettersGiveEachThreadItsConnection();
    void resultTextsFromWorkerThreads();
    void curvesAndSampleNumbersFromWorkerThreads();

private:
    WorkingDirectory m_dir;
};

void tst_ConnectionThreads::initTestCase()
{
    QStringList data{QStringLiteral("create table curve(patientId integer, item text, curve blob)"),
                     QStringLiteral("create table patient(id integer primary key, sampleNo text, date text)")};
    for (int i = 1; i <= 5; ++i)
        data << QStringLiteral("insert into patient(sampleNo, date) values('%1', '2026-03-01')").arg(i);
    QVERIFY(createStoreFiles(data));
    Profile::instance();
}

void tst_ConnectionThreads::gettersGiveEachThreadItsConnection()
{
    Profile &profile = Profile::instance();
    QCOMPARE(profile.database().connectionName(), QStringLiteral("profile"));
    QCOMPARE(profile.dataDatabase().connectionName(), QStringLiteral("data"));
    QStringList names;
    bool open = false;
    std::thread([&] {
        const QSqlDatabase connections[] = {profile.database(), profile.dataDatabase(), profile.qcDatabase()};
        open = true;
        for (const QSqlDatabase &db : connections) {
            names << db.connectionName();
            open = open && db.isOpen();
        }
        // Usable here, and on the same file.
        QSqlQuery query(connections[1]);
        open = open && query.exec(QStringLiteral("select count(*) from patient")) && query.next()
            && query.value(0).toInt() == 5;
    }).join();
    QVERIFY(open);
    QCOMPARE(names.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(names[i].startsWith(QStringList{QStringLiteral("profile/"), QStringLiteral("data/"),
                                                 QStringLiteral("qc/")}[i]),
                 qPrintable(names[i]));
    // The clones went away with their thread.
    for (const QString &name : std::as_const(names))
        QVERIFY(!QSqlDatabase::contains(name));
}

void tst_ConnectionThreads::resultTextsFromWorkerThreads()
{
    AnalysisResult result;
    result.setValue(12.5);
    result.setFlags(ka::ManualInputFlag | ka::DilutionResultFlag | ka::UpperMarkLimitFlag);
    const QString expected = QStringLiteral("M! 12.50 ↑");

    constexpr int threadCount = 3;
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        // Each thread its own copy: the result's record is shared.
        threads.emplace_back([&, copy = result] {
            while (!go.load()) {}
            for (int i = 0; i < 2000; ++i) {
                if (copy.toString() != expected)
                    ++wrong;
            }
        });
    }
    go = true;
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(wrong.load(), 0);
}

void tst_ConnectionThreads::curvesAndSampleNumbersFromWorkerThreads()
{
    constexpr int threadCount = 4;
    constexpr int curvesPerThread = 25;
    WarningCapture capture;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < curvesPerThread; ++i) {
                ClotCurve curve;
                curve.append(0.0, 0.1, {double(t), double(i), 3.5});
                const int patient = 1000 * (t + 1) + i;
                curve.save(patient, QStringLiteral("PT"));
                ClotCurve loaded;
                loaded.load(patient, QStringLiteral("PT"));
                if (loaded.toBuffer() != curve.toBuffer())
                    ++wrong;
                if (nextSampleNo(QDate(2026, 3, 1)) != 6)
                    ++wrong;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(capture.warnings(), QStringList());
    QCOMPARE(selectValue(QStringLiteral("data.db"), QStringLiteral("select count(*) from curve")).toInt(),
             threadCount * curvesPerThread);
}

QTEST_GUILESS_MAIN(tst_ConnectionThreads)
#include "tst_connectionthreads.moc"
