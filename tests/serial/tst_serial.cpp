#include <serial.h>
#include <serialtermios_p.h>

#include "testsupport.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <fcntl.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

void *const invalidHandle = reinterpret_cast<void *>(~quintptr(0));

int fdOf(const Serial &serial)
{
    return int(reinterpret_cast<intptr_t>(serial.handle()));
}

// A pseudo-terminal: the test holds the master side as the instrument, the
// Serial under test opens the slave by name.
class Pty
{
public:
    Pty()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            m_path = QString::fromLocal8Bit(name);
            ::close(slave);
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() { closeMaster(); }
    bool isValid() const { return m_master >= 0; }
    QString path() const { return m_path; }                 // /dev/pts/N
    QString name() const { return m_path.mid(5); }          // pts/N
    int master() const { return m_master; }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void send(const QByteArray &bytes) const { QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size())); }
    // What the Serial wrote, once count bytes are there (or after 5 s).
    QByteArray receive(qsizetype count) const
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < count && timer.elapsed() < 5000) {
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, n);
            else
                QThread::msleep(1);
        }
        return bytes;
    }

private:
    int m_master = -1;
    QString m_path;
};

bool openRaw(Serial &serial, const QString &name)
{
    serial.setFileName(name);
    return serial.open() && serial.setSettings(115200, 8, Serial::NoParity, Serial::OneStopBit);
}

} // namespace

class tst_Serial : public QObject
{
    Q_OBJECT

private slots:
    void newDevice();
    void openAndClose();
    void openFailures();
    void exclusiveOpen();
    void alreadyOpen();
    void closedDevice();
    void settingsMapping_data();
    void settingsMapping();
    void settingsOnThePort();
    void readTimesOutWithNothing();
    void readReturnsAfterInterval();
    void writeTimesOut();
    void readAndWriteThroughQIODevice();
    void bytesAvailableAndClear();
    void destructionCloses();
    void otherEndClosesMidRead();
    void enumDevices();
};

void tst_Serial::newDevice()
{
    const Serial serial;
    QVERIFY(serial.fileName().isEmpty());
    QCOMPARE(serial.handle(), invalidHandle);
    QVERIFY(serial.isSequential());
    QCOMPARE(serial.bytesAvailable(), 0);
}

void tst_Serial::openAndClose()
{
    Pty pty;
    QVERIFY(pty.isValid());
    for (const QString &name : {pty.name(), pty.path()}) {   // prefix added, path as it is
        Serial serial;
        serial.setFileName(name);
        QVERIFY2(serial.open(), qPrintable(serial.errorString()));
        QCOMPARE(serial.fileName(), name);
        QCOMPARE(serial.openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
        QVERIFY(serial.handle() != invalidHandle);
        QVERIFY(::isatty(fdOf(serial)));
        serial.close();
        QCOMPARE(serial.handle(), invalidHandle);
        QVERIFY(!serial.isOpen());
        serial.close();   // twice is harmless
    }
}

void tst_Serial::openFailures()
{
    Serial serial;
    serial.setFileName(QStringLiteral("ttyDoesNotExist"));   // opened as /dev/ttyDoesNotExist
    QVERIFY(!serial.open());
    QCOMPARE(serial.errorString(), qt_error_string(ENOENT));
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.handle(), invalidHandle);
}

void tst_Serial::exclusiveOpen()
{
    Pty pty;
    Serial first;
    first.setFileName(pty.name());
    QVERIFY(first.open());
    Serial second;
    second.setFileName(pty.path());
    QVERIFY(!second.open());
    QCOMPARE(second.errorString(), qt_error_string(EBUSY));
    QCOMPARE(second.handle(), invalidHandle);
    first.close();
    QVERIFY2(second.open(), qPrintable(second.errorString()));   // released on close
}

void tst_Serial::alreadyOpen()
{
    Pty pty;
    Serial serial;
    serial.setFileName(pty.name());
    QVERIFY(serial.open());
    void *const handle = serial.handle();
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Serial::open: Serial (%1) is already open").arg(pty.name())));
    QVERIFY(!serial.open(QIODevice::ReadOnly));
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.handle(), handle);
    QCOMPARE(serial.openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void tst_Serial::closedDevice()
{
    Serial serial;
    QTest::ignoreMessage(QtWarningMsg, "Serial::setSettings: File is not open");
    QVERIFY(!serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));
    WarningCapture capture;
    QVERIFY(!serial.setTimeouts(50, 500, 1000));
    serial.clearInputBuffer();
    QCOMPARE(capture.warnings(), QStringList());
}

Q_DECLARE_METATYPE(Serial::Parity)
Q_DECLARE_METATYPE(Serial::StopBits)

void tst_Serial::settingsMapping_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("bits");
    QTest::addColumn<Serial::Parity>("parity");
    QTest::addColumn<Serial::StopBits>("stop");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("cflag");   // CSIZE | PARENB | PARODD | CMSPAR | CSTOPB bits
    QTest::addColumn<uint>("speed");

    QTest::newRow("9600 8N1") << 9600 << 8 << Serial::NoParity << Serial::OneStopBit << true << uint(CS8) << uint(B9600);
    QTest::newRow("19200 7E2") << 19200 << 7 << Serial::EvenParity << Serial::TwoStopBits << true
                               << uint(CS7 | PARENB | CSTOPB) << uint(B19200);
    QTest::newRow("1200 6O1") << 1200 << 6 << Serial::OddParity << Serial::OneStopBit << true
                              << uint(CS6 | PARENB | PARODD) << uint(B1200);
    QTest::newRow("mark") << 115200 << 8 << Serial::MarkParity << Serial::OneStopBit << true
                          << uint(CS8 | PARENB | CMSPAR | PARODD) << uint(B115200);
    QTest::newRow("space") << 4800 << 8 << Serial::SpaceParity << Serial::OneStopBit << true
                           << uint(CS8 | PARENB | CMSPAR) << uint(B4800);
    QTest::newRow("1.5 stop bits with 5 bits") << 300 << 5 << Serial::NoParity << Serial::OneAndHalfStopBits
                                               << true << uint(CS5 | CSTOPB) << uint(B300);
    QTest::newRow("1.5 stop bits with 8 bits") << 9600 << 8 << Serial::NoParity << Serial::OneAndHalfStopBits
                                               << false << 0u << 0u;
    QTest::newRow("9 data bits") << 9600 << 9 << Serial::NoParity << Serial::OneStopBit << false << 0u << 0u;
    QTest::newRow("4 data bits") << 9600 << 4 << Serial::NoParity << Serial::OneStopBit << false << 0u << 0u;
    // Any other rate is set through termios2 afterwards: the speed stays.
    QTest::newRow("odd rate") << 12345 << 8 << Serial::NoParity << Serial::OneStopBit << true << uint(CS8) << uint(B2400);
    QTest::newRow("zero rate") << 0 << 8 << Serial::NoParity << Serial::OneStopBit << false << 0u << 0u;
    QTest::newRow("unknown parity") << 9600 << 8 << Serial::Parity(7) << Serial::OneStopBit << false << 0u << 0u;
    QTest::newRow("unknown stop bits") << 9600 << 8 << Serial::NoParity << Serial::StopBits(3) << false << 0u << 0u;
}

void tst_Serial::settingsMapping()
{
    QFETCH(int, baud);
    QFETCH(int, bits);
    QFETCH(Serial::Parity, parity);
    QFETCH(Serial::StopBits, stop);
    QFETCH(bool, ok);
    QFETCH(uint, cflag);
    QFETCH(uint, speed);

    // Start from a port in cooked mode with flow control, odd parity and two
    // stop bits, so every bit that must change is set beforehand.
    termios t{};
    t.c_cflag = CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
    t.c_iflag = IXON | IXANY | IXOFF | INPCK | ICRNL | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    cfsetspeed(&t, B2400);
    const termios before = t;

    QCOMPARE(ka::applySerialSettings(t, baud, bits, parity, stop), ok);
    if (!ok) {
        QCOMPARE(std::memcmp(&t, &before, sizeof t), 0);
        return;
    }
    QCOMPARE(uint(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)), cflag);
    QCOMPARE(uint(cfgetospeed(&t)), speed);
    QCOMPARE(uint(cfgetispeed(&t)), speed);
    QCOMPARE(t.c_cflag & (CRTSCTS | HUPCL), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | BRKINT), tcflag_t(0));   // no flow control
    QCOMPARE(t.c_iflag & INPCK, tcflag_t(INPCK));   // left alone
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
}

void tst_Serial::settingsOnThePort()
{
    Pty pty;
    Serial serial;
    serial.setFileName(pty.name());
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));
    termios t;
    QCOMPARE(::tcgetattr(fdOf(serial), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXANY), tcflag_t(0));
    QCOMPARE(t.c_lflag & ICANON, tcflag_t(0));

    // A pseudo-terminal forces CS8 and clears PARENB but keeps the rest.
    QVERIFY(serial.setSettings(19200, 7, Serial::MarkParity, Serial::TwoStopBits));
    QCOMPARE(::tcgetattr(fdOf(serial), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & (CSTOPB | PARODD | CMSPAR), tcflag_t(CSTOPB | PARODD | CMSPAR));
    // A refused setting says why.
    QVERIFY(!serial.setSettings(9600, 8, Serial::NoParity, Serial::OneAndHalfStopBits));
    QCOMPARE(serial.error(), Serial::UnsupportedOperationError);
    QCOMPARE(serial.errorString(), QStringLiteral("Unsupported line settings: 9600 baud, 8 data bits, parity 0, stop bits 1"));
    QCOMPARE(::tcgetattr(fdOf(serial), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));   // unchanged
}


void tst_Serial::readTimesOutWithNothing()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    QVERIFY(serial.setTimeouts(50, 500, 1000));
    char buffer[10];
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.read(buffer, 10), 0);   // after 10 x 1 ms + 500 ms
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 505 && elapsed < 3000, qPrintable(QString::number(elapsed)));
}

void tst_Serial::readReturnsAfterInterval()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    char buffer[10];
    QElapsedTimer timer;

    // 4 bytes, then silence: those 4 once 50 ms pass without a byte.
    QVERIFY(serial.setTimeouts(50, 500, 1000));
    pty.send("abcd");
    timer.start();
    QCOMPARE(serial.read(buffer, 10), 4);
    qint64 elapsed = timer.elapsed();
    QCOMPARE(QByteArray(buffer, 4), QByteArray("abcd"));
    QVERIFY2(elapsed >= 50 && elapsed < 450, qPrintable(QString::number(elapsed)));

    // A gap shorter than the interval does not end the read.
    QVERIFY(serial.setTimeouts(300, 2000, 1000));
    pty.send("ab");
    std::thread late([&pty] {
        QThread::msleep(20);
        pty.send("cd");
    });
    timer.restart();
    const qint64 n = serial.read(buffer, 10);
    elapsed = timer.elapsed();
    late.join();
    QCOMPARE(n, 4);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("abcd"));
    QVERIFY2(elapsed >= 300 && elapsed < 1900, qPrintable(QString::number(elapsed)));
}

void tst_Serial::writeTimesOut()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    QVERIFY(serial.setTimeouts(0, 0, 100));
    QCOMPARE(::tcflow(fdOf(serial), TCOOFF), 0);   // output suspended: nothing can go
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.write("0123456789", 10), 0);   // after 10 x 1 ms + 100 ms
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 105 && elapsed < 2000, qPrintable(QString::number(elapsed)));
    QCOMPARE(::tcflow(fdOf(serial), TCOON), 0);
    QCOMPARE(serial.write("xyz", 3), 3);
    QCOMPARE(pty.receive(3), QByteArray("xyz"));
}

void tst_Serial::readAndWriteThroughQIODevice()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    QVERIFY(serial.setTimeouts(20, 1000, 1000));
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));   // every byte value, CR, LF, XON and XOFF among them
    QCOMPARE(serial.write(binary), 256);
    QCOMPARE(pty.receive(256), binary);
    pty.send(binary);
    QCOMPARE(serial.read(256), binary);
}

void tst_Serial::bytesAvailableAndClear()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    pty.send("12345");
    QTRY_COMPARE(serial.bytesAvailable(), 5);
    serial.clearInputBuffer();
    QCOMPARE(serial.bytesAvailable(), 0);
    serial.close();
    QCOMPARE(serial.bytesAvailable(), 0);
}

void tst_Serial::destructionCloses()
{
    Pty pty;
    {
        Serial serial;
        serial.setFileName(pty.name());
        QVERIFY(serial.open());
    }
    Serial again;
    again.setFileName(pty.name());
    QVERIFY2(again.open(), qPrintable(again.errorString()));
}

void tst_Serial::otherEndClosesMidRead()
{
    Pty pty;
    Serial serial;
    QVERIFY(openRaw(serial, pty.name()));
    QVERIFY(serial.setTimeouts(0, 10000, 1000));
    std::thread unplug([&pty] {
        QThread::msleep(100);
        pty.closeMaster();
    });
    char buffer[10];
    QElapsedTimer timer;
    timer.start();
    const qint64 n = serial.read(buffer, 10);
    unplug.join();
    QVERIFY2(timer.elapsed() < 5000, "the read waited for its whole time-out");
    QCOMPARE(n, -1);
    QVERIFY(!serial.errorString().isEmpty());
    timer.restart();
    QCOMPARE(serial.read(buffer, 10), -1);   // no spinning, no waiting
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(serial.write("x", 1), -1);
}

void tst_Serial::enumDevices()
{
    // A fake /sys/class/tty: entries are links into a devices tree.
    QTemporaryDir root;
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("devices/platform/serial8250")));
    QVERIFY(dir.mkpath(QStringLiteral("devices/pci/usb/ttyUSB0")));
    QVERIFY(dir.mkpath(QStringLiteral("devices/virtual/tty")));
    QVERIFY(dir.mkpath(QStringLiteral("class/tty")));
    const auto port = [&](const QString &name, const QString &device, const char *type) {
        const QString path = root.filePath(QStringLiteral("devices/tty/") + name);
        QVERIFY(QDir().mkpath(path));
        if (!device.isEmpty())
            QVERIFY(QFile::link(root.filePath(QStringLiteral("devices/") + device), path + QStringLiteral("/device")));
        if (type) {
            QFile f(path + QStringLiteral("/type"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
        QVERIFY(QFile::link(path, root.filePath(QStringLiteral("class/tty/") + name)));
    };
    port(QStringLiteral("ttyS10"), QStringLiteral("platform/serial8250"), "4\n");
    port(QStringLiteral("ttyS2"), QStringLiteral("platform/serial8250"), "4\n");
    port(QStringLiteral("ttyS1"), QStringLiteral("platform/serial8250"), "0\n");   // no UART
    port(QStringLiteral("ttyUSB0"), QStringLiteral("pci/usb/ttyUSB0"), nullptr);
    port(QStringLiteral("ttyACM0"), QStringLiteral("pci/usb/ttyUSB0"), nullptr);
    port(QStringLiteral("tty0"), QString(), nullptr);                               // a console
    port(QStringLiteral("ttyV"), QStringLiteral("virtual/tty"), nullptr);

    QCOMPARE(ka::serialPortsIn(root.filePath(QStringLiteral("class/tty"))),
             (QStringList{QStringLiteral("ttyACM0"), QStringLiteral("ttyS2"), QStringLiteral("ttyS10"),
                          QStringLiteral("ttyUSB0")}));
    QCOMPARE(ka::serialPortsIn(root.filePath(QStringLiteral("nothing"))), QStringList());
    // The real machine: whatever it has, in the same form, no placeholders.
    for (const QString &name : Serial::EnumDevices())
        QVERIFY(!name.startsWith(QLatin1Char('/')));
}

QTEST_GUILESS_MAIN(tst_Serial)
#include "tst_serial.moc"
