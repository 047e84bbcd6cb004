#include "curvedata.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

CurveData::~CurveData()
{
    if (!m_connection.isEmpty())
        QSqlDatabase::removeDatabase(m_connection);
}

bool CurveData::open(const QString &directory)
{
    m_file = QDir(directory).filePath(QStringLiteral("data.db"));
    const QFileInfo info(m_file);
    if (!info.exists()) {
        m_error = QStringLiteral("%1: no such file (is %2 the workstation's directory?)")
                      .arg(m_file, QDir(directory).absolutePath());
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        m_error = QStringLiteral("%1: cannot be read by this user").arg(m_file);
        return false;
    }
    m_connection = QStringLiteral("curveview");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_file);
    // Read-only: SQLite then never writes or creates the file, and reads
    // wait up to 5 s for a writer that is committing.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        m_error = QStringLiteral("%1: %2").arg(m_file, db.lastError().text());
        return false;
    }
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("select count(*) from sqlite_master where name in ('patient', 'curve')"))
        || !check.next()) {
        m_error = QStringLiteral("%1: %2 (not a database of the workstation?)")
                      .arg(m_file, check.lastError().databaseText());
        return false;
    }
    if (check.value(0).toInt() != 2) {
        m_error = QStringLiteral("%1: has no patient and curve tables (not the workstation's data.db?)").arg(m_file);
        return false;
    }
    return true;
}

bool CurveData::query(bool byPatient, const QString &where, const QVariantList &values, const PatientHandler &handle)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // The newest row of each patient and item, as ClotCurve::load reads it,
    // found in one grouped pass (by the curve index where the file has it),
    // and sorted without the blobs; each blob is then read by its rowid.
    query.prepare(QStringLiteral(
        "select p.id, p.sampleNo, p.date, c.item, n.newest"
        " from (select max(rowid) as newest from curve%1 group by patientId, item) n"
        " join curve c on c.rowid = n.newest join patient p on p.id = c.patientId%2"
        " order by p.date, cast(p.sampleNo as integer), p.sampleNo, p.id, c.item")
                      .arg(byPatient ? QStringLiteral(" where patientId = ?") : QString(),
                           where.isEmpty() ? QString() : QStringLiteral(" where") + where.mid(4)));
    for (const QVariant &value : values)
        query.addBindValue(value);
    QSqlQuery blobs(db);
    blobs.setForwardOnly(true);
    blobs.prepare(QStringLiteral("select curve from curve where rowid = ?"));
    if (!query.exec()) {
        m_error = QStringLiteral("%1: %2").arg(m_file, query.lastError().text());
        return false;
    }
    // One patient at a time: a lab's whole history need not fit in memory.
    PatientCurves current;
    bool any = false;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        if (!any || current.id != id) {
            if (any)
                handle(current);
            current = {id, query.value(1).toString(), query.value(2).toString(), {}};
            any = true;
        }
        blobs.addBindValue(query.value(4));
        QByteArray blob;
        if (blobs.exec() && blobs.next())
            blob = blobs.value(0).toByteArray();
        blobs.finish();
        StoredCurve stored{query.value(3).toString(), ClotCurve::fromBuffer(blob), false, blob.size()};
        // Core decodes as far as the bytes go; a blob that holds less than
        // its counts say no longer encodes to the same bytes.
        stored.damaged = stored.curve.toBuffer() != blob;
        current.curves << stored;
    }
    if (query.lastError().isValid()) {
        m_error = QStringLiteral("%1: %2").arg(m_file, query.lastError().text());
        return false;
    }
    if (any)
        handle(current);
    return true;
}

bool CurveData::list(const QString &date, const QString &sampleNo, const PatientHandler &handle)
{
    QString where;
    QVariantList values;
    if (!date.isEmpty()) {
        where += QStringLiteral(" and p.date = ?");
        values << date;
    }
    if (!sampleNo.isEmpty()) {
        where += QStringLiteral(" and p.sampleNo = ?");
        values << sampleNo;
    }
    return query(false, where, values, handle);
}

bool CurveData::patient(qint64 id, const QStringList &items, PatientCurves *out)
{
    QList<PatientCurves> found;
    if (!query(true, QString(), {id}, [&found](const PatientCurves &p) { found << p; }))
        return false;
    if (found.isEmpty()) {
        QSqlQuery exists(QSqlDatabase::database(m_connection, false));
        exists.prepare(QStringLiteral("select count(*) from patient where id = ?"));
        exists.addBindValue(id);
        const bool known = exists.exec() && exists.next() && exists.value(0).toInt() > 0;
        m_error = known ? QStringLiteral("patient %1 has no clot curves").arg(id)
                        : QStringLiteral("no patient with id %1 in %2").arg(id).arg(m_file);
        return false;
    }
    *out = found.first();
    if (items.isEmpty())
        return true;
    QList<StoredCurve> chosen;
    QStringList have;
    for (const StoredCurve &c : std::as_const(out->curves))
        have << c.item;
    for (const QString &item : items) {
        const qsizetype i = have.indexOf(item);
        if (i < 0) {
            m_error = QStringLiteral("patient %1 has no curve for item %2 (it has: %3)")
                          .arg(id).arg(item, have.join(QLatin1String(", ")));
            return false;
        }
        chosen << out->curves.at(i);
    }
    out->curves = chosen;
    return true;
}
