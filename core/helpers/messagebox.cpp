#include "kaglobal.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QThread>
#include <QtGui/QCursor>
#include <QtWidgets/QApplication>

namespace {

QGuiApplication *guiApplication()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance());
}

// A box needs a QApplication and its thread; anywhere else the message goes to
// the log so that a console process never crashes on it.
bool canShowWidgets()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton)
{
    if (!canShowWidgets()) {
        qWarning().noquote() << text;
        return QMessageBox::NoButton;
    }

    const WaitCursor arrow(Qt::ArrowCursor);

    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    if (parent && parent->window())
        parent = parent->window();

    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, parent,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

QMessageBox::StandardButton information(const QString &text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Information, text, buttons, defaultButton);
}

QMessageBox::StandardButton question(const QString &text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Question, text, buttons, defaultButton);
}

QMessageBox::StandardButton warning(const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Warning, text, buttons, defaultButton);
}

QMessageBox::StandardButton critical(const QString &text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Critical, text, buttons, defaultButton);
}

WaitCursor::WaitCursor(Qt::CursorShape shape)
{
    if (guiApplication())
        QGuiApplication::setOverrideCursor(QCursor(shape));
}

WaitCursor::~WaitCursor()
{
    if (guiApplication())
        QGuiApplication::restoreOverrideCursor();
}
