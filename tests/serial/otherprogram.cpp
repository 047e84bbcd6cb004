// What another program may leave on a port, done with the kernel's termios2
// (kept apart from <termios.h>, which clashes with <asm/termbits.h>).
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool setCustomInputSpeed(int fd, unsigned speed)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = speed;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}
