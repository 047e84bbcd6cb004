#ifndef CORE_SERIAL_P_H
#define CORE_SERIAL_P_H

// Internal to Core; exported for its tests. Includes no termios header:
// serialline.cpp uses the kernel's <asm/termbits.h>, which cannot share a
// file with glibc's <termios.h> (see serialtermios_p.h for those parts).

#include "serial.h"

namespace ka {

// The serial ports listed under a sysfs tty class directory (normally
// /sys/class/tty): entries with a device link outside the virtual devices,
// without the legacy 8250 placeholders whose type reads 0, in natural order.
CORE_EXPORT QStringList serialPortsIn(const QString &ttyClassDirectory);

// Those ports with their details, read by walking up from each tty's device
// in sysfs to the USB device that has them (idVendor, idProduct,
// manufacturer, product, serial), and the link in byIdDirectory (normally
// /dev/serial/by-id) that points at the port.
CORE_EXPORT QList<Serial::PortInfo> serialPortInfosIn(const QString &ttyClassDirectory,
                                                      const QString &byIdDirectory);

// Sets both speeds of the line to baudRate with the kernel's termios2: a
// standard rate keeps the Bxxx code termios set, any other becomes BOTHER;
// the input speed follows the output speed. Read back to confirm; false with
// *error set when the driver refuses or changes the rate.
CORE_EXPORT bool setLineSpeed(int fd, int baudRate, bool standardRate, QString *error);

// The speeds as the kernel's termios2 reports them (zero when it cannot).
struct LineSpeed
{
    quint32 input = 0;
    quint32 output = 0;
    bool customOutput = false;   // BOTHER in the output speed bits
    bool customInput = false;    // BOTHER in the input speed bits
};
CORE_EXPORT LineSpeed lineSpeed(int fd);

// The whole line state (termios2) as bytes, and putting it back.
QByteArray saveLine(int fd);
bool restoreLine(int fd, const QByteArray &saved);

// The modem-control bits (TIOCM_*) of a set of signals, and back.
CORE_EXPORT int modemBits(Serial::PinoutSignals lines);
CORE_EXPORT Serial::PinoutSignals pinoutSignals(int modemBits);

} // namespace ka

#endif // CORE_SERIAL_P_H
