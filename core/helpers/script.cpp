#include "kaglobal.h"

#include <QtCore/QCoreApplication>
#include <QtQml/QJSEngine>
#include <QtQml/QJSValue>

#include <chrono>
#include <thread>

namespace {

// The message of a script that threw or did not parse, with its line:
// "ReferenceError: foo is not defined (line 3)".
QString scriptError(const QJSValue &result, const QStringList &stackTrace)
{
    int line = result.isError() ? result.property(QStringLiteral("lineNumber")).toInt() : 0;
    // A frame reads "function:line:column:file".
    if (line <= 0 && !stackTrace.isEmpty())
        line = stackTrace.first().section(QLatin1Char(':'), 1, 1).toInt();
    return QStringLiteral("%1 (line %2)").arg(result.toString()).arg(line);
}

QVariant evaluate(const QString &script, QString *errorMessage)
{
    if (errorMessage)
        errorMessage->clear();
    // The script engine aborts the process when there is no application
    // object; a console caller without one gets no value instead.
    if (!QCoreApplication::instance()) {
        const QString text = QStringLiteral("the script engine needs a QCoreApplication; nothing was evaluated");
        if (errorMessage)
            *errorMessage = text;
        else
            qWarning("eval: %s", qPrintable(text));
        return QVariant();
    }
    QJSEngine engine;   // per call: nothing one script defines reaches the next
    // The engine reports an exception (a throw, a syntax error, an unknown
    // name) only through its stack trace: a thrown value is returned like a
    // result.
    QStringList stackTrace;
    const QJSValue result = engine.evaluate(script, QString(), 1, &stackTrace);
    if (!stackTrace.isEmpty()) {
        const QString text = scriptError(result, stackTrace);
        if (errorMessage)
            *errorMessage = text;
        else
            qWarning("eval: %s", qPrintable(text));
    }
    if (result.isNumber())
        return QVariant(result.toNumber());   // the engine hands integers back as int
    if (result.isString())
        return QVariant(result.toString());
    if (result.isBool())
        return QVariant(result.toBool());
    if (result.isUndefined() || result.isNull())
        return QVariant();
    return result.toVariant();
}

} // namespace

QVariant eval(const QString &script)
{
    return evaluate(script, nullptr);
}

QVariant eval(const QString &script, QString *errorMessage)
{
    return evaluate(script, errorMessage);
}

void sleep(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
