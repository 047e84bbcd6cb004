#include "updatedata.h"

UpdateData::UpdateData(QObject *parent)
    : UpdateBase(QStringLiteral("data.db"), parent)
{
}

bool UpdateData::update()
{
    if (!isReady())
        return false;
    return finish(upgrade());
}

bool UpdateData::upgrade()
{
    if (version() < 1) {
        UPDATE_EXEC(QStringLiteral("alter table patient add sampleType text"));
        UPDATE_EXEC(QStringLiteral("alter table patient add hospitalNo text"));

        const QStringList lookupTables{
            QStringLiteral("department"), QStringLiteral("sex"), QStringLiteral("treatmentRoom"),
            QStringLiteral("diagnosis"), QStringLiteral("doctor"), QStringLiteral("operator")};
        for (const QString &table : lookupTables) {
            const QString create = QStringLiteral(
                "create table %1(\n\tid integer primary key,\n\tabbr text COLLATE NOCASE,\n\tname text)").arg(table);
            const QString index = QStringLiteral(
                "create index if not exists %1_index on %1 (abbr)").arg(table);
            if (!rebuildTable(table, create, {index}, __FILE__, __LINE__))
                return false;
        }

        UPDATE_EXEC(QStringLiteral(
            "create table detail(\n"
            "\tid integer primary key,\n"
            "\tpatientId integer references patient,\n"
            "\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n"
            "\tinfo text,\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, 如测试通道等\n"
            "\tunique(patientId, item) on conflict replace)"));
        UPDATE_EXEC(QStringLiteral("create table version(version integer)"));
    }

    if (version() < 2) {
        UPDATE_EXEC(QStringLiteral("drop trigger on_delete_patient"));
        UPDATE_EXEC(QStringLiteral(
            "create trigger on_delete_patient after delete on patient\n"
            "begin\n"
            "\tdelete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date;\n"
            "\tdelete from result where old.id = result.patientId;\n"
            "\tdelete from patientExtra where old.id = patientExtra.patientId;\n"
            "\tdelete from curve where old.id = curve.patientId;\n"
            "\tdelete from detail where old.id = detail.patientId;\n"
            "end"));
    }

    UPDATE_EXEC(QStringLiteral("delete from version"));
    UPDATE_EXEC(QStringLiteral("insert into version values(2)"));
    return true;
}
