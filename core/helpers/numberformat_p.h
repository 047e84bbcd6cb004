#ifndef NUMBERFORMAT_P_H
#define NUMBERFORMAT_P_H

// Internal to Core.

#include <QtCore/QString>

namespace ka {

// Writes a double the way printf's %e, %E, %f, %g and %G do, in the C locale:
// the exact binary value rounded correctly to the requested digits, exact
// ties to the even digit. Any other format character is taken as 'g'; a
// negative precision as 6. NaN and infinities are written "nan", "inf" and
// "-inf".
//
// Qt 6's QString::number rounds exact ties away from zero (0.125 with 'f', 2
// gives "0.13"), which changes displayed and rounded results.
QString formatDouble(double value, char format, int precision);

} // namespace ka

#endif // NUMBERFORMAT_P_H
