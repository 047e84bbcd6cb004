#include "updatebase.h"

#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlDriver>
#include <QtSql/QSqlError>
#include <QtSql/QSqlField>

namespace {

QSqlDatabase defaultDatabase()
{
    return QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
}

// SQLite result codes after which the transaction can no longer be trusted
// (SQLite may have rolled it back, and later statements would each commit
// on their own): busy, locked, out of memory, read-only, interrupted, I/O
// error, corrupt, disk full, cannot open, protocol error, not a database.
bool abortsTransaction(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return false;
    switch (code) {
    case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 13: case 14: case 15: case 26:
        return true;
    default:
        return false;
    }
}

bool isBusy(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}

} // namespace

UpdateBase::UpdateBase(const QString &fileName, QObject *parent)
    : QObject(parent)
{
    init(fileName, ReadWrite);
}

UpdateBase::UpdateBase(const QString &fileName, Access access, QObject *parent)
    : QObject(parent)
{
    init(fileName, access);
}

UpdateBase::~UpdateBase()
{
    if (m_inTransaction)
        execQuiet(QStringLiteral("ROLLBACK"));
}

void UpdateBase::init(const QString &fileName, Access access)
{
    m_fileName = fileName;

    // The previous upgrade's registration is replaced; remove it first so Qt
    // does not log the replacement.
    const QString connection = QLatin1String(QSqlDatabase::defaultConnection);
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(fileName);
    // Wait this long for a lock that the running application holds.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        qWarning("Can't open %s: %s", qUtf8Printable(fileName), qUtf8Printable(db.lastError().text()));
        return;
    }

    if (access == ReadWrite) {
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            if (isBusy(begin.lastError()))
                qWarning("%s is in use by another program (%s); it was not changed",
                         qUtf8Printable(fileName), qUtf8Printable(begin.lastError().text()));
            else
                qWarning("Can't open %s: %s", qUtf8Printable(fileName),
                         qUtf8Printable(begin.lastError().text()));
            return;
        }
        m_inTransaction = true;
    }
    m_ready = true;

    QSqlQuery query(db);
    if (query.exec(QStringLiteral("select version from version")) && query.next())
        m_version = query.value(0).toInt();
}

bool UpdateBase::execQuiet(const QString &sql)
{
    QSqlQuery query(defaultDatabase());
    return query.exec(sql);
}

bool UpdateBase::exec(const QString &sql, const char *file, int line)
{
    // After an error that aborted the transaction nothing more runs: the
    // statements would no longer be part of the upgrade's transaction.
    if (m_aborted)
        return true;
    QSqlQuery query(defaultDatabase());
    if (!query.exec(sql)) {
        logQueryError(query, file, line);
        m_aborted = abortsTransaction(query.lastError());
    }
    return true;
}

bool UpdateBase::renameTable(const QString &oldName, const QString &newName)
{
    // Since SQLite 3.26 a rename rewrites the references of views, triggers
    // and other tables to the new name, which then break when the backup is
    // dropped. The legacy behaviour keeps them naming the table, so they
    // follow the rebuilt one.
    execQuiet(QStringLiteral("PRAGMA legacy_alter_table=ON"));
    exec(QStringLiteral("alter table %1 rename to %2").arg(oldName, newName), __FILE__, __LINE__);
    execQuiet(QStringLiteral("PRAGMA legacy_alter_table=OFF"));
    return true;
}

bool UpdateBase::copyRows(const QString &target, const QString &source, const QSqlRecord &values,
                          const QStringList &leaveOut)
{
    if (m_aborted)
        return false;
    QSqlDatabase db = defaultDatabase();
    QSqlQuery select(db);
    if (!select.exec(QStringLiteral("select * from ") + source)) {
        logQueryError(select, __FILE__, __LINE__);
        m_aborted = abortsTransaction(select.lastError());
        return !m_aborted;
    }

    const QSqlDriver *driver = db.driver();
    const auto quoted = [driver](const QString &name) {
        return driver->escapeIdentifier(name, QSqlDriver::TableName);
    };

    if (values.isEmpty() && leaveOut.isEmpty()) {
        // One statement inside SQLite: every value keeps its SQL type and bits.
        const QSqlRecord columns = select.record();
        select.finish();
        if (columns.isEmpty())
            return true;
        QStringList names;
        for (int i = 0; i < columns.count(); ++i)
            names << driver->escapeIdentifier(columns.fieldName(i), QSqlDriver::FieldName);
        const QString list = names.join(QLatin1String(", "));
        QSqlQuery insert(db);
        if (!insert.exec(QStringLiteral("insert into %1 (%2) select %2 from %3")
                             .arg(quoted(target), list, quoted(source)))) {
            logQueryError(insert, __FILE__, __LINE__);
            m_aborted = abortsTransaction(insert.lastError());
            return false;
        }
        return true;
    }

    // Row by row, the values bound to a prepared insert (never written into
    // the statement's text, which would change blobs and texts). The driver
    // hands an empty blob back as a null byte array, which would bind as
    // NULL: the SQL type of each value, selected beside it, tells them apart.
    const QSqlRecord columns = select.record();
    const int columnCount = columns.count();
    QStringList types;
    for (int i = 0; i < columnCount; ++i)
        types << QStringLiteral("typeof(%1)").arg(driver->escapeIdentifier(columns.fieldName(i), QSqlDriver::FieldName));
    if (columnCount > 0
        && !select.exec(QStringLiteral("select *, %1 from %2").arg(types.join(QLatin1String(", ")), source))) {
        logQueryError(select, __FILE__, __LINE__);
        m_aborted = abortsTransaction(select.lastError());
        return false;
    }
    QSqlQuery insert(db);
    bool prepared = false;
    while (select.next()) {
        QSqlRecord row = select.record();
        for (int i = 0; i < columnCount; ++i) {
            if (select.value(columnCount + i).toString() == QLatin1String("blob")
                && row.value(i).toByteArray().isNull())
                row.setValue(i, QByteArray(""));
        }
        while (row.count() > columnCount)
            row.remove(columnCount);
        for (const QString &name : leaveOut) {
            const int i = row.indexOf(name);
            if (i >= 0)
                row.remove(i);
        }
        for (int i = 0; i < values.count(); ++i) {
            const int j = row.indexOf(values.fieldName(i));
            if (j >= 0)
                row.setValue(j, values.value(i));
            else
                row.append(values.field(i));
        }
        if (!prepared) {
            prepared = insert.prepare(
                driver->sqlStatement(QSqlDriver::InsertStatement, target, row, true));
        }
        for (int i = 0; i < row.count(); ++i)
            insert.bindValue(i, row.value(i));
        if (!prepared || !insert.exec()) {
            logQueryError(insert, __FILE__, __LINE__);
            m_aborted = abortsTransaction(insert.lastError());
            return false;
        }
    }
    return true;
}

void UpdateBase::logQueryError(const QSqlQuery &query, const char *file, int line)
{
    qWarning().noquote() << file << "(" << line << "): " << query.lastError().text() << ": ["
                         << query.lastQuery() << "]";
}

bool UpdateBase::rebuildTable(const QString &table, const QString &createStatement,
                              const QStringList &indexStatements, const char *file, int line)
{
    const QString backup = table + QLatin1String("_bak");
    renameTable(table, backup);
    exec(createStatement, file, line);
    if (!copyRows(table, backup))
        return false;
    exec(QStringLiteral("drop table ") + backup, file, line);
    for (const QString &statement : indexStatements)
        exec(statement, file, line);
    return true;
}

bool UpdateBase::finish(bool ok)
{
    if (!m_inTransaction)
        return ok && m_ready && !m_aborted;
    m_inTransaction = false;
    if (ok && !m_aborted) {
        QSqlQuery commit(defaultDatabase());
        if (commit.exec(QStringLiteral("COMMIT")))
            return true;
        logQueryError(commit, __FILE__, __LINE__);
    }
    execQuiet(QStringLiteral("ROLLBACK"));
    qWarning("%s: the upgrade failed; the file was left as it was", qUtf8Printable(m_fileName));
    return false;
}
