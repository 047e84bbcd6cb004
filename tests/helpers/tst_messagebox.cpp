#include <kaglobal.h>

#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QDialog>
#include <QtWidgets/QPushButton>

#include <functional>

using BoxFunction = QMessageBox::StandardButton (*)(const QString &, QMessageBox::StandardButtons,
                                                    QMessageBox::StandardButton);
Q_DECLARE_METATYPE(BoxFunction)

// What the box looked like while it was open.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
    int cursorShape = -1;
};

class tst_MessageBox : public QObject
{
    Q_OBJECT

private slots:
    void boxes_data();
    void boxes();
    void parentIsActiveModalWindow();
    void arrowCursorOverBox();
    void nestedWaitCursors();

private:
    // Closes the next message box with the given button once it is shown.
    SeenBox closeNextBoxWith(QMessageBox::StandardButton button);
    std::function<void()> m_pending;
    SeenBox m_seen;
};

SeenBox tst_MessageBox::closeNextBoxWith(QMessageBox::StandardButton button)
{
    m_seen = SeenBox();
    QTimer::singleShot(0, this, [this, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, this, [this, button] { closeNextBoxWith(button); });
            return;
        }
        m_seen.seen = true;
        m_seen.title = box->windowTitle();
        m_seen.text = box->text();
        m_seen.icon = box->icon();
        m_seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                    : QMessageBox::NoButton;
        m_seen.parent = box->parentWidget();
        m_seen.cursorShape = QGuiApplication::overrideCursor()
                                 ? QGuiApplication::overrideCursor()->shape() : -1;
        box->button(button)->click();
    });
    return m_seen;
}

void tst_MessageBox::boxes_data()
{
    QTest::addColumn<BoxFunction>("function");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("press");
    QTest::addColumn<QString>("appName");

    QTest::newRow("information") << BoxFunction(&information) << int(QMessageBox::Information)
        << int(QMessageBox::Ok) << int(QMessageBox::NoButton) << int(QMessageBox::Ok) << "Workstation";
    QTest::newRow("question, default No") << BoxFunction(&question) << int(QMessageBox::Question)
        << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::No) << int(QMessageBox::Yes)
        << "Workstation";
    QTest::newRow("warning, Ok default") << BoxFunction(&warning) << int(QMessageBox::Warning)
        << int(QMessageBox::Ok | QMessageBox::Cancel) << int(QMessageBox::Ok)
        << int(QMessageBox::Cancel) << "Other";
    QTest::newRow("critical") << BoxFunction(&critical) << int(QMessageBox::Critical)
        << int(QMessageBox::Retry | QMessageBox::Abort) << int(QMessageBox::NoButton)
        << int(QMessageBox::Abort) << "Workstation";
}

void tst_MessageBox::boxes()
{
    QFETCH(BoxFunction, function);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(int, press);
    QFETCH(QString, appName);

    QCoreApplication::setApplicationName(appName);
    closeNextBoxWith(QMessageBox::StandardButton(press));
    const auto result = function(QStringLiteral("message"), QMessageBox::StandardButtons(buttons),
                                 QMessageBox::StandardButton(defaultButton));
    QVERIFY(m_seen.seen);
    QCOMPARE(int(result), press);
    QCOMPARE(m_seen.title, appName);
    QCOMPARE(m_seen.text, QStringLiteral("message"));
    QCOMPARE(int(m_seen.icon), icon);
    QCOMPARE(m_seen.parent, nullptr);
    if (defaultButton != QMessageBox::NoButton)
        QCOMPARE(int(m_seen.defaultButton), defaultButton);
}

void tst_MessageBox::parentIsActiveModalWindow()
{
    QWidget window;
    QDialog dialog(&window);
    dialog.setModal(true);
    window.show();
    dialog.show();
    QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);

    closeNextBoxWith(QMessageBox::Ok);
    warning(QStringLiteral("over the dialog"), QMessageBox::Ok, QMessageBox::NoButton);
    QVERIFY(m_seen.seen);
    QCOMPARE(m_seen.parent, &dialog);
}

void tst_MessageBox::arrowCursorOverBox()
{
    QVERIFY(!QGuiApplication::overrideCursor());
    {
        WaitCursor busy;
        closeNextBoxWith(QMessageBox::Ok);
        information(QStringLiteral("busy"), QMessageBox::Ok, QMessageBox::NoButton);
        QCOMPARE(m_seen.cursorShape, int(Qt::ArrowCursor));
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_MessageBox::nestedWaitCursors()
{
    {
        WaitCursor outer;
        {
            WaitCursor inner(Qt::CrossCursor);
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
        }
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(tst_MessageBox)
#include "tst_messagebox.moc"
