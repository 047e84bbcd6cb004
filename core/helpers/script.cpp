#include "kaglobal.h"

#include <QtCore/QCoreApplication>
#include <QtQml/QJSEngine>
#include <QtQml/QJSValue>

#include <chrono>
#include <thread>

QVariant eval(const QString &script)
{
    // The script engine aborts the process when there is no application
    // object; a console caller without one gets no value instead.
    if (!QCoreApplication::instance()) {
        qWarning("eval: the script engine needs a QCoreApplication; nothing was evaluated");
        return QVariant();
    }
    QJSEngine engine;   // per call: nothing one script defines reaches the next
    const QJSValue result = engine.evaluate(script, QString(), 1);
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

void sleep(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
