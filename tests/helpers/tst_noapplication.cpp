#include <kaglobal.h>

#include <QtTest/QTest>

// A console process without any application object: the helpers that need
// one report instead of crashing.
class tst_NoApplication : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxesLogTheirText();
    void evalGivesNoValue();
};

void tst_NoApplication::messageBoxesLogTheirText()
{
    QVERIFY(!QCoreApplication::instance());
    QTest::ignoreMessage(QtWarningMsg, "first line\nsecond line");
    QCOMPARE(warning(QStringLiteral("first line\nsecond line")), QMessageBox::NoButton);
    QTest::ignoreMessage(QtWarningMsg, "question?");
    QCOMPARE(question(QStringLiteral("question?"), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
             QMessageBox::NoButton);
    WaitCursor cursor;   // nothing to push, nothing to pop
}

void tst_NoApplication::evalGivesNoValue()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^eval: .*QCoreApplication")));
    QVERIFY(!eval(QStringLiteral("1+2")).isValid());
}

QTEST_APPLESS_MAIN(tst_NoApplication)
#include "tst_noapplication.moc"
