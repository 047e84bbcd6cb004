#include "serialtermios_p.h"

#include <QtCore/QAbstractEventDispatcher>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSocketNotifier>
#include <QtCore/QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

speed_t speedConstant(int baudRate)
{
    switch (baudRate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

// poll()'s time-out for what is left of a deadline, rounded up to whole ms.
int pollTimeout(const QDeadlineTimer &deadline)
{
    const qint64 ns = deadline.remainingTimeNSecs();
    if (ns <= 0)
        return 0;
    return int(std::min<qint64>((ns + 999999) / 1000000, 1 << 30));
}

QString systemError(int error)
{
    return qt_error_string(error);
}

Serial::SerialError errorKind(int error)
{
    switch (error) {
    case ENOENT: case ENODEV: case ENXIO: case ENOTTY: return Serial::DeviceNotFoundError;
    case EACCES: case EPERM: case EROFS: return Serial::PermissionError;
    case EBUSY: return Serial::InUseError;
    case EIO: return Serial::DeviceRemovedError;
    case EINVAL: return Serial::UnsupportedOperationError;
    default: return Serial::UnknownError;
    }
}

// The first line of a small sysfs attribute file; empty when there is none.
QString attribute(const QString &directory, const char *name)
{
    QFile f(directory + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readLine(4096)).trimmed();
}

// Orders names like ttyS2 before ttyS10: by the text before the trailing
// digits, then by their number.
bool naturalLess(const QString &a, const QString &b)
{
    const auto split = [](const QString &name) {
        qsizetype i = name.size();
        while (i > 0 && name.at(i - 1).isDigit())
            --i;
        return std::pair{name.left(i), name.mid(i).toULongLong()};
    };
    const auto sa = split(a);
    const auto sb = split(b);
    return sa != sb ? sa < sb : a < b;
}

} // namespace

namespace ka {

bool isStandardRate(int baudRate)
{
    return speedConstant(baudRate) != B0;
}

void makeRaw(termios &t)
{
    t.c_cflag &= ~(CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // Time-outs are kept by poll(); VMIN 1 makes a read without data fail
    // with EAGAIN instead of returning 0, which then means a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

bool applyFlowControl(termios &t, Serial::FlowControl flow)
{
    switch (flow) {
    case Serial::NoFlowControl:
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        return true;
    case Serial::HardwareFlowControl:
        t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        return true;
    case Serial::SoftwareFlowControl:
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~IXANY;
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;   // DC1
        t.c_cc[VSTOP] = 0x13;    // DC3
        return true;
    }
    return false;
}

bool applySerialSettings(termios &t, int baudRate, int dataBits, Serial::Parity parity,
                         Serial::StopBits stopBits)
{
    if (baudRate <= 0)
        return false;
    const speed_t speed = speedConstant(baudRate);

    tcflag_t size = 0;
    switch (dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
    }

    tcflag_t parityBits = 0;
    switch (parity) {
    case Serial::NoParity: break;
    case Serial::OddParity: parityBits = PARENB | PARODD; break;
    case Serial::EvenParity: parityBits = PARENB; break;
    case Serial::MarkParity: parityBits = PARENB | CMSPAR | PARODD; break;
    case Serial::SpaceParity: parityBits = PARENB | CMSPAR; break;
    default: return false;
    }

    tcflag_t stopBit = 0;
    switch (stopBits) {
    case Serial::OneStopBit: break;
    case Serial::TwoStopBits: stopBit = CSTOPB; break;
    case Serial::OneAndHalfStopBits:
        // Common UARTs send one and a half stop bits for CSTOPB with 5 data bits.
        if (dataBits != 5)
            return false;
        stopBit = CSTOPB;
        break;
    default: return false;
    }

    termios n = t;
    // A rate without a standard code is set by setLineSpeed() (BOTHER).
    if (speed != B0 && (cfsetispeed(&n, speed) != 0 || cfsetospeed(&n, speed) != 0))
        return false;
    makeRaw(n);
    n.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    n.c_cflag |= size | parityBits | stopBit;
    t = n;
    return true;
}

int modemBits(Serial::PinoutSignals lines)
{
    int bits = 0;
    if (lines & Serial::DataTerminalReadySignal) bits |= TIOCM_DTR;
    if (lines & Serial::RequestToSendSignal) bits |= TIOCM_RTS;
    if (lines & Serial::ClearToSendSignal) bits |= TIOCM_CTS;
    if (lines & Serial::DataSetReadySignal) bits |= TIOCM_DSR;
    if (lines & Serial::DataCarrierDetectSignal) bits |= TIOCM_CD;
    if (lines & Serial::RingIndicatorSignal) bits |= TIOCM_RI;
    return bits;
}

Serial::PinoutSignals pinoutSignals(int bits)
{
    Serial::PinoutSignals lines;
    if (bits & TIOCM_DTR) lines |= Serial::DataTerminalReadySignal;
    if (bits & TIOCM_RTS) lines |= Serial::RequestToSendSignal;
    if (bits & TIOCM_CTS) lines |= Serial::ClearToSendSignal;
    if (bits & TIOCM_DSR) lines |= Serial::DataSetReadySignal;
    if (bits & TIOCM_CD) lines |= Serial::DataCarrierDetectSignal;
    if (bits & TIOCM_RI) lines |= Serial::RingIndicatorSignal;
    return lines;
}

QList<Serial::PortInfo> serialPortInfosIn(const QString &ttyClassDirectory, const QString &byIdDirectory)
{
    // /dev/serial/by-id/<stable name> -> ../../ttyUSB0: by the link's last part.
    QHash<QString, QString> stable;
    const QDir byId(byIdDirectory);
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.isSymLink())
            stable.insert(QFileInfo(link.symLinkTarget()).fileName(), link.absoluteFilePath());
    }

    QList<Serial::PortInfo> ports;
    for (const QString &name : serialPortsIn(ttyClassDirectory)) {
        Serial::PortInfo info;
        info.portName = name;
        info.systemLocation = QLatin1String("/dev/") + name;
        info.stablePath = stable.value(name);
        // Up from the tty's device to the USB device that describes it: a
        // few levels (port, interface, device) at most.
        QString directory = QFileInfo(QDir(ttyClassDirectory).filePath(name + QLatin1String("/device")))
                                .canonicalFilePath();
        for (int level = 0; level < 6 && !directory.isEmpty() && directory != QLatin1String("/"); ++level) {
            const QString vendor = attribute(directory, "idVendor");
            if (!vendor.isEmpty()) {
                info.vendorId = quint16(vendor.toUInt(&info.hasVendorId, 16));
                info.productId = quint16(attribute(directory, "idProduct").toUInt(&info.hasProductId, 16));
                info.manufacturer = attribute(directory, "manufacturer");
                info.description = attribute(directory, "product");
                info.serialNumber = attribute(directory, "serial");
                break;
            }
            if (info.description.isEmpty())
                info.description = attribute(directory, "interface");   // a USB interface's own name
            directory = QFileInfo(directory).path();
        }
        ports << info;
    }
    return ports;
}

QStringList serialPortsIn(const QString &ttyClassDirectory)
{
    QStringList ports;
    const QDir dir(ttyClassDirectory);
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : entries) {
        const QString entry = dir.filePath(name);
        const QFileInfo device(entry + QLatin1String("/device"));
        if (!device.exists())
            continue;   // virtual terminals, consoles, pseudo-terminals
        if (QFileInfo(entry).canonicalFilePath().contains(QLatin1String("/virtual/"))
            || device.canonicalFilePath().contains(QLatin1String("/virtual/")))
            continue;
        QFile type(entry + QLatin1String("/type"));
        if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0")
            continue;   // an 8250 port without a UART behind it
        ports << name;
    }
    std::sort(ports.begin(), ports.end(), naturalLess);
    return ports;
}

} // namespace ka

Serial::Serial(QObject *parent)
    : QIODevice(parent)
{
}

Serial::~Serial()
{
    if (isOpen())
        close();
}

QStringList Serial::EnumDevices()
{
    return ka::serialPortsIn(QStringLiteral("/sys/class/tty"));
}

QList<Serial::PortInfo> Serial::availablePorts()
{
    return ka::serialPortInfosIn(QStringLiteral("/sys/class/tty"), QStringLiteral("/dev/serial/by-id"));
}

void Serial::setFileName(const QString &name)
{
    m_fileName = name;
}

QString Serial::fileName() const
{
    return m_fileName;
}

void *Serial::handle() const
{
    return reinterpret_cast<void *>(static_cast<intptr_t>(m_fd));
}

bool Serial::open()
{
    return open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool Serial::open(OpenMode mode)
{
    if (isOpen()) {
        qWarning("Serial::open: Serial (%s) is already open", m_fileName.toUtf8().constData());
        return false;
    }
    m_error = NoError;

    const QString path = m_fileName.startsWith(QLatin1Char('/')) ? m_fileName
                                                                  : QLatin1String("/dev/") + m_fileName;
    int access = O_RDONLY;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        access = O_RDWR;
    else if (mode & QIODevice::WriteOnly)
        access = O_WRONLY;

    const int fd = ::open(QFile::encodeName(path).constData(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        failSetting(errorKind(error), systemError(error));
        return false;
    }
    const auto refuse = [this, fd](SerialError kind, const QString &error) {
        ::close(fd);
        return failSetting(kind, error);
    };
    if (!::isatty(fd))
        return refuse(DeviceNotFoundError, tr("%1 is not a serial port (not a terminal device)").arg(path));
    // Exclusive like an unshared Windows handle: the lock keeps out other
    // users of this class, root included; TIOCEXCL keeps out other programs
    // that open the port (except root's).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        return refuse(errorKind(error), systemError(error));
    }
    // Exclusive mode that another program (as root) set stays when we close.
    int wasExclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &wasExclusive) != 0)
        wasExclusive = 0;
    m_clearExclusive = !wasExclusive && ::ioctl(fd, TIOCEXCL) == 0;

    // Raw from the start: a line left in canonical mode with echo would send
    // the instrument's own bytes back to it until setSettings().
    m_savedLine = ka::saveLine(fd);
    termios t;
    if (::tcgetattr(fd, &t) == 0) {
        ka::makeRaw(t);
        ka::applyFlowControl(t, m_flow);
        ::tcsetattr(fd, TCSANOW, &t);
    }

    m_fd = fd;
    QIODevice::open(mode);
    // readyRead() for applications with an event loop in this thread.
    if (QAbstractEventDispatcher::instance(thread())) {
        m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Serial::notifierActivated);
    }
    return true;
}

void Serial::notifierActivated()
{
    // Level-triggered: quiet until the application reads, so that an
    // application that does not read at once is not called in a loop.
    m_notifier->setEnabled(false);
    Q_EMIT readyRead();
}

void Serial::close()
{
    QIODevice::close();
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd < 0)
        return;
    ka::restoreLine(m_fd, m_savedLine);
    // Without TIOCNXCL the port stays exclusive after the close and the next
    // open fails with EBUSY.
    if (m_clearExclusive)
        ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

bool Serial::failSetting(SerialError kind, const QString &error)
{
    m_error = kind;
    setErrorString(error);
    return false;
}

bool Serial::setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits)
{
    if (m_fd < 0) {
        qWarning("Serial::setSettings: File is not open");
        return failSetting(UnsupportedOperationError, tr("The serial port is not open"));
    }
    termios t;
    if (::tcgetattr(m_fd, &t) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    if (!ka::applySerialSettings(t, baudRate, dataBits, parity, stopBits)) {
        return failSetting(UnsupportedOperationError,
                           tr("Unsupported line settings: %1 baud, %2 data bits, parity %3, stop bits %4")
                               .arg(baudRate).arg(dataBits).arg(int(parity)).arg(int(stopBits)));
    }
    ka::applyFlowControl(t, m_flow);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    QString error;
    if (!ka::setLineSpeed(m_fd, baudRate, ka::isStandardRate(baudRate), &error))
        return failSetting(UnsupportedOperationError, tr("Unsupported baud rate %1: %2").arg(baudRate).arg(error));
    return true;
}

bool Serial::setTimeouts(int readInterval, int readTotalConstant, int writeTotalConstant)
{
    if (m_fd < 0 || readInterval < 0 || readTotalConstant < 0 || writeTotalConstant < 0)
        return false;
    m_readInterval = readInterval;
    m_readConstant = readTotalConstant;
    m_writeConstant = writeTotalConstant;
    return true;
}

void Serial::clearInputBuffer()
{
    if (m_fd >= 0)
        clear(Input);
}

bool Serial::clear(Directions directions)
{
    if (m_fd < 0 || !(directions & AllDirections))
        return false;
    const int queue = directions == AllDirections ? TCIOFLUSH : (directions & Input) ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(m_fd, queue) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    return true;
}

bool Serial::setFlowControl(FlowControl flow)
{
    termios t;
    if (m_fd >= 0 && ::tcgetattr(m_fd, &t) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    if (!ka::applyFlowControl(t, flow))
        return failSetting(UnsupportedOperationError, tr("Unknown flow control %1").arg(int(flow)));
    if (m_fd >= 0 && ::tcsetattr(m_fd, TCSANOW, &t) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    m_flow = flow;
    return true;
}

Serial::FlowControl Serial::flowControl() const
{
    return m_flow;
}

bool Serial::setModemLine(int bit, bool on)
{
    if (m_fd < 0)
        return failSetting(UnsupportedOperationError, tr("The serial port is not open"));
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        const int error = errno;
        return failSetting(error == ENOTTY || error == EINVAL ? UnsupportedOperationError : errorKind(error),
                           tr("The port has no modem control lines: %1").arg(systemError(error)));
    }
    return true;
}

bool Serial::setDataTerminalReady(bool on)
{
    return setModemLine(TIOCM_DTR, on);
}

bool Serial::setRequestToSend(bool on)
{
    return setModemLine(TIOCM_RTS, on);
}

Serial::PinoutSignals Serial::pinoutSignals()
{
    int bits = 0;
    if (m_fd < 0) {
        failSetting(UnsupportedOperationError, tr("The serial port is not open"));
        return NoSignal;
    }
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0) {
        const int error = errno;
        failSetting(error == ENOTTY || error == EINVAL ? UnsupportedOperationError : errorKind(error),
                    tr("The port has no modem control lines: %1").arg(systemError(error)));
        return NoSignal;
    }
    return ka::pinoutSignals(bits);
}

bool Serial::sendBreak(int milliseconds)
{
    if (m_fd < 0 || milliseconds < 0)
        return failSetting(UnsupportedOperationError, tr("The serial port is not open"));
    if (::ioctl(m_fd, TIOCSBRK) != 0) {
        const int error = errno;
        return failSetting(error == ENOTTY || error == EINVAL ? UnsupportedOperationError : errorKind(error),
                           tr("The port cannot send a break: %1").arg(systemError(error)));
    }
    QThread::msleep(ulong(milliseconds));
    if (::ioctl(m_fd, TIOCCBRK) != 0) {
        const int error = errno;
        return failSetting(errorKind(error), systemError(error));
    }
    return true;
}

Serial::SerialError Serial::error() const
{
    return m_error;
}

void Serial::clearError()
{
    m_error = NoError;
}

qint64 Serial::bytesAvailable() const
{
    if (m_fd < 0)
        return 0;
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0)
        waiting = 0;
    return waiting + QIODevice::bytesAvailable();
}

qint64 Serial::fail(SerialError kind, const QString &error, qint64 transferred)
{
    m_error = kind;
    setErrorString(error);
    return transferred > 0 ? transferred : -1;
}

qint64 Serial::readData(char *data, qint64 maxSize)
{
    if (m_fd < 0)
        return -1;
    // A count as the system takes it: at most 2^32 - 1 bytes per call.
    const qint64 count = std::min<qint64>(maxSize, 0xffffffffLL);
    if (count <= 0)
        return 0;

    const QDeadlineTimer deadline(count + m_readConstant);
    QElapsedTimer sinceLastByte;
    qint64 received = 0;
    bool hungUp = false;
    const auto failed = [this, &received](SerialError kind, const QString &error) {
        return fail(kind, error, received);
    };
    // Reading re-arms readyRead().
    if (m_notifier)
        m_notifier->setEnabled(true);
    const auto timedOut = [this, &received] {
        m_error = TimeoutError;
        setErrorString(tr("The read timed out"));
        return received;
    };

    for (;;) {
        const ssize_t n = ::read(m_fd, data + received, size_t(count - received));
        if (n > 0) {
            received += n;
            if (received == count)
                return received;
            sinceLastByte.start();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const int error = errno;
            return failed(errorKind(error), systemError(error));
        }
        // Nothing there (EAGAIN, or 0 when VMIN is 0): after a hang-up the
        // device is gone, otherwise wait.
        if (hungUp) {
            if (m_notifier)
                m_notifier->setEnabled(false);   // it would fire for the hang-up forever
            return failed(DeviceRemovedError, tr("The serial device is no longer available"));
        }

        // Wait for more, until the total deadline or the gap after the last
        // byte runs out, whichever comes first.
        QDeadlineTimer wait = deadline;
        if (m_readInterval > 0 && received > 0) {
            const qint64 gapLeft = m_readInterval - sinceLastByte.elapsed();
            if (gapLeft <= 0)
                return received;   // the gap after the data: not a time-out
            if (gapLeft < wait.remainingTime())
                wait = QDeadlineTimer(gapLeft);
        }
        if (wait.hasExpired())
            return wait.deadlineNSecs() == deadline.deadlineNSecs() ? timedOut() : received;
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, pollTimeout(wait));
        if (r < 0 && errno != EINTR) {
            const int error = errno;
            return failed(errorKind(error), systemError(error));
        }
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & POLLIN))
            return failed(DeviceRemovedError, tr("The serial device is no longer available"));
        if (r > 0 && (p.revents & POLLHUP))
            hungUp = true;   // read what is left, then stop
    }
}

qint64 Serial::writeData(const char *data, qint64 maxSize)
{
    if (m_fd < 0)
        return -1;
    const qint64 count = std::min<qint64>(maxSize, 0xffffffffLL);
    if (count <= 0)
        return 0;

    const QDeadlineTimer deadline(count + m_writeConstant);
    qint64 written = 0;
    for (;;) {
        const ssize_t n = ::write(m_fd, data + written, size_t(count - written));
        if (n > 0) {
            written += n;
            if (written == count)
                return written;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const int error = errno;
            return fail(errorKind(error), systemError(error), written);
        }
        if (deadline.hasExpired()) {
            m_error = TimeoutError;
            setErrorString(tr("The write timed out"));
            return written;
        }
        pollfd p{m_fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, pollTimeout(deadline));
        if (r < 0 && errno != EINTR) {
            const int error = errno;
            return fail(errorKind(error), systemError(error), written);
        }
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT))
            return fail(DeviceRemovedError, tr("The serial device is no longer available"), written);
    }
}
