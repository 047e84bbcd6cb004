#include "serial_p.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

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

bool applySerialSettings(termios &t, int baudRate, int dataBits, Serial::Parity parity,
                         Serial::StopBits stopBits)
{
    const speed_t speed = speedConstant(baudRate);
    if (speed == B0)
        return false;   // no standard constant for this rate

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
    if (cfsetispeed(&n, speed) != 0 || cfsetospeed(&n, speed) != 0)
        return false;
    n.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    n.c_cflag |= size | parityBits | stopBit | CLOCAL | CREAD;
    // Raw binary: no input translation, no output processing, no line
    // editing, echo or signals. Input flow control (IXOFF) and parity
    // checking (INPCK) stay as the driver has them.
    n.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY);
    n.c_oflag &= ~OPOST;
    n.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // Time-outs are kept by poll(); VMIN 1 makes a read without data fail
    // with EAGAIN instead of returning 0, which then means a hang-up.
    n.c_cc[VMIN] = 1;
    n.c_cc[VTIME] = 0;
    t = n;
    return true;
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

    const QString path = m_fileName.startsWith(QLatin1Char('/')) ? m_fileName
                                                                  : QLatin1String("/dev/") + m_fileName;
    int access = O_RDONLY;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        access = O_RDWR;
    else if (mode & QIODevice::WriteOnly)
        access = O_WRONLY;

    const int fd = ::open(QFile::encodeName(path).constData(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setErrorString(systemError(errno));
        return false;
    }
    // Exclusive like an unshared Windows handle: the lock keeps out other
    // users of this class, root included; TIOCEXCL keeps out other programs
    // that open the port (except root's).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        setErrorString(systemError(error));
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    m_fd = fd;
    QIODevice::open(mode);
    return true;
}

void Serial::close()
{
    QIODevice::close();
    if (m_fd < 0)
        return;
    // Without TIOCNXCL the port stays exclusive after the close and the next
    // open fails with EBUSY.
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

bool Serial::setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits)
{
    if (m_fd < 0) {
        qWarning("Serial::setSettings: File is not open");
        return false;
    }
    termios t;
    if (::tcgetattr(m_fd, &t) != 0)
        return false;
    if (!ka::applySerialSettings(t, baudRate, dataBits, parity, stopBits))
        return false;
    return ::tcsetattr(m_fd, TCSANOW, &t) == 0;
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
        ::tcflush(m_fd, TCIFLUSH);
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

qint64 Serial::fail(const QString &error, qint64 transferred)
{
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
    const auto failed = [this, &received](const QString &error) { return fail(error, received); };

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
        if (n < 0 && errno != EAGAIN)
            return failed(systemError(errno));
        // Nothing there (EAGAIN, or 0 when VMIN is 0): after a hang-up the
        // device is gone, otherwise wait.
        if (hungUp)
            return failed(tr("The serial device is no longer available"));

        // Wait for more, until the total deadline or the gap after the last
        // byte runs out, whichever comes first.
        QDeadlineTimer wait = deadline;
        if (m_readInterval > 0 && received > 0) {
            const qint64 gapLeft = m_readInterval - sinceLastByte.elapsed();
            if (gapLeft <= 0)
                return received;
            if (gapLeft < wait.remainingTime())
                wait = QDeadlineTimer(gapLeft);
        }
        if (wait.hasExpired())
            return received;
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, pollTimeout(wait));
        if (r < 0 && errno != EINTR)
            return failed(systemError(errno));
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & POLLIN))
            return failed(tr("The serial device is no longer available"));
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
        if (n < 0 && errno != EAGAIN)
            return fail(systemError(errno), written);
        if (deadline.hasExpired())
            return written;
        pollfd p{m_fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, pollTimeout(deadline));
        if (r < 0 && errno != EINTR)
            return fail(systemError(errno), written);
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT))
            return fail(tr("The serial device is no longer available"), written);
    }
}
