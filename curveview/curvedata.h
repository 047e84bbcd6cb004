#ifndef CURVEDATA_H
#define CURVEDATA_H

#include <analysisresult.h>

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtSql/QSqlDatabase>

#include <functional>

// One stored clot curve of a patient: the newest row of its item (the one
// ClotCurve::load reads), decoded by Core.
struct StoredCurve
{
    QString item;
    ClotCurve curve;
    bool damaged = false;   // the blob holds less than its counts say
    qint64 bytes = 0;
};

struct PatientCurves
{
    qint64 id = 0;
    QString sampleNo;
    QString date;
    QList<StoredCurve> curves;
};

// data.db of an installation, opened read-only: never changed, never
// created, readable while the application holds it.
class CurveData
{
public:
    ~CurveData();
    // False with error() set when data.db is missing, unreadable or no database.
    bool open(const QString &directory);
    QString error() const { return m_error; }

    using PatientHandler = std::function<void(const PatientCurves &)>;

    // The patients that have curves, with their curves, optionally of one
    // day or one sample number; in order of day, sample number and id,
    // handed over one patient at a time.
    bool list(const QString &date, const QString &sampleNo, const PatientHandler &handle);
    // One patient's curves (all items, or those named); false with error()
    // for an unknown patient or item.
    bool patient(qint64 id, const QStringList &items, PatientCurves *out);

private:
    // where: " and <condition>"... on patient p; byPatient: the first value
    // is a patient id.
    bool query(bool byPatient, const QString &where, const QVariantList &values, const PatientHandler &handle);

    QString m_connection;
    QString m_file;
    QString m_error;
};

#endif // CURVEDATA_H
