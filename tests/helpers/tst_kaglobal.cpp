#include <kaglobal.h>

#include <QtCore/QElapsedTimer>
#include <QtSql/QSqlField>
#include <QtTest/QTest>

#include <cmath>
#include <limits>
#include <unistd.h>

class tst_KaGlobal : public QObject
{
    Q_OBJECT

private slots:
    void fraction_data();
    void fraction();
    void fractionNullFlag();
    void dilutionList();
    void round_data();
    void round();
    void setGeneratedValue();
    void eval_data();
    void eval();
    void evalSharesNothing();
    void evalErrors_data();
    void evalErrors();
    void boolLocker();
    void sleepMilliseconds();
};

void tst_KaGlobal::fraction_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<bool>("found");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("1/10") << "1/10" << 0.1 << true;
    QTest::newRow("1:40") << "1:40" << 0.025 << true;
    QTest::newRow("3 / 4") << "3 / 4" << 0.75 << true;
    QTest::newRow("-1/2") << "-1/2" << -0.5 << true;
    QTest::newRow("1/-2") << "1/-2" << -0.5 << true;
    QTest::newRow("+2.5/5") << "+2.5/5" << 0.5 << true;
    QTest::newRow("1./2") << "1./2" << 0.5 << true;
    QTest::newRow("1/2/4") << "1/2/4" << 0.5 << true;
    QTest::newRow("x1/2y") << "x1/2y" << 0.5 << true;
    QTest::newRow("in a sentence") << "dilution 1/20 (manual)" << 0.05 << true;
    QTest::newRow("ideographic spaces") << QStringLiteral("1\u3000/\u30004") << 0.25 << true;
    QTest::newRow(".5/2") << ".5/2" << 2.5 << true;
    QTest::newRow("1/2.5e3") << "1/2.5e3" << 0.4 << true;
    QTest::newRow("10") << "10" << 0.0 << false;
    QTest::newRow("1-2") << "1-2" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("abc") << "abc" << 0.0 << false;
    QTest::newRow("1/0") << "1/0" << inf << true;
    QTest::newRow("-1/0") << "-1/0" << -inf << true;
    QTest::newRow("0/0") << "0/0" << std::nan("") << true;
}

void tst_KaGlobal::fraction()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(bool, found);

    bool flag = !found;   // must be written on every call
    const double value = ::fraction(text, &flag);
    QCOMPARE(flag, found);
    if (std::isnan(expected))
        QVERIFY(std::isnan(value));
    else
        QCOMPARE(value, expected);
}

void tst_KaGlobal::fractionNullFlag()
{
    QCOMPARE(::fraction(QStringLiteral("1/4")), 0.25);
    QCOMPARE(::fraction(QStringLiteral("none"), nullptr), 0.0);
}

void tst_KaGlobal::dilutionList()
{
    QStringList first = ::dilutionList();
    QCOMPARE(first.size(), 19);
    QCOMPARE(first.first(), QStringLiteral("1/1"));
    QCOMPARE(first.at(14), QStringLiteral("1/320"));
    QCOMPARE(first.last(), QStringLiteral("4/5"));
    QCOMPARE(first.mid(15), (QStringList{QStringLiteral("2/5"), QStringLiteral("3/4"),
                                         QStringLiteral("3/5"), QStringLiteral("4/5")}));
    for (const QString &text : first) {
        bool found = false;
        QVERIFY(::fraction(text, &found) > 0 && found);
    }
    first[0] = QStringLiteral("changed");
    QCOMPARE(::dilutionList().first(), QStringLiteral("1/1"));
}

void tst_KaGlobal::round_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<char>("format");
    QTest::addColumn<double>("expected");

    QTest::newRow("2.675 f2") << 2.675 << 2 << 'f' << 2.67;
    QTest::newRow("1.005 f2") << 1.005 << 2 << 'f' << 1.0;
    QTest::newRow("0.125 f2") << 0.125 << 2 << 'f' << 0.12;
    QTest::newRow("2.5 f0") << 2.5 << 0 << 'f' << 2.0;
    QTest::newRow("3.5 f0") << 3.5 << 0 << 'f' << 4.0;
    QTest::newRow("-2.5 f0") << -2.5 << 0 << 'f' << -2.0;
    QTest::newRow("0.375 f2") << 0.375 << 2 << 'f' << 0.38;
    QTest::newRow("123.456 f2") << 123.456 << 2 << 'f' << 123.46;
    QTest::newRow("123.456 g4") << 123.456 << 4 << 'g' << 123.5;
    QTest::newRow("123.456 g2") << 123.456 << 2 << 'g' << 120.0;
    QTest::newRow("123.456 e1") << 123.456 << 1 << 'e' << 120.0;
    QTest::newRow("0.0123456 g3") << 0.0123456 << 3 << 'g' << 0.0123;
    QTest::newRow("E rounds like e") << 0.125 << 1 << 'E' << 0.12;
    QTest::newRow("G rounds like g") << 0.125 << 2 << 'G' << 0.12;
}

void tst_KaGlobal::round()
{
    QFETCH(double, value);
    QFETCH(int, digits);
    QFETCH(char, format);
    QFETCH(double, expected);
    QCOMPARE(::round(value, digits, format), expected);
}

void tst_KaGlobal::setGeneratedValue()
{
    QSqlRecord record;
    record.append(QSqlField(QStringLiteral("sampleNo"), QMetaType(QMetaType::QString)));
    record.append(QSqlField(QStringLiteral("date"), QMetaType(QMetaType::QString)));
    record.setGenerated(0, false);

    ::setGeneratedValue(record, QStringLiteral("SAMPLENO"), QStringLiteral("12"));
    QCOMPARE(record.value(0).toString(), QStringLiteral("12"));
    QVERIFY(record.isGenerated(0));

    const QSqlRecord before = record;
    ::setGeneratedValue(record, QStringLiteral("unknown"), 1);
    QCOMPARE(record, before);
}

void tst_KaGlobal::eval_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("integer sum is a double") << "1+2" << QVariant(3.0);
    QTest::newRow("fraction") << "1/4" << QVariant(0.25);
    QTest::newRow("joined strings") << "'ab' + \"cd\"" << QVariant(QStringLiteral("abcd"));
    QTest::newRow("comparison") << "2>1" << QVariant(true);
    QTest::newRow("empty text") << "" << QVariant();
    QTest::newRow("null") << "null" << QVariant();
    QTest::newRow("array") << "[1, 'a']" << QVariant(QVariantList{1, QStringLiteral("a")});
}

void tst_KaGlobal::eval()
{
    QFETCH(QString, script);
    QFETCH(QVariant, expected);
    const QVariant result = ::eval(script);
    QCOMPARE(result.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(result.metaType(), expected.metaType());
        QCOMPARE(result, expected);
    }
}

void tst_KaGlobal::evalSharesNothing()
{
    QCOMPARE(::eval(QStringLiteral("x = 5")), QVariant(5.0));
    QTest::ignoreMessage(QtWarningMsg, "eval: ReferenceError: x is not defined (line 1)");
    const QVariant unseen = ::eval(QStringLiteral("x"));
    QVERIFY(unseen != QVariant(5.0));
    QVERIFY(unseen.isValid());   // the converted error value
}

void tst_KaGlobal::evalErrors_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QVariant>("expected");   // the value as before: the thrown value converted
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown name, third line")
        << "\n\nfoo + 1" << QVariant(QVariantMap()) << "ReferenceError: foo is not defined (line 3)";
    QTest::newRow("does not parse")
        << "1 +* 2" << QVariant(QVariantMap()) << "SyntaxError: Unexpected token `*' (line 1)";
    QTest::newRow("throws an error")
        << "var a = 1;\nthrow new Error('bad input')" << QVariant(QVariantMap()) << "Error: bad input (line 2)";
    QTest::newRow("throws a string") << "throw 'stop'" << QVariant(QStringLiteral("stop")) << "stop (line 1)";
    QTest::newRow("throws a number") << "throw 5" << QVariant(5.0) << "5 (line 1)";
    // No error: an object is an empty map too, but says nothing.
    QTest::newRow("empty object") << "({})" << QVariant(QVariantMap()) << QString();
}

void tst_KaGlobal::evalErrors()
{
    QFETCH(QString, script);
    QFETCH(QVariant, expected);
    QFETCH(QString, error);

    // The plain form: the same value, and the error as one warning line.
    if (!error.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("eval: ") + error));
    QCOMPARE(::eval(script), expected);

    // The overload hands the error to the caller and logs nothing.
    QString message = QStringLiteral("stale");
    QCOMPARE(::eval(script, &message), expected);
    QCOMPARE(message, error);
}

void tst_KaGlobal::boolLocker()
{
    bool flag = false;
    {
        BoolLocker outer(flag, true);
        QVERIFY(flag);
        {
            BoolLocker inner(flag, false);
            QVERIFY(!flag);
        }
        QVERIFY(flag);
        flag = false;   // whatever the flag holds, the saved value comes back
    }
    QVERIFY(!flag);
}

void tst_KaGlobal::sleepMilliseconds()
{
    QElapsedTimer timer;
    timer.start();
    ::sleep(0);
    ::sleep(-5);
    QVERIFY(timer.elapsed() < 50);
    timer.restart();
    sleep(100);   // with <unistd.h> included: must be milliseconds, not seconds
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 100 && elapsed < 900, qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(tst_KaGlobal)
#include "tst_kaglobal.moc"
