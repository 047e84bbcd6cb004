#ifndef SERIAL_P_H
#define SERIAL_P_H

// Internal to Core; exported for its tests.

#include "serial.h"

#include <termios.h>

namespace ka {

// Puts the line settings into terminal attributes: speed, character size,
// parity, stop bits, raw binary mode, no CRTSCTS, no IXON/IXANY,
// CLOCAL|CREAD, HUPCL cleared. Everything else (input flow control, parity
// checking, the modem lines) is left as it was. False, with t unchanged,
// when a value is not supported.
CORE_EXPORT bool applySerialSettings(termios &t, int baudRate, int dataBits,
                                     Serial::Parity parity, Serial::StopBits stopBits);

// The serial ports listed under a sysfs tty class directory (normally
// /sys/class/tty): entries with a device link outside the virtual devices,
// without the legacy 8250 placeholders whose type reads 0, in natural order.
CORE_EXPORT QStringList serialPortsIn(const QString &ttyClassDirectory);

} // namespace ka

#endif // SERIAL_P_H
