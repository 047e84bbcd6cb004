#include <kaglobal.h>

#include <QtTest/QTest>

#include <thread>
#include <vector>

// fraction() from several threads at once, the first call included (the
// shared pattern is built then). Checked by ThreadSanitizer in CI.
class tst_FractionThreads : public QObject
{
    Q_OBJECT

private slots:
    void concurrentCalls();
};

void tst_FractionThreads::concurrentCalls()
{
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 1; i <= 500; ++i) {
                bool found = false;
                const double value = fraction(QStringLiteral("x %1/%2 y").arg(t).arg(i), &found);
                if (!found || value != double(t) / i)
                    ++wrong[t];
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    for (int w : wrong)
        QCOMPARE(w, 0);
}

QTEST_APPLESS_MAIN(tst_FractionThreads)
#include "tst_fractionthreads.moc"
