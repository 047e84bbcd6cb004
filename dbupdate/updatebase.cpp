#include "updatebase.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlDriver>
#include <QtSql/QSqlError>
#include <QtSql/QSqlField>

#include <sqlite3.h>
#include <unistd.h>

namespace {

UpgradeOptions runOptions;

QSqlDatabase defaultDatabase()
{
    return QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
}

// The primary SQLite result code of an error; -1 when it has none.
int sqliteCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

// SQLite result codes after which the transaction can no longer be trusted
// (SQLite may have rolled it back, and later statements would each commit
// on their own): busy, locked, out of memory, read-only, interrupted, I/O
// error, corrupt, disk full, cannot open, protocol error, not a database.
bool abortsTransaction(const QSqlError &error)
{
    switch (sqliteCode(error)) {
    case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 13: case 14: case 15: case 26:
        return true;
    default:
        return false;
    }
}

QString errorText(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

bool directoryWritable(const QString &fileName)
{
    return ::access(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(), W_OK) == 0;
}

// One sentence for service staff: what went wrong with the file and what to
// do about it.
QString describe(const QString &file, const QSqlError &error)
{
    const QString text = errorText(error);
    switch (sqliteCode(error)) {
    case 5: case 6:
        return QStringLiteral("%1 is in use by another program (%2): close the workstation application "
                              "and any other program using %1, and run dbupdate again").arg(file, text);
    case 8: case 14:
        if (!directoryWritable(file))
            return QStringLiteral("the folder %3 does not let this user create the journal %1-journal "
                                  "beside %1 (%2): give this user write permission to the folder, and run "
                                  "dbupdate again").arg(file, text, QFileInfo(file).absolutePath());
        if (sqliteCode(error) == 8)
            return QStringLiteral("%1 is read-only for this user (%2): give this user write permission to "
                                  "%1, or run dbupdate as its owner").arg(file, text);
        return QStringLiteral("Can't open %1: %2: check that %1 is a database file of the workstation "
                              "that this user may read and write").arg(file, text);
    case 10: case 13:
        return QStringLiteral("writing %1 failed (%2): the disk is full, a file size limit was reached or "
                              "the disk failed; free space on the disk (or raise the limit), and run "
                              "dbupdate again").arg(file, text);
    case 11:
        return QStringLiteral("%1 is damaged (%2): restore it from a backup before upgrading").arg(file, text);
    case 26:
        return QStringLiteral("Can't open %1: %2: it is no database of the workstation; restore it from "
                              "a backup").arg(file, text);
    default:
        return QStringLiteral("%1: %2").arg(file, text);
    }
}

// Whether a rollback journal beside the file still holds the file's old
// pages (its header starts with SQLite's journal magic): then the file must
// not be used without it.
bool hasHotJournal(const QString &fileName)
{
    QFile journal(fileName + QLatin1String("-journal"));
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    static const char magic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    return journal.read(8) == QByteArray(magic, 8);
}

qint64 rowCount(const QString &table)
{
    QSqlQuery query(defaultDatabase());
    if (query.exec(QStringLiteral("select count(*) from \"%1\"").arg(table)) && query.next())
        return query.value(0).toLongLong();
    return 0;
}

} // namespace

void UpdateBase::setOptions(const UpgradeOptions &options)
{
    runOptions = options;
}

const UpgradeOptions &UpdateBase::options()
{
    return runOptions;
}

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
    m_report.file = fileName;
    m_report.existed = QFileInfo::exists(fileName);

    // The previous upgrade's registration is replaced; remove it first so Qt
    // does not log the replacement.
    const QString connection = QLatin1String(QSqlDatabase::defaultConnection);
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    // A dry run creates nothing: opening a missing file would.
    if (runOptions.dryRun && !m_report.existed) {
        m_skipped = true;
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(fileName);
    // Wait this long for a lock that another program holds; once the
    // exclusive lock is taken nothing waits again.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        failed(describe(fileName, db.lastError()));
        return;
    }

    if (access == ReadWrite) {
        // EXCLUSIVE rather than IMMEDIATE: in rollback-journal mode it also
        // waits for readers to finish, here, within the busy time-out, so that
        // no cache spill or COMMIT of a large upgrade waits for them again.
        // (In WAL mode it takes the write lock only; readers never block.)
        QSqlQuery begin(db);
        if (begin.exec(QStringLiteral("PRAGMA journal_mode")) && begin.next())
            m_wal = begin.value(0).toString() == QLatin1String("wal");
        begin.finish();
        // In rollback-journal mode the backup is taken between two
        // transactions (SQLite's backup cannot read through a connection in a
        // write transaction, and no other connection can read past the
        // exclusive lock); in exclusive locking mode the connection keeps the
        // file's lock in between.
        if (runOptions.backup && !runOptions.dryRun && m_report.existed && !m_wal)
            begin.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        if (!begin.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
            failed(describe(fileName, begin.lastError()));
            return;
        }
        m_inTransaction = true;
        if (!checkIntegrity("before"))
            return;
    }
    if (!readVersion())
        return;
    m_report.versionBefore = m_report.versionAfter = m_version;
    if (access == ReadWrite) {
        m_before = SchemaSnapshot::take(db);
        if (runOptions.backup && m_report.existed && !backUp())
            return;
    }
    m_ready = true;
}

bool UpdateBase::checkIntegrity(const char *when)
{
    QSqlQuery query(defaultDatabase());
    if (!query.exec(QStringLiteral("PRAGMA quick_check(5)"))) {
        failed(describe(m_fileName, query.lastError()));
        return false;
    }
    QStringList problems;
    while (query.next())
        problems << query.value(0).toString();
    if (query.lastError().isValid()) {
        failed(describe(m_fileName, query.lastError()));
        return false;
    }
    if (problems == QStringList{QStringLiteral("ok")})
        return true;
    failed(QStringLiteral("%1 is damaged: SQLite's check %2 the upgrade found: %3: restore it from a backup "
                          "before upgrading")
               .arg(m_fileName, QLatin1String(when), problems.join(QLatin1String("; "))));
    return false;
}

bool UpdateBase::readVersion()
{
    // No version table, an empty one or a value that is no number count as
    // version 0. Any other error (a damaged page) must not: the version-0
    // steps would run again on an upgraded file.
    QSqlQuery query(defaultDatabase());
    const bool strict = m_inTransaction;
    if (!query.exec(QStringLiteral("select version from version"))) {
        if (!strict || errorText(query.lastError()).startsWith(QLatin1String("no such table")))
            return true;
        failed(describe(m_fileName, query.lastError()));
        return false;
    }
    if (query.next()) {
        m_version = query.value(0).toInt();
    } else if (strict && query.lastError().isValid()) {
        failed(describe(m_fileName, query.lastError()));
        return false;
    }
    return true;
}

bool UpdateBase::backUp()
{
    const QString directory = runOptions.backupDirectory.isEmpty()
        ? QFileInfo(m_fileName).absolutePath() : runOptions.backupDirectory;
    const QString stem = QDir(directory).filePath(
        QFileInfo(m_fileName).fileName() + QLatin1Char('.')
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString path = stem + QLatin1String(".bak");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral("-%1.bak").arg(n);
    if (runOptions.dryRun) {   // a dry run writes nothing: the report names the copy
        m_report.backup = QFileInfo(path).absoluteFilePath();
        return true;
    }

    QString error;
    if (!QDir().mkpath(directory)) {
        error = QStringLiteral("the folder cannot be created");
    } else {
        // SQLite's online backup through this connection, which holds the
        // exclusive lock: the copy is the file exactly as the upgrade found
        // it, WAL content included.
        // Rollback-journal mode: this connection, which keeps its exclusive
        // lock across the end of the transaction (see init()). WAL mode:
        // a second, reading connection; this one holds the write lock and
        // has changed nothing, so both see the same, latest content.
        QSqlQuery transaction(defaultDatabase());
        sqlite3 *source = nullptr;
        sqlite3 *reader = nullptr;
        int rc = SQLITE_OK;
        if (m_wal) {
            rc = sqlite3_open_v2(QFile::encodeName(m_fileName).constData(), &reader, SQLITE_OPEN_READONLY, nullptr);
            source = reader;
        } else {
            if (!transaction.exec(QStringLiteral("COMMIT"))) {
                failed(describe(m_fileName, transaction.lastError()));
                return false;
            }
            m_inTransaction = false;
            source = *static_cast<sqlite3 *const *>(defaultDatabase().driver()->handle().constData());
        }
        sqlite3 *target = nullptr;
        if (rc == SQLITE_OK)
            rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &target,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            if (sqlite3_backup *backup = sqlite3_backup_init(target, "main", source, "main")) {
                rc = sqlite3_backup_step(backup, -1);
                const int finished = sqlite3_backup_finish(backup);
                rc = rc == SQLITE_DONE ? finished : rc;
            } else {
                rc = sqlite3_errcode(target);
            }
        }
        if (rc != SQLITE_OK) {
            error = QString::fromUtf8(target ? sqlite3_errmsg(target)
                                      : reader ? sqlite3_errmsg(reader) : sqlite3_errstr(rc));
        } else {
            // The copy must pass the same check as the file.
            sqlite3_stmt *check = nullptr;
            QString verdict;
            if (sqlite3_prepare_v2(target, "PRAGMA quick_check", -1, &check, nullptr) == SQLITE_OK
                && sqlite3_step(check) == SQLITE_ROW)
                verdict = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
            sqlite3_finalize(check);
            if (verdict != QLatin1String("ok"))
                error = QStringLiteral("the copy fails SQLite's check: %1").arg(verdict);
        }
        sqlite3_close(target);
        sqlite3_close(reader);
        if (!m_inTransaction && !transaction.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
            QFile::remove(path);
            failed(describe(m_fileName, transaction.lastError()));
            return false;
        }
        m_inTransaction = true;
    }
    if (error.isEmpty()) {
        m_report.backup = path;
        return true;
    }
    QFile::remove(path);
    failed(QStringLiteral("the backup of %1 to %2 failed (%3): free room for the copy (about the size of %1) "
                          "or choose another folder with --backup=DIR, and run dbupdate again")
               .arg(m_fileName, path, error));
    return false;
}

void UpdateBase::noteError(const QSqlError &error, const QString &sql)
{
    if (abortsTransaction(error) && !m_aborted) {
        m_aborted = true;
        m_abortError = error;
    }
    // A default added only when missing, which the user already has.
    static const QLatin1String addIfMissing("insert or abort into profile values('");
    if (sqliteCode(error) == 19 && sql.startsWith(addIfMissing))
        m_report.settingsKept << sql.mid(addIfMissing.size()).section(QLatin1Char('\''), 0, 0);
}

void UpdateBase::failed(const QString &cause)
{
    if (m_inTransaction)
        rollBackAndRecover();
    const QString state = hasHotJournal(m_fileName)
        ? QStringLiteral("the upgrade failed; the file must be restored from %1-journal, which SQLite does "
                         "when %1 is next opened by a program that may write it: keep that journal beside "
                         "%1 and do not copy %1 without it").arg(m_fileName)
        : QStringLiteral("the upgrade failed; the file was left as it was");
    qWarning("%s: %s. %s.", qUtf8Printable(m_fileName), qUtf8Printable(state), qUtf8Printable(cause));
    m_report.outcome = UpgradeReport::Failed;
}

void UpdateBase::rollBackAndRecover()
{
    execQuiet(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
    // After an I/O error SQLite's pager may stay in its error state and leave
    // the rollback to the next opener, with the file changed on disk until
    // then. Closing and reopening the file and reading it makes SQLite roll
    // the journal back now.
    QSqlDatabase db = defaultDatabase();
    db.close();
    if (db.open()) {
        QSqlQuery query(db);
        query.exec(QStringLiteral("select count(*) from sqlite_master"));
    }
}

bool UpdateBase::fail(const QString &cause)
{
    if (m_failCause.isEmpty())
        m_failCause = cause;
    return false;
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
        noteError(query.lastError(), sql);
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
        noteError(select.lastError(), select.lastQuery());
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
            noteError(insert.lastError(), insert.lastQuery());
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
        noteError(select.lastError(), select.lastQuery());
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
            noteError(insert.lastError(), insert.lastQuery());
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
    UpgradeReport::Rebuilt rebuilt{table, rowCount(backup), 0};
    if (!copyRows(table, backup))
        return false;
    rebuilt.rowsAfter = rowCount(table);
    m_report.rebuilt << rebuilt;
    exec(QStringLiteral("drop table ") + backup, file, line);
    for (const QString &statement : indexStatements)
        exec(statement, file, line);
    return true;
}

void UpdateBase::expectTable(const QString &table)
{
    if (m_ready && m_report.existed && !m_before.hasTable(table))
        m_report.missingTable = table;
}

bool UpdateBase::finish(bool ok)
{
    if (!m_inTransaction) {
        // A file only read (qc.db): there is nothing to upgrade.
        if (ok && m_ready && !m_aborted) {
            m_report.outcome = UpgradeReport::NothingToUpgrade;
            return true;
        }
        return false;
    }
    if (ok && !m_aborted) {
        if (!checkIntegrity("after"))
            return false;
        m_report.compare(m_before, SchemaSnapshot::take(defaultDatabase()));
        QSqlQuery version(defaultDatabase());
        if (version.exec(QStringLiteral("select version from version")) && version.next())
            m_report.versionAfter = version.value(0).toInt();
        if (runOptions.dryRun) {
            // Every step ran; none of it is kept.
            execQuiet(QStringLiteral("ROLLBACK"));
            m_inTransaction = false;
            m_report.outcome = UpgradeReport::Upgraded;
            return true;
        }
        QSqlQuery commit(defaultDatabase());
        if (commit.exec(QStringLiteral("COMMIT"))) {
            m_inTransaction = false;
            m_report.outcome = UpgradeReport::Upgraded;
            return true;
        }
        logQueryError(commit, __FILE__, __LINE__);
        failed(describe(m_fileName, commit.lastError()));
        return false;
    }
    if (m_aborted)
        failed(describe(m_fileName, m_abortError));
    else if (!m_failCause.isEmpty())
        failed(m_failCause);
    else
        failed(QStringLiteral("a statement above failed: correct what its warning names, and run dbupdate "
                              "again"));
    return false;
}
