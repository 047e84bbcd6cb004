#ifndef CORE_SERIALTERMIOS_P_H
#define CORE_SERIALTERMIOS_P_H

// Internal to Core; exported for its tests. The line settings as glibc's
// termios structure (not to be included beside <asm/termbits.h>).

#include "serial_p.h"

#include <termios.h>

namespace ka {

// Raw binary mode: no input translation (CR/LF, stripping, break or parity
// marks), no output processing, no echo, line editing or signals, the
// receiver on, modem status ignored, no hang-up on close, no flow control;
// VMIN 1 and VTIME 0 (a read without data fails with EAGAIN; all waiting is
// poll()'s). Parity checking (INPCK) is left as it is.
CORE_EXPORT void makeRaw(termios &t);

// Puts the line settings into terminal attributes on top of makeRaw():
// speed, character size, parity, stop bits. A rate without a standard Bxxx
// code leaves the speed fields alone (setLineSpeed() sets it). False, with
// t unchanged, when a value is not supported.
CORE_EXPORT bool applySerialSettings(termios &t, int baudRate, int dataBits,
                                     Serial::Parity parity, Serial::StopBits stopBits);

// Flow control into terminal attributes: none clears CRTSCTS, IXON, IXOFF and
// IXANY; RTS/CTS sets CRTSCTS; XON/XOFF sets IXON and IXOFF with DC1/DC3.
// False, with t unchanged, for an unknown value.
CORE_EXPORT bool applyFlowControl(termios &t, Serial::FlowControl flow);

// Whether the rate has a standard Bxxx code.
bool isStandardRate(int baudRate);

} // namespace ka

#endif // CORE_SERIALTERMIOS_P_H
