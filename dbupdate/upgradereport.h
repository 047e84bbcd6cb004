#ifndef UPGRADEREPORT_H
#define UPGRADEREPORT_H

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QStringList>
#include <QtSql/QSqlDatabase>

// What a file holds that the report compares before and after the upgrade:
// its schema objects, and the settings and reagents where it has them.
struct SchemaSnapshot
{
    QMap<QString, QString> objects;    // "<type> <name>" -> its SQL
    QMap<QString, QString> settings;   // profile table: name -> typeof:value
    QMap<qint64, QString> reagents;    // reagent table: id -> name
    bool hasTable(const QString &name) const
    {
        return objects.contains(QStringLiteral("table ") + name);
    }

    static SchemaSnapshot take(const QSqlDatabase &db);
};

// What an upgrade did to one file, or in a dry run would do.
struct UpgradeReport
{
    struct Rebuilt
    {
        QString table;
        qint64 rowsBefore = 0;
        qint64 rowsAfter = 0;
    };

    enum Outcome { NotRun, Upgraded, NothingToUpgrade, Failed };

    QString file;
    bool existed = true;        // the file was there before the run
    QString missingTable;       // the table an installation's file has, when it lacks it
    int versionBefore = 0;
    int versionAfter = 0;
    QString backup;             // the copy taken before the upgrade
    QList<Rebuilt> rebuilt;
    QStringList created;        // "<type> <name>"
    QStringList replaced;       // "<type> <name>" whose declaration changed
    QStringList settingsReset, settingsAdded, settingsKept, settingsRemoved;
    QStringList reagentsRewritten;
    Outcome outcome = NotRun;

    // Fills created, replaced, the settings and the reagents from two
    // snapshots; rebuilt tables are not counted as replaced.
    void compare(const SchemaSnapshot &before, const SchemaSnapshot &after);

    // The report for people, one line each; in a dry run in the conditional.
    QStringList lines(bool dryRun) const;
};

#endif // UPGRADEREPORT_H
