#include "upgradereport.h"

#include <QtSql/QSqlQuery>
#include <QtSql/QSqlRecord>

SchemaSnapshot SchemaSnapshot::take(const QSqlDatabase &db)
{
    SchemaSnapshot snapshot;
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("select type, name, sql from sqlite_master where name not like 'sqlite_%'"))) {
        while (query.next())
            snapshot.objects.insert(query.value(0).toString() + QLatin1Char(' ') + query.value(1).toString(),
                                    query.value(2).toString());
    }
    if (snapshot.hasTable(QStringLiteral("profile"))
        && query.exec(QStringLiteral("select name, typeof(value) || ':' || quote(value) from profile"))) {
        while (query.next())
            snapshot.settings.insert(query.value(0).toString(), query.value(1).toString());
    }
    if (snapshot.hasTable(QStringLiteral("reagent"))
        && query.exec(QStringLiteral("select rowid, name from reagent"))) {
        while (query.next())
            snapshot.reagents.insert(query.value(0).toLongLong(), query.value(1).toString());
    }
    return snapshot;
}

void UpgradeReport::compare(const SchemaSnapshot &before, const SchemaSnapshot &after)
{
    QStringList rebuiltTables;
    for (const Rebuilt &r : std::as_const(rebuilt))
        rebuiltTables << QStringLiteral("table ") + r.table;
    for (auto it = after.objects.cbegin(); it != after.objects.cend(); ++it) {
        const auto old = before.objects.constFind(it.key());
        if (old == before.objects.cend())
            created << it.key();
        else if (*old != *it && !rebuiltTables.contains(it.key()))
            replaced << it.key();
    }
    for (auto it = after.settings.cbegin(); it != after.settings.cend(); ++it) {
        const auto old = before.settings.constFind(it.key());
        if (old == before.settings.cend())
            settingsAdded << it.key();
        else if (*old != *it)
            settingsReset << it.key();
    }
    for (auto it = before.settings.cbegin(); it != before.settings.cend(); ++it) {
        if (!after.settings.contains(it.key()))
            settingsRemoved << it.key();
    }
    for (auto it = after.reagents.cbegin(); it != after.reagents.cend(); ++it) {
        if (before.reagents.value(it.key()) != *it || !before.reagents.contains(it.key()))
            reagentsRewritten << *it;
    }
}

QStringList UpgradeReport::lines(bool dryRun) const
{
    // The verb of each kind of line: past tense, or "would" and the verb.
    const auto verb = [dryRun](const char *present, const char *past) {
        return dryRun ? QStringLiteral("would %1").arg(QLatin1String(present)) : QLatin1String(past);
    };
    QStringList out;
    QString head = QStringLiteral("%1: ").arg(file);
    if (outcome == NotRun && dryRun && !existed) {
        out << head + QStringLiteral("does not exist; the upgrade would create it empty. "
                                     "This directory holds no installation.");
        return out;
    }
    if (versionAfter != versionBefore && outcome != Failed)
        head += QStringLiteral("version %1 -> %2").arg(versionBefore).arg(versionAfter);
    else
        head += QStringLiteral("version %1").arg(versionBefore);
    out << head;
    if (!existed)
        out << QStringLiteral("  did not exist and was created empty: this directory holds no installation");
    else if (!missingTable.isEmpty())
        out << QStringLiteral("  has no %1 table: this directory holds no installation of the workstation")
                   .arg(missingTable);
    if (!backup.isEmpty())
        out << QStringLiteral("  %1 to %2").arg(verb("back up", "backed up"), backup);
    for (const Rebuilt &r : rebuilt)
        out << QStringLiteral("  %1 table %2 (%3 rows before, %4 after)")
                   .arg(verb("rebuild", "rebuilt"), r.table).arg(r.rowsBefore).arg(r.rowsAfter);
    const auto list = [&out](const QString &what, const QStringList &items) {
        if (!items.isEmpty())
            out << QStringLiteral("  %1: %2").arg(what, items.join(QLatin1String(", ")));
    };
    list(verb("create", "created"), created);
    list(verb("change", "changed"), replaced);
    list(verb("reset", "reset") + QStringLiteral(" settings"), settingsReset);
    list(verb("add", "added") + QStringLiteral(" settings"), settingsAdded);
    list(verb("keep", "kept") + QStringLiteral(" settings the user had"), settingsKept);
    list(verb("remove", "removed") + QStringLiteral(" settings"), settingsRemoved);
    list(verb("rewrite", "rewrote") + QStringLiteral(" reagents"), reagentsRewritten);
    switch (outcome) {
    case Upgraded:
        out << (dryRun ? QStringLiteral("  would be upgraded") : QStringLiteral("  upgraded"));
        break;
    case NothingToUpgrade:
        out << QStringLiteral("  nothing to upgrade");
        break;
    case Failed:
        out << (dryRun ? QStringLiteral("  would fail: see the warning above; nothing was changed")
                       : QStringLiteral("  failed: see the warning above"));
        break;
    case NotRun:
        break;
    }
    return out;
}
