#include "updateprofile.h"

namespace {

// A translated text placed between single quotes in a statement.
QString sqlText(const QString &text)
{
    QString quoted = text;
    return quoted.replace(QLatin1Char('\''), QLatin1String("''"));
}

} // namespace

UpdateProfile::UpdateProfile(QObject *parent)
    : UpdateBase(QStringLiteral("profile.db"), parent)
{
}

bool UpdateProfile::update()
{
    if (!isReady())
        return notReadyResult();
    expectTable(QStringLiteral("profile"));
    return finish(upgrade());
}

bool UpdateProfile::upgrade()
{
    if (version() < 1) {
        // The new declaration compares user names without regard to case, so
        // it cannot keep two users whose names differ only in case: say which
        // ones before anything changes, instead of a failed row copy.
        QSqlQuery sameNames;
        if (sameNames.exec(QStringLiteral(
                "select group_concat('\"' || name || '\"', ', ') from user"
                " group by name collate nocase having count(*) > 1"))) {
            QStringList groups;
            while (sameNames.next())
                groups << sameNames.value(0).toString();
            if (!groups.isEmpty())
                return fail(QStringLiteral(
                    "the users %1 differ only in letter case, and the upgraded user table compares names "
                    "without regard to case, so it cannot keep them all: rename all but one of each in the "
                    "workstation application, and run dbupdate again").arg(groups.join(QLatin1String("; "))));
        }
        if (!rebuildTable(QStringLiteral("user"),
                          QStringLiteral("create table user(\n"
                                         "\tid integer primary key,\n"
                                         "\tname text unique COLLATE NOCASE,\n"
                                         "\tpassword text,\n"
                                         "\tlevel integer default 0,\n"
                                         "\thide integer default 0 )"),
                          {}, __FILE__, __LINE__))
            return false;
        UPDATE_EXEC(QStringLiteral("-- curve debug info, since v1\n"
                                   "create table curveInfo (\n"
                                   "\tcurveId integer references curve,\n"
                                   "\tname text not null,\n"
                                   "\tvalue,\n"
                                   "\tunique (curveId, name) on conflict replace\n"
                                   "\t)"));
        UPDATE_EXEC(QStringLiteral("drop trigger if exists deleteCurve"));
        UPDATE_EXEC(QStringLiteral(
            "create trigger deleteCurve after delete on curve \n"
            "begin \n"
            "\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n"
            "\tdelete from curveVariable where curveVariable.curveId = old.id;\n"
            "\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n"
            "\tdelete from curveInfo     where     curveInfo.curveId = old.id;\n"
            "end"));
        UPDATE_EXEC(QStringLiteral("create table version(version integer)"));
    }

    // From here on every run, whatever the version.
    UPDATE_EXEC(QStringLiteral("delete from version"));
    UPDATE_EXEC(QStringLiteral("insert into version values(1)"));

    UPDATE_EXEC(QStringLiteral("replace into profile values('FIB/report/dilution', '1/10')"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('dilution', "
                               "'%1;1/5;1/10;1/20;1/30,%2;1/5;1/10;1/20;1/30;1/40,%3;1/1;1/2;1/4;1/8,%4;1/1;3/4;1/2;1/4')")
                    .arg(sqlText(tr("梯度1")), sqlText(tr("梯度2")), sqlText(tr("梯度3")),
                         sqlText(tr("梯度4"))));
    UPDATE_EXEC(QStringLiteral("replace into profile values('patient/sampleType',\t'%1')")
                    .arg(sqlText(tr("样本类型"))));

    UPDATE_EXEC(QStringLiteral("delete from reagent where name like 'Buffer%'"));
    UPDATE_EXEC(QStringLiteral("delete from reagent where name='Latex'"));
    UPDATE_EXEC(QStringLiteral("delete from reagent where name='Saline'"));
    const char *const reagents[] = {
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(0, 'Latex',\t     2000, 200, 3)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Saline',\t     6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(PT)',    6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(APTT)',  6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(FIB)',   6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(TT)',    6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(DD)',    6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(EX)',    6500, 200, 6)",
        "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(EN)',    6500, 200, 6)",
    };
    for (const char *statement : reagents)
        UPDATE_EXEC(QLatin1String(statement));

    UPDATE_EXEC(QStringLiteral("replace into profile values('DD/mix/times', 3)"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('DD/max_clot_time', 240)"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('specialValue/DD/P', 0.1)"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('DD/priority', 10)"));

    for (const char *test : {"DD", "II", "V", "VII", "X", "VIII", "IX", "XI", "XII"})
        UPDATE_EXEC(QStringLiteral("delete from profile where name='%1/disable'").arg(QLatin1String(test)));

    UPDATE_EXEC(QStringLiteral("replace into profile values('reagent/initVolume',\t'初始量[ul]')"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('reagent/alarmLimit',\t'报警限[ul]')"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('reagent/interruptLimit','中断限[ul]')"));
    UPDATE_EXEC(QStringLiteral("replace into profile values('patient/hospitalNo',\t'住院号')"));

    UPDATE_EXEC(QStringLiteral("update assayCalibration set funX='Log' where name='DD'"));
    UPDATE_EXEC(QStringLiteral("update assayItem set precision=0 where name='OD'"));

    // Defaults added only when missing; an existing (perhaps user-changed)
    // value makes the insert fail, which is logged.
    const char *const defaults[] = {
        "insert or abort into profile values('schedule/sample',\t\t6)",
        "insert or abort into profile values('schedule/reagent',\t\t6)",
        "insert or abort into profile values('schedule/mix',\t\t\t2)",
        "insert or abort into profile values('schedule/dilution',\t\t12)",
        "insert or abort into profile values('schedule/dilution/1/10',\t12)",
        "insert or abort into profile values('schedule/dilution/1/20',\t17)",
        "insert or abort into profile values('schedule/dilution/1/40',\t22)",
        "insert or abort into profile values('schedule/clean',\t\t\t10)",
        "insert or abort into profile values('schedule/test/PT',\t\t27)",
        "insert or abort into profile values('schedule/test/FIB/table', '0.2,25;0.1,35;0.05,45;0.025,65')",
        "insert or abort into profile values('schedule/test/APTT',\t\t50)",
        "insert or abort into profile values('schedule/test/TT',\t\t35)",
        "insert or abort into profile values('schedule/test/II',\t\t30)",
        "insert or abort into profile values('schedule/test/V',\t\t30)",
        "insert or abort into profile values('schedule/test/VII',\t\t30)",
        "insert or abort into profile values('schedule/test/X',\t\t30)",
        "insert or abort into profile values('schedule/test/VIII',\t\t30)",
        "insert or abort into profile values('schedule/test/IX',\t\t30)",
        "insert or abort into profile values('schedule/test/XI',\t\t30)",
        "insert or abort into profile values('schedule/test/XII',\t\t30)",
        "insert or abort into profile values('analyst/FIB/odPercent', \t\t0.5)",
        "insert or abort into profile values('analyst/FIB/odThreshold',\t'4,0.01; 6,0.005; 10,0.003; 20,0.0015; 40,0.001')",
    };
    for (const char *statement : defaults)
        UPDATE_EXEC(QLatin1String(statement));
    return true;
}
