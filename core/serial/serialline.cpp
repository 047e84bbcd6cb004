// The parts of the serial port that need the kernel's termios2 interface
// (<asm/termbits.h>): any baud rate with BOTHER, separate input and output
// speeds, and the whole line state saved at open() and restored at close().
// <asm/termbits.h> and glibc's <termios.h> define the same structures
// differently, so this file includes only the former and serial.cpp only the
// latter; they meet through the functions declared in serial_p.h.
#include "serial_p.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

namespace ka {

namespace {

// The input speed field of c_cflag; zero means "the same as the output".
constexpr tcflag_t inputSpeedBits = CBAUD << IBSHIFT;

} // namespace

bool setLineSpeed(int fd, int baudRate, bool standardRate, QString *error)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        *error = qt_error_string(errno);
        return false;
    }
    // A standard rate was set through termios (the Bxxx code is in CBAUD);
    // any other goes as BOTHER with the rate itself. Either way the input
    // speed follows the output speed: a custom input speed that another
    // program left (BOTHER in the input bits) would otherwise stay.
    t.c_cflag &= ~inputSpeedBits;
    if (!standardRate) {
        t.c_cflag &= ~CBAUD;
        t.c_cflag |= BOTHER;
    }
    t.c_ospeed = t.c_ispeed = speed_t(baudRate);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        *error = qt_error_string(errno);
        return false;
    }
    // Read back: a driver that cannot make the rate changes or refuses it.
    termios2 check{};
    if (::ioctl(fd, TCGETS2, &check) != 0) {
        *error = qt_error_string(errno);
        return false;
    }
    const bool custom = (check.c_cflag & CBAUD) == BOTHER;
    const double ratio = double(check.c_ospeed) / double(baudRate);
    if (custom == standardRate || ratio < 0.97 || ratio > 1.03 || (check.c_cflag & inputSpeedBits) != 0) {
        *error = QStringLiteral("the driver does not accept %1 baud (it reports %2)")
                     .arg(baudRate).arg(check.c_ospeed);
        return false;
    }
    return true;
}

LineSpeed lineSpeed(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return {};
    const tcflag_t input = (t.c_cflag & inputSpeedBits) >> IBSHIFT;
    return {quint32(t.c_ispeed), quint32(t.c_ospeed), (t.c_cflag & CBAUD) == BOTHER,
            input == BOTHER};
}

QByteArray saveLine(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(&t), sizeof t);
}

bool restoreLine(int fd, const QByteArray &saved)
{
    if (saved.size() != qsizetype(sizeof(termios2)))
        return false;
    termios2 t{};
    std::memcpy(&t, saved.constData(), sizeof t);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

} // namespace ka
