#include "kaglobal.h"

#include "numberformat_p.h"
#include "profile.h"

#include <QtCore/QRegularExpression>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

double fraction(const QString &text, bool *found)
{
    // \d and \s in their Unicode meaning, as QRegExp had them: an ideographic
    // space around the slash still separates. A const compiled pattern is
    // safe to share between threads.
    static const QRegularExpression pattern(
        QStringLiteral("([+-]?\\d+(?:\\.\\d*)?)\\s*[:/]\\s*([+-]?\\d+(?:\\.\\d*)?)"),
        QRegularExpression::UseUnicodePropertiesOption);

    const QRegularExpressionMatch match = pattern.match(text);
    if (found)
        *found = match.hasMatch();
    if (!match.hasMatch())
        return 0.0;
    return match.capturedView(1).toDouble() / match.capturedView(2).toDouble();
}

QStringList dilutionList()
{
    return {QStringLiteral("1/1"),  QStringLiteral("1/2"),   QStringLiteral("1/4"),
            QStringLiteral("1/5"),  QStringLiteral("1/8"),   QStringLiteral("1/10"),
            QStringLiteral("1/16"), QStringLiteral("1/20"),  QStringLiteral("1/30"),
            QStringLiteral("1/40"), QStringLiteral("1/50"),  QStringLiteral("1/80"),
            QStringLiteral("1/100"), QStringLiteral("1/160"), QStringLiteral("1/320"),
            QStringLiteral("2/5"),  QStringLiteral("3/4"),   QStringLiteral("3/5"),
            QStringLiteral("4/5")};
}

double round(double value, int digits, char format)
{
    return ka::formatDouble(value, format, digits).toDouble();
}

int nextSampleNo(const QDate &date)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (!query.prepare(QStringLiteral(
            "select max(cast(sampleNo as integer)) from patient where date=:date")))
        qWarning().noquote() << QLatin1String(".\\kaglobal(145):") << query.lastError().text();
    // The date column holds yyyy-MM-dd text; a null date matches nothing.
    query.bindValue(QStringLiteral(":date"),
                    date.isValid() ? QVariant(date.toString(Qt::ISODate))
                                   : QVariant(QMetaType::fromType<QString>()));
    if (!query.exec())
        qWarning().noquote() << QLatin1String(".\\kaglobal(148):") << query.lastError().text();
    if (!query.isActive() || !query.next())
        return 1;
    return query.value(0).toInt() + 1;
}

QString samplePrefix(ka::SampleType type)
{
    switch (type) {
    case ka::StatimSample:
        return Profile::instance().statim_sample_prefix(QStringLiteral("S"));
    case ka::QcSample:
        return Profile::instance().qc_sample_prefix(QStringLiteral("QC"));
    default:
        return QString();
    }
}

void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value)
{
    const int index = record.indexOf(name);
    if (index < 0)
        return;
    record.setValue(index, value);
    record.setGenerated(index, true);
}
