#ifndef CORE_KAGLOBAL_H
#define CORE_KAGLOBAL_H

#include "core_export.h"

#include <QtCore/QDate>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtSql/QSqlRecord>
#include <QtWidgets/QMessageBox>

namespace ka {

/// The kind of a sample. Only statim and QC samples have a sample number
/// prefix; every other value is an ordinary sample.
enum SampleType : int {
    OrdinarySample = 0,   ///< a routine sample, no prefix
    StatimSample = 1,     ///< an emergency sample
    QcSample = 2          ///< a quality-control sample
};

} // namespace ka

/// The value of the first ratio found anywhere in text: two decimal numbers
/// (optional sign, digits, optional '.' and digits; no exponent) separated by
/// ':' or '/', white space allowed around the separator ("1/10" gives 0.1,
/// "1 : 40" gives 0.025). *found (when given) tells whether a ratio was found;
/// without one the result is 0.0. A zero denominator gives the IEEE quotient.
/// Safe to call from several threads.
CORE_EXPORT double fraction(const QString &text, bool *found = nullptr);

/// The 19 dilution texts from "1/1" to "4/5", in their fixed order; a new list
/// on every call.
CORE_EXPORT QStringList dilutionList();

/// value written with the format ('e', 'E', 'f', 'g', 'G') and digits as
/// printf does, correctly rounded (exact ties to the even digit), and read
/// back: round(2.675, 2, 'f') is 2.67 (2.675 is stored just below the tie),
/// round(0.125, 2, 'f') is 0.12.
CORE_EXPORT double round(double value, int digits, char format = 'f');

/// One more than the highest numeric sample number of the day in the patient
/// table of data.db ('12b' counts as 12, 'S5' as 0); 1 for a day without
/// samples and after any database failure, which is logged.
CORE_EXPORT int nextSampleNo(const QDate &date);

/// The sample number prefix of a kind of sample: the statim_sample_prefix
/// setting (default "S") for statim samples, qc_sample_prefix (default "QC")
/// for QC samples, nothing otherwise.
CORE_EXPORT QString samplePrefix(ka::SampleType type);

/// Sets a field of the record (name matched without regard to case) and marks
/// it generated, so statements built from the record include it. A name the
/// record lacks changes nothing.
CORE_EXPORT void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value);

/// Evaluates a script expression in a fresh engine (nothing is shared between
/// calls). A number gives a double, a string a QString, a boolean a bool,
/// undefined and null an invalid QVariant; other values, and the error value
/// of a script that fails, their QJSValue::toVariant() form (an error object
/// gives an empty QVariantMap, as ({}) does). A script that throws, does not
/// parse or names an unknown variable also writes one warning line with the
/// error's message and line: "eval: ReferenceError: x is not defined (line 1)".
/// Needs a QCoreApplication: without one, a warning and an invalid QVariant.
CORE_EXPORT QVariant eval(const QString &script);
/// The same, but a script error is handed to the caller instead of the log:
/// *errorMessage is the text of that warning line (without "eval: "), or
/// empty when the script ran without error.
CORE_EXPORT QVariant eval(const QString &script, QString *errorMessage);

/// Suspends the calling thread for the given number of milliseconds; returns
/// at once for 0 or less. Called with an int, sleep(100) resolves to this
/// function, not to POSIX's sleep(unsigned) in seconds from <unistd.h>.
CORE_EXPORT void sleep(int milliseconds);

/// Gives a flag a value for as long as the object lives, then puts back the
/// value the flag had at construction. Not a thread lock.
class BoolLocker
{
public:
    /// Sets flag to value and remembers its previous value.
    explicit BoolLocker(bool &flag, bool value = true)
        : m_flag(&flag), m_saved(flag)
    {
        flag = value;
    }
    ~BoolLocker() { *m_flag = m_saved; }

    BoolLocker(const BoolLocker &) = delete;
    BoolLocker &operator=(const BoolLocker &) = delete;

private:
    bool *m_flag;
    bool m_saved;
};

/// Message boxes. Each shows a modal box titled with the application's name,
/// over the active modal dialog or the active window, with the arrow cursor
/// even while a busy cursor is shown, and returns the button that closed it.
/// The default button is set only when it is not QMessageBox::NoButton.
///
/// Without a QApplication (a console program, a test, a tool), or when called
/// off the application's thread, no widget is made: the text is written as one
/// warning line and QMessageBox::NoButton is returned.
CORE_EXPORT QMessageBox::StandardButton information(
    const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
CORE_EXPORT QMessageBox::StandardButton question(
    const QString &text,
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
CORE_EXPORT QMessageBox::StandardButton warning(
    const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
CORE_EXPORT QMessageBox::StandardButton critical(
    const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

/// Shows the given cursor shape for as long as the object lives (a push on the
/// application's override-cursor stack, popped on destruction). Does nothing
/// without a QGuiApplication.
class CORE_EXPORT WaitCursor
{
public:
    /// Pushes the cursor shape.
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    /// Pops it.
    ~WaitCursor();
    /// Keeps this object's own cursor (assigning changes nothing).
    WaitCursor &operator=(const WaitCursor &) { return *this; }

    /// A copy would pop the cursor twice.
    WaitCursor(const WaitCursor &) = delete;
};

#endif // CORE_KAGLOBAL_H
