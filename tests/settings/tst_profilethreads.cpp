#include <profile.h>

#include "testsupport.h"

#include <QtTest/QTest>

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

QTEST_GUILESS_MAIN(tst_ProfileThreads)
#include "tst_profilethreads.moc"
