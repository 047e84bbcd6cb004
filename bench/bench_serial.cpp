// 1 MiB written and read back through a pseudo-terminal pair: Serial against
// plain write()/read() on the same descriptors. Then the time from a byte
// written by the instrument to readyRead() in the event loop, against a bare
// poll() on the same descriptor.
#include <serial.h>

#include "benchmain.h"

#include <QtCore/QEventLoop>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qsizetype total = 1 << 20;
constexpr qsizetype chunk = 4096;

struct Pair
{
    int master = -1;
    Serial serial;
    Pair()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        ::close(slave);
        serial.setFileName(QString::fromLocal8Bit(name));
        serial.open();
        serial.setSettings(115200, 8, Serial::NoParity, Serial::OneStopBit);
        serial.setTimeouts(100, 5000, 5000);
    }
    ~Pair()
    {
        serial.close();
        ::close(master);
    }
};

// The instrument's side, blocking: drain count bytes, or send them.
void drain(int fd, qsizetype count)
{
    char buffer[chunk];
    while (count > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            count -= n;
    }
}

void send(int fd, qsizetype count)
{
    const QByteArray data(chunk, 'x');
    while (count > 0) {
        const ssize_t n = ::write(fd, data.constData(), size_t(std::min(count, chunk)));
        if (n > 0)
            count -= n;
    }
}

void BM_SerialRoundTrip(benchmark::State &state)
{
    Pair pair;
    const QByteArray data(chunk, 'x');
    QByteArray in(chunk, Qt::Uninitialized);
    for (auto _ : state) {
        std::thread reader(drain, pair.master, total);
        for (qsizetype done = 0; done < total; done += chunk)
            pair.serial.write(data.constData(), chunk);
        reader.join();
        std::thread writer(send, pair.master, total);
        for (qsizetype done = 0; done < total;) {
            const qint64 n = pair.serial.read(in.data(), chunk);
            if (n <= 0)
                break;
            done += n;
        }
        writer.join();
    }
    state.SetBytesProcessed(state.iterations() * total * 2);
}
BENCHMARK(BM_SerialRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same descriptors with the system calls alone (non-blocking, waiting
// with poll like Serial does).
void BM_RawRoundTrip(benchmark::State &state)
{
    Pair pair;
    const int fd = int(reinterpret_cast<intptr_t>(pair.serial.handle()));
    const QByteArray data(chunk, 'x');
    QByteArray in(chunk, Qt::Uninitialized);
    for (auto _ : state) {
        std::thread reader(drain, pair.master, total);
        for (qsizetype done = 0; done < total;) {
            const ssize_t n = ::write(fd, data.constData() + done % chunk, size_t(chunk - done % chunk));
            if (n > 0) {
                done += n;
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 1000);
            }
        }
        reader.join();
        std::thread writer(send, pair.master, total);
        for (qsizetype done = 0; done < total;) {
            const ssize_t n = ::read(fd, in.data(), size_t(chunk));
            if (n > 0) {
                done += n;
            } else {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 1000);
            }
        }
        writer.join();
    }
    state.SetBytesProcessed(state.iterations() * total * 2);
}
BENCHMARK(BM_RawRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// One byte from the instrument until the event loop delivers readyRead(),
// then read.
void BM_ReadyReadLatency(benchmark::State &state)
{
    Pair pair;
    QEventLoop loop;
    QObject::connect(&pair.serial, &QIODevice::readyRead, &loop, &QEventLoop::quit);
    char byte = 0;
    for (auto _ : state) {
        ::write(pair.master, "x", 1);
        loop.exec();
        pair.serial.read(&byte, 1);
    }
}
BENCHMARK(BM_ReadyReadLatency)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same with poll() on the port's descriptor and read().
void BM_PollLatency(benchmark::State &state)
{
    Pair pair;
    const int fd = int(reinterpret_cast<intptr_t>(pair.serial.handle()));
    char byte = 0;
    for (auto _ : state) {
        ::write(pair.master, "x", 1);
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
        ::read(fd, &byte, 1);
    }
}
BENCHMARK(BM_PollLatency)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
