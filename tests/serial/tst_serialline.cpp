#include <serial.h>
#include <serialtermios_p.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTemporaryFile>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

bool setCustomInputSpeed(int fd, unsigned speed);   // otherprogram.cpp

namespace {

int fdOf(const Serial &serial)
{
    return int(reinterpret_cast<intptr_t>(serial.handle()));
}

// A pseudo-terminal pair: the test holds the master as the instrument and
// keeps the slave open as "another program" that looks at the line.
struct PtyPair
{
    PtyPair()
    {
        char path[128] = {};
        if (::openpty(&master, &slave, path, nullptr, nullptr) == 0) {
            name = QString::fromLocal8Bit(path);
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    QByteArray drain(int waitMs) const
    {
        QByteArray bytes;
        QTest::qWait(waitMs);
        char buffer[256];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, n);
        return bytes;
    }
    int master = -1;
    int slave = -1;
    QString name;   // /dev/pts/N
};

} // namespace

Q_DECLARE_METATYPE(Serial::FlowControl)

// The line as instrument software expects it: raw from open(), any baud rate,
// flow control as a setting, modem lines, typed errors, the port put back as
// it was found at close(), readyRead() with an event loop, and the ports'
// details from sysfs.
class tst_SerialLine : public QObject
{
    Q_OBJECT

private slots:
    void anyBaudRate_data();
    void anyBaudRate();
    void staleCustomInputSpeedIsCleared();
    void openMakesTheLineRaw();
    void openRefusesWhatIsNoTerminal_data();
    void openRefusesWhatIsNoTerminal();
    void typedErrors();
    void closeRestoresTheLine();
    void closeKeepsExclusiveModeSetByAnother();
    void flowControlMapping_data();
    void flowControlMapping();
    void flowControlOnThePort();
    void modemLines();
    void clearQueues();
    void readyReadWithAnEventLoop();
    void portDetails();
};

void tst_SerialLine::anyBaudRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("standard");
    QTest::newRow("9600") << 9600 << true;
    QTest::newRow("115200") << 115200 << true;
    QTest::newRow("250000 (DMX)") << 250000 << false;
    QTest::newRow("31250 (MIDI)") << 31250 << false;
    QTest::newRow("12345") << 12345 << false;
}

void tst_SerialLine::anyBaudRate()
{
    QFETCH(int, rate);
    QFETCH(bool, standard);
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    // From a custom rate first, so a standard one must clear BOTHER.
    QVERIFY2(serial.setSettings(76800 + 1, 8, Serial::NoParity, Serial::OneStopBit), qPrintable(serial.errorString()));
    QVERIFY2(serial.setSettings(rate, 8, Serial::NoParity, Serial::OneStopBit), qPrintable(serial.errorString()));
    // Ptys show the rate only through TCGETS2 (stty reads "speed 0").
    const ka::LineSpeed speed = ka::lineSpeed(fdOf(serial));
    QCOMPARE(speed.output, quint32(rate));
    QCOMPARE(speed.input, quint32(rate));
    QCOMPARE(speed.customOutput, !standard);
    QVERIFY(!speed.customInput);
}

// glibc's cfsetispeed leaves a custom input speed (BOTHER in the input bits)
// that another program set; setSettings must replace it.
void tst_SerialLine::staleCustomInputSpeedIsCleared()
{
    PtyPair pty;
    QVERIFY(setCustomInputSpeed(pty.slave, 250000));
    QVERIFY(ka::lineSpeed(pty.slave).customInput);
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));
    const ka::LineSpeed speed = ka::lineSpeed(pty.slave);
    QVERIFY(!speed.customInput);
    QCOMPARE(speed.input, 9600u);
}

// A fresh pty is in cooked mode with echo and CR->LF: after open() alone the
// instrument's bytes must arrive as sent and never come back to it.
void tst_SerialLine::openMakesTheLineRaw()
{
    PtyPair pty;
    termios t;
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    QVERIFY(t.c_lflag & ECHO);
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    serial.setTimeouts(0, 500, 500);
    QCOMPARE(::write(pty.master, "abc\r", 4), ssize_t(4));
    QCOMPARE(serial.read(4), QByteArray("abc\r"));
    QCOMPARE(pty.drain(100), QByteArray());   // no echo
    QCOMPARE(serial.write("x\n", 2), 2);
    QCOMPARE(pty.drain(100), QByteArray("x\n"));   // no LF -> CR LF
}

void tst_SerialLine::openRefusesWhatIsNoTerminal_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("/dev/null") << "/dev/null";
    QTest::newRow("a regular file") << QString();
}

void tst_SerialLine::openRefusesWhatIsNoTerminal()
{
    QFETCH(QString, path);
    QTemporaryFile file;
    if (path.isEmpty()) {
        QVERIFY(file.open());
        path = file.fileName();
    }
    Serial serial;
    serial.setFileName(path);
    QVERIFY(!serial.open());
    QCOMPARE(serial.error(), Serial::DeviceNotFoundError);
    QCOMPARE(serial.errorString(), path + QStringLiteral(" is not a serial port (not a terminal device)"));
    QVERIFY(!serial.isOpen());
}

void tst_SerialLine::typedErrors()
{
    Serial missing;
    missing.setFileName(QStringLiteral("ttyDoesNotExist"));
    QVERIFY(!missing.open());
    QCOMPARE(missing.error(), Serial::DeviceNotFoundError);
    missing.clearError();
    QCOMPARE(missing.error(), Serial::NoError);

    PtyPair pty;
    Serial first, second;
    first.setFileName(pty.name);
    second.setFileName(pty.name);
    QVERIFY(first.open());
    QVERIFY(!second.open());
    QCOMPARE(second.error(), Serial::InUseError);

    first.setTimeouts(0, 20, 20);
    QCOMPARE(first.read(1), QByteArray());
    QCOMPARE(first.error(), Serial::TimeoutError);

    ::close(pty.master);   // the adapter is unplugged
    pty.master = -1;
    ::close(pty.slave);
    pty.slave = -1;
    char byte;
    QCOMPARE(first.read(&byte, 1), qint64(-1));
    QCOMPARE(first.error(), Serial::DeviceRemovedError);
}

void tst_SerialLine::closeRestoresTheLine()
{
    PtyPair pty;
    termios before;
    QCOMPARE(::tcgetattr(pty.slave, &before), 0);
    const ka::LineSpeed speedBefore = ka::lineSpeed(pty.slave);
    {
        Serial serial;
        serial.setFileName(pty.name);
        QVERIFY(serial.open());
        QVERIFY(serial.setSettings(250000, 8, Serial::EvenParity, Serial::TwoStopBits));
        QVERIFY(serial.setFlowControl(Serial::SoftwareFlowControl));
        serial.close();
    }
    termios after;
    QCOMPARE(::tcgetattr(pty.slave, &after), 0);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_oflag, before.c_oflag);
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(ka::lineSpeed(pty.slave).output, speedBefore.output);
}

// Exclusive mode that another program set (possible as root) is not ours
// to clear; our own is cleared.
void tst_SerialLine::closeKeepsExclusiveModeSetByAnother()
{
    PtyPair pty;
    const auto exclusive = [&pty] {
        int on = -1;
        return ::ioctl(pty.slave, TIOCGEXCL, &on) == 0 ? on : -1;
    };
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    QCOMPARE(exclusive(), 1);
    serial.close();
    QCOMPARE(exclusive(), 0);

    if (geteuid() != 0)
        QSKIP("only root can open a port that another program made exclusive");
    QCOMPARE(::ioctl(pty.slave, TIOCEXCL), 0);
    QVERIFY(serial.open());
    serial.close();
    QCOMPARE(exclusive(), 1);
}

void tst_SerialLine::flowControlMapping_data()
{
    QTest::addColumn<Serial::FlowControl>("flow");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("cflag");   // CRTSCTS
    QTest::addColumn<uint>("iflag");   // IXON | IXOFF | IXANY
    QTest::newRow("none") << Serial::NoFlowControl << true << 0u << 0u;
    QTest::newRow("RTS/CTS") << Serial::HardwareFlowControl << true << uint(CRTSCTS) << 0u;
    QTest::newRow("XON/XOFF") << Serial::SoftwareFlowControl << true << 0u << uint(IXON | IXOFF);
    QTest::newRow("unknown") << Serial::FlowControl(9) << false << uint(CRTSCTS) << uint(IXON | IXOFF | IXANY);
}

void tst_SerialLine::flowControlMapping()
{
    QFETCH(Serial::FlowControl, flow);
    QFETCH(bool, ok);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    termios t{};
    t.c_cflag = CRTSCTS | CS8;
    t.c_iflag = IXON | IXOFF | IXANY | INPCK;
    QCOMPARE(ka::applyFlowControl(t, flow), ok);
    QCOMPARE(uint(t.c_cflag & CRTSCTS), cflag);
    QCOMPARE(uint(t.c_iflag & (IXON | IXOFF | IXANY)), iflag);
    QVERIFY(t.c_iflag & INPCK);
    if (flow == Serial::SoftwareFlowControl) {
        QCOMPARE(t.c_cc[VSTART], cc_t(0x11));
        QCOMPARE(t.c_cc[VSTOP], cc_t(0x13));
    }
}

void tst_SerialLine::flowControlOnThePort()
{
    PtyPair pty;
    Serial serial;
    QVERIFY(serial.setFlowControl(Serial::SoftwareFlowControl));   // kept for open()
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    termios t;
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    QVERIFY(serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));   // keeps it
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    QVERIFY(serial.setFlowControl(Serial::HardwareFlowControl));
    QCOMPARE(::tcgetattr(pty.slave, &t), 0);
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(serial.flowControl(), Serial::HardwareFlowControl);
}

void tst_SerialLine::modemLines()
{
    // The mapping, both ways, for every line.
    const Serial::PinoutSignals all = Serial::DataTerminalReadySignal | Serial::RequestToSendSignal
        | Serial::ClearToSendSignal | Serial::DataSetReadySignal | Serial::DataCarrierDetectSignal
        | Serial::RingIndicatorSignal;
    QCOMPARE(ka::modemBits(all), TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
    QCOMPARE(ka::pinoutSignals(TIOCM_CTS | TIOCM_CD), Serial::ClearToSendSignal | Serial::DataCarrierDetectSignal);
    for (int bit = 0; bit < 6; ++bit) {
        const Serial::PinoutSignals one(Serial::PinoutSignal(1 << bit));
        QCOMPARE(ka::pinoutSignals(ka::modemBits(one)), one);
    }

    // A pty has no modem lines: a clear failure, no crash.
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    QVERIFY(!serial.setDataTerminalReady(true));
    QCOMPARE(serial.error(), Serial::UnsupportedOperationError);
    QVERIFY(serial.errorString().startsWith(QLatin1String("The port has no modem control lines")));
    serial.clearError();
    QVERIFY(!serial.setRequestToSend(false));
    QCOMPARE(serial.pinoutSignals(), Serial::PinoutSignals(Serial::NoSignal));
    QCOMPARE(serial.error(), Serial::UnsupportedOperationError);
    QVERIFY2(serial.sendBreak(10), qPrintable(serial.errorString()));   // ptys take a break
    serial.close();
    QVERIFY(!serial.sendBreak(10));
}

void tst_SerialLine::clearQueues()
{
    PtyPair pty;
    Serial serial;
    QVERIFY(!serial.clear());
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    QCOMPARE(::write(pty.master, "abc", 3), ssize_t(3));
    QTRY_COMPARE(serial.bytesAvailable(), qint64(3));
    QVERIFY(serial.clear(Serial::Output));
    QCOMPARE(serial.bytesAvailable(), qint64(3));   // input kept
    QVERIFY(serial.clear(Serial::AllDirections));
    QCOMPARE(serial.bytesAvailable(), qint64(0));
}

void tst_SerialLine::readyReadWithAnEventLoop()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.name);
    QVERIFY(serial.open());
    serial.setTimeouts(0, 100, 100);
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QCOMPARE(::write(pty.master, "ab", 2), ssize_t(2));
    QVERIFY(ready.wait(2000));
    QCOMPARE(serial.read(serial.bytesAvailable()), QByteArray("ab"));
    // Re-armed by the read: the next bytes signal again.
    QCOMPARE(::write(pty.master, "c", 1), ssize_t(1));
    QVERIFY(ready.wait(2000));
    QCOMPARE(ready.count(), 2);
    QCOMPARE(serial.read(1), QByteArray("c"));
    // The synchronous calls keep their time-outs.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.read(1), QByteArray());
    QVERIFY(timer.elapsed() >= 90);
}

// Fixture trees under an injectable sysfs root: a USB-serial adapter, a USB
// CDC-ACM instrument, a built-in 8250 port and a port without details.
void tst_SerialLine::portDetails()
{
    QTemporaryDir root;
    const QDir dir(root.path());
    const auto write = [&](const QString &file, const QByteArray &text) {
        QVERIFY(dir.mkpath(QFileInfo(root.filePath(file)).path()));
        QFile f(root.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    const auto port = [&](const QString &name, const QString &device) {
        QVERIFY(dir.mkpath(QStringLiteral("class/tty/") + name));
        QVERIFY(dir.mkpath(device));
        QVERIFY(QFile::link(root.filePath(device), root.filePath(QStringLiteral("class/tty/%1/device").arg(name))));
    };
    const QString ftdi = QStringLiteral("devices/pci0000:00/usb1/1-2");
    write(ftdi + QStringLiteral("/idVendor"), "0403\n");
    write(ftdi + QStringLiteral("/idProduct"), "6001\n");
    write(ftdi + QStringLiteral("/manufacturer"), "FTDI\n");
    write(ftdi + QStringLiteral("/product"), "FT232R USB UART\n");
    write(ftdi + QStringLiteral("/serial"), "A10K3XYZ\n");
    port(QStringLiteral("ttyUSB0"), ftdi + QStringLiteral("/1-2:1.0/ttyUSB0"));
    const QString acm = QStringLiteral("devices/pci0000:00/usb1/1-3");
    write(acm + QStringLiteral("/idVendor"), "2341\n");
    write(acm + QStringLiteral("/idProduct"), "0043\n");
    write(acm + QStringLiteral("/product"), "Coagulation Analyser\n");
    write(acm + QStringLiteral("/1-3:1.0/interface"), "CDC Abstract Control Model\n");
    port(QStringLiteral("ttyACM0"), acm + QStringLiteral("/1-3:1.0"));
    port(QStringLiteral("ttyS0"), QStringLiteral("devices/platform/serial8250"));
    write(QStringLiteral("class/tty/ttyS0/type"), "4\n");
    port(QStringLiteral("ttyS4"), QStringLiteral("devices/pnp0/00:05"));
    QVERIFY(dir.mkpath(QStringLiteral("dev/serial/by-id")));
    QVERIFY(QFile::link(QStringLiteral("../../ttyUSB0"),
                        root.filePath(QStringLiteral("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"))));

    const QList<Serial::PortInfo> ports = ka::serialPortInfosIn(root.filePath(QStringLiteral("class/tty")),
                                                                root.filePath(QStringLiteral("dev/serial/by-id")));
    QCOMPARE(ports.size(), 4);
    QCOMPARE(ports[0].portName, QStringLiteral("ttyACM0"));
    QCOMPARE(ports[0].systemLocation, QStringLiteral("/dev/") + ports[0].portName);
    QCOMPARE(ports[0].description, QStringLiteral("Coagulation Analyser"));   // the device's, not the interface's
    QCOMPARE(ports[0].vendorId, quint16(0x2341));
    QCOMPARE(ports[0].productId, quint16(0x0043));
    QVERIFY(ports[0].hasVendorId && ports[0].hasProductId);
    QCOMPARE(ports[0].manufacturer, QString());
    QCOMPARE(ports[0].stablePath, QString());

    QCOMPARE(ports[1].portName, QStringLiteral("ttyS0"));
    QVERIFY(!ports[1].hasVendorId);
    QCOMPARE(ports[1].description, QString());
    QCOMPARE(ports[2].portName, QStringLiteral("ttyS4"));
    QVERIFY(!ports[2].hasVendorId && ports[2].serialNumber.isEmpty());

    QCOMPARE(ports[3].portName, QStringLiteral("ttyUSB0"));
    QCOMPARE(ports[3].manufacturer, QStringLiteral("FTDI"));
    QCOMPARE(ports[3].description, QStringLiteral("FT232R USB UART"));
    QCOMPARE(ports[3].serialNumber, QStringLiteral("A10K3XYZ"));
    QCOMPARE(ports[3].vendorId, quint16(0x0403));
    QCOMPARE(ports[3].productId, quint16(0x6001));
    QCOMPARE(ports[3].stablePath,
             root.filePath(QStringLiteral("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0")));

    // The real machine: the same ports as EnumDevices(), in the same order.
    QStringList names;
    for (const Serial::PortInfo &info : Serial::availablePorts())
        names << info.portName;
    QCOMPARE(names, Serial::EnumDevices());
}

QTEST_GUILESS_MAIN(tst_SerialLine)
#include "tst_serialline.moc"
