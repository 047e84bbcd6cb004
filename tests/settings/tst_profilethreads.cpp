#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace testsupport;

// Several threads use one store at once: lookups that miss the cache, stores
// that write through and name listings. Runs under ThreadSanitizer in CI.
class tst_ProfileThreads : public QObject
{
    Q_OBJECT

private slots:
    void concurrentLookupsAndStores();
    void typedSettingsFromManyThreads();

private:
    WorkingDirectory m_dir;
};

void tst_ProfileThreads::concurrentLookupsAndStores()
{
    QVERIFY(createStoreFiles());

    constexpr int threadCount = 4;
    constexpr int rounds = 50;
    {
        Profile profile;
        // Rows that start-up did not see: each thread's first lookup of them
        // misses the cache and must find them through the file.
        QStringList rows;
        for (int t = 0; t < threadCount; ++t)
            for (int i = 0; i < rounds; ++i)
                rows << QStringLiteral("insert into profile values('file/%1/%2', %3)").arg(t).arg(i).arg(t * 1000 + i);
        QVERIFY(execSql(QStringLiteral("profile.db"), rows));

        std::vector<int> wrong(threadCount, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&profile, &wrong, t] {
                for (int i = 0; i < rounds; ++i) {
                    if (profile.value(QStringLiteral("file/%1/%2").arg(t).arg(i), -1).toInt() != t * 1000 + i)
                        ++wrong[t];
                    // Another thread's names too: any of them may be first.
                    profile.value(QStringLiteral("file/%1/%2").arg((t + 1) % threadCount).arg(i));
                    profile.setValue(QStringLiteral("set/%1/%2").arg(t).arg(i), i, true);
                    if (profile.value(QStringLiteral("set/%1/%2").arg(t).arg(i)).toInt() != i)
                        ++wrong[t];
                    profile.setValue(QStringLiteral("shared"), t, i % 2 == 0);
                    profile.keys();
                }
                profile.remove(QStringLiteral("set/%1/0").arg(t));
            });
        }
        for (auto &thread : threads)
            thread.join();
        for (int t = 0; t < threadCount; ++t)
            QCOMPARE(wrong[t], 0);
        QCOMPARE(profile.keys().size(), 2 * threadCount * rounds - threadCount + 1);
    }
    // Every write-through store reached the file, every removal too.
    QCOMPARE(selectValue(QStringLiteral("profile.db"),
                         QStringLiteral("select count(*) from profile where name like 'set/%'")).toInt(),
             threadCount * (rounds - 1));
}

// One thread sets a typed setting back and forth while others read it, and
// several threads make the first read of another typed setting at once:
// every read returns one of the values set (or the first read's default),
// never a torn or freed one.
void tst_ProfileThreads::typedSettingsFromManyThreads()
{
    WorkingDirectory dir;
    QVERIFY(createStoreFiles());
    Profile profile;
    // Long enough to live on the heap, so a torn copy would be visible.
    const QString a = QStringLiteral("first-prefix-").repeated(4);
    const QString b = QStringLiteral("second-prefix-").repeated(4);
    const QString fallback = QStringLiteral("default-prefix-").repeated(4);

    constexpr int readers = 3;
    constexpr int rounds = 20000;
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<QString> firstReads(readers);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        while (!go.load()) {}
        for (int i = 0; i < rounds; ++i)
            profile.set_statim_sample_prefix(i % 2 ? a : b, false);
    });
    for (int t = 0; t < readers; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {}
            firstReads[t] = profile.hospital(QStringLiteral("Hospital %1").arg(t));
            for (int i = 0; i < rounds; ++i) {
                const QString value = profile.statim_sample_prefix(fallback);
                if (value != a && value != b && value != fallback)
                    ++wrong;
            }
        });
    }
    go = true;
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(wrong.load(), 0);
    // The first read that completed fixed the value for everybody.
    const QString fixed = profile.hospital(QStringLiteral("later"));
    QVERIFY(fixed.startsWith(QLatin1String("Hospital ")));
    for (const QString &value : firstReads)
        QCOMPARE(value, fixed);
}

QTEST_GUILESS_MAIN(tst_ProfileThreads)
#include "tst_profilethreads.moc"
