#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtSql/QSqlQuery>
#include <QtSql/QSqlRecord>

// Runs a statement of an upgrade with the source location for its warning.
#define UPDATE_EXEC(sql) exec((sql), __FILE__, __LINE__)

// The base of the upgrades of one database file.
//
// Construction registers the file as the process's default connection, opens
// it and, for an upgrade that writes, takes the file's write lock with one
// transaction (BEGIN IMMEDIATE, waiting up to the busy timeout while another
// program holds it) before it reads the schema version. The upgrade's steps
// run inside that transaction and finish() commits it, so an upgrade is
// applied whole or not at all: a failed row copy, or an error that aborts
// the transaction (busy, disk full, I/O), leaves the file exactly as before,
// and a killed upgrade is simply run again.
//
// A statement that fails in an ordinary way (a table that already exists, a
// table that is missing) is logged as one warning line and skipped.
class UpdateBase : public QObject
{
    Q_OBJECT
public:
    enum Access { ReadOnly, ReadWrite };

    UpdateBase(const QString &fileName, QObject *parent = nullptr);
    ~UpdateBase() override;

    // The schema version read at construction; 0 when there is no version
    // table, it is empty, or its value is no number.
    int version() const { return m_version; }
    // True when the upgrade succeeded and its changes were committed.
    virtual bool update() = 0;

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
    // Whether a statement failed in a way that aborted the transaction.
    bool isAborted() const { return m_aborted; }
    // Commits when ok and nothing aborted the transaction, otherwise rolls
    // back; returns whether the changes were committed.
    bool finish(bool ok);

private:
    void init(const QString &fileName, Access access);
    bool execQuiet(const QString &sql);

    QString m_fileName;
    int m_version = 0;
    bool m_ready = false;
    bool m_inTransaction = false;
    bool m_aborted = false;
};

#endif // UPDATEBASE_H
