#ifndef KAGLOBAL_H
#define KAGLOBAL_H

#include <core_export.h>

#include <QtWidgets/QMessageBox>

// Message boxes. Each shows a modal box titled with the application's name,
// over the active modal dialog or the active window, with the arrow cursor
// even while a busy cursor is shown, and returns the button that closed it.
// The default button is set only when it is not QMessageBox::NoButton.
//
// Without a QApplication (a console program, a test, a tool), or when called
// off the application's thread, no widget is made: the text is written as one
// warning line and QMessageBox::NoButton is returned.
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

// Shows the given cursor shape for as long as the object lives (a push on the
// application's override-cursor stack, popped on destruction). Does nothing
// without a QGuiApplication.
class CORE_EXPORT WaitCursor
{
public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    ~WaitCursor();
    WaitCursor &operator=(const WaitCursor &) { return *this; }

    // A copy would pop the cursor twice.
    WaitCursor(const WaitCursor &) = delete;
};

#endif // KAGLOBAL_H
