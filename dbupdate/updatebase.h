#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include "upgradereport.h"

#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <QtSql/QSqlRecord>

// Runs a statement of an upgrade with the source location for its warning.
#define UPDATE_EXEC(sql) exec((sql), __FILE__, __LINE__)

// How the upgrades of one run behave, set once by the driver.
struct UpgradeOptions
{
    bool dryRun = false;     // run every step, then roll back (--check)
    bool backup = false;     // copy each file before changing it (--backup)
    QString backupDirectory; // where the copies go; empty: beside the file
};

// The base of the upgrades of one database file.
//
// Construction registers the file as the process's default connection, opens
// it and, for an upgrade that writes, takes the file's exclusive lock with one
// transaction (BEGIN EXCLUSIVE, waiting up to the 5 s busy time-out while
// another program reads or writes it). Holding that lock, no later step
// waits for another program again. It then checks the file with SQLite's
// PRAGMA quick_check, copies it when a backup was asked for, and reads the
// schema version. The upgrade's steps run inside that transaction and
// finish() checks the file again and commits, so an upgrade is applied whole
// or not at all: a failed row copy, or an error that aborts the transaction
// (busy, disk full, I/O), leaves the file exactly as before. After such an
// error the file is reopened so that SQLite rolls its journal back at once,
// and a file whose journal is still needed is reported so. A killed upgrade
// is simply run again.
//
// A statement that fails in an ordinary way (a table that already exists, a
// table that is missing) is logged as one warning line and skipped.
//
// Every failure that ends the upgrade of the file is one warning line naming
// the file, the cause and what to do.
class UpdateBase : public QObject
{
    Q_OBJECT
public:
    enum Access { ReadOnly, ReadWrite };

    UpdateBase(const QString &fileName, QObject *parent = nullptr);
    ~UpdateBase() override;

    static void setOptions(const UpgradeOptions &options);
    static const UpgradeOptions &options();

    // The schema version read at construction; 0 when there is no version
    // table, it is empty, or its value is no number.
    int version() const { return m_version; }
    // True when the upgrade succeeded and its changes were committed (or,
    // in a dry run, would have been).
    virtual bool update() = 0;
    // What the upgrade did (or, in a dry run, would do), for the report.
    const UpgradeReport &report() const { return m_report; }

    // Runs one statement; logs a failure and goes on. Always true.
    bool exec(const QString &sql, const char *file, int line);
    // Renames a table keeping the references of triggers, views and other
    // tables by name, so they follow the table's new declaration. Always true.
    bool renameTable(const QString &oldName, const QString &newName);
    // Copies every row of source into target, with the fields of values set
    // or added and the fields named in leaveOut removed. Values and their SQL
    // types arrive unchanged. False when inserting failed.
    bool copyRows(const QString &target, const QString &source,
                  const QSqlRecord &values = QSqlRecord(),
                  const QStringList &leaveOut = QStringList());
    // One warning line: "<file> ( <line> ):  <error> : [ <statement> ]".
    void logQueryError(const QSqlQuery &query, const char *file, int line);

protected:
    UpdateBase(const QString &fileName, Access access, QObject *parent);

    // Rebuilds a table with a new declaration, keeping its rows and ids:
    // rename to <table>_bak, create, copy, drop the backup, then create the
    // indexes (after the drop, so that an index of the old table with the
    // same name does not hide them). False when the copy failed.
    bool rebuildTable(const QString &table, const QString &createStatement,
                      const QStringList &indexStatements, const char *file, int line);

    // Whether the file is open and, for a writing upgrade, locked for it.
    bool isReady() const { return m_ready; }
    // What update() returns when the file is not ready: true only when there
    // was nothing to do (a dry run on a file that does not exist).
    bool notReadyResult() const { return m_skipped; }
    // Whether a statement failed in a way that aborted the transaction.
    bool isAborted() const { return m_aborted; }
    // Notes in the report that the file lacks a table every installation's
    // file has (so the directory holds no installation).
    void expectTable(const QString &table);
    // Ends the upgrade with a failure of the upgrade's own: cause names the
    // problem and what to do. Returns false.
    bool fail(const QString &cause);
    // Checks again, then commits when ok and nothing aborted the
    // transaction (rolls back in a dry run), otherwise rolls back; returns
    // whether the changes were (or would have been) committed.
    bool finish(bool ok);

private:
    void init(const QString &fileName, Access access);
    bool execQuiet(const QString &sql);
    bool checkIntegrity(const char *when);
    bool readVersion();
    bool backUp();
    void noteError(const QSqlError &error, const QString &sql);
    void failed(const QString &cause);
    void rollBackAndRecover();

    QString m_fileName;
    int m_version = 0;
    bool m_ready = false;
    bool m_skipped = false;
    bool m_inTransaction = false;
    bool m_aborted = false;
    bool m_wal = false;       // the file is in WAL journal mode
    QSqlError m_abortError;   // the error that aborted the transaction
    QString m_failCause;      // the cause given to fail()
    UpgradeReport m_report;
    SchemaSnapshot m_before;
};

#endif // UPDATEBASE_H
