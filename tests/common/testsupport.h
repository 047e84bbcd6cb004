#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Small fixtures shared by the tests: SQLite files made from SQL text, a
// temporary working directory, and a capture of Qt's log messages.

#include <QtCore/QDir>
#include <QtCore/QList>
#include <QtCore/QMutex>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>
#include <QtCore/QUuid>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <QtSql/QSqlRecord>
#include <QtTest/QTest>

namespace testsupport {

// Runs statements on a file through a private connection; returns false and
// logs the error of the first statement that fails.
inline bool execSql(const QString &fileName, const QStringList &statements)
{
    const QString name = QStringLiteral("testsupport-") + QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(fileName);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements) {
            if (!ok)
                break;
            if (!query.exec(statement)) {
                qWarning("execSql: %s: %s", qPrintable(statement),
                         qPrintable(query.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The rows of a select, each row's columns as variants.
inline QList<QVariantList> selectRows(const QString &fileName, const QString &statement)
{
    const QString name = QStringLiteral("testsupport-") + QUuid::createUuid().toString();
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(fileName);
        db.open();
        QSqlQuery query(db);
        if (!query.exec(statement))
            qWarning("selectRows: %s: %s", qPrintable(statement),
                     qPrintable(query.lastError().text()));
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline QVariant selectValue(const QString &fileName, const QString &statement)
{
    const auto rows = selectRows(fileName, statement);
    return rows.isEmpty() || rows.first().isEmpty() ? QVariant() : rows.first().first();
}

// The three files Profile opens, in the working directory: profile.db with
// an empty profile table plus the given statements, data.db made by the
// given statements, and qc.db with one table.
inline bool createStoreFiles(const QStringList &dataStatements = {QStringLiteral("create table t(id)")},
                             const QStringList &profileStatements = {})
{
    return execSql(QStringLiteral("profile.db"),
                   QStringList{QStringLiteral("create table profile(name text primary key, value)")}
                       + profileStatements)
        && execSql(QStringLiteral("data.db"), dataStatements)
        && execSql(QStringLiteral("qc.db"), {QStringLiteral("create table qc(id integer)")});
}

// Makes a fresh temporary directory the working directory for its lifetime.
class WorkingDirectory
{
public:
    WorkingDirectory() : m_previous(QDir::currentPath())
    {
        QVERIFY2(m_dir.isValid(), "no temporary directory");
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingDirectory() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

// Collects warning texts for its lifetime, in order, instead of printing them.
class WarningCapture
{
public:
    WarningCapture() { s_current = this; m_previous = qInstallMessageHandler(handler); }
    ~WarningCapture() { qInstallMessageHandler(m_previous); s_current = nullptr; }
    QStringList warnings() const
    {
        QMutexLocker locker(&m_mutex);
        return m_warnings;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type != QtWarningMsg || !s_current)
            return;
        QMutexLocker locker(&s_current->m_mutex);
        s_current->m_warnings << text;
    }
    inline static WarningCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_warnings;
};

} // namespace testsupport

#endif // TESTSUPPORT_H
