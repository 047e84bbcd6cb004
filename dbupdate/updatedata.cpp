#include "updatedata.h"

UpdateData::UpdateData(QObject *parent)
    : UpdateBase(QStringLiteral("data.db"), parent)
{
}

QStringList UpdateData::dataIndexStatements()
{
    return {
        // ClotCurve::save/load/erase, and the trigger's curve delete by patient
        QStringLiteral("create index if not exists curve_patientId_item_index on curve (patientId, item)"),
        // nextSampleNo: the sample numbers of one day
        QStringLiteral("create index if not exists patient_date_index on patient (date)"),
        // on_delete_patient: a patient's exam rows by sample number and day
        QStringLiteral("create index if not exists exam_sampleNo_date_index on exam (sampleNo, date)"),
        QStringLiteral("create index if not exists result_patientId_index on result (patientId)"),
        QStringLiteral("create index if not exists patientExtra_patientId_index on patientExtra (patientId)"),
    };
}

bool UpdateData::update()
{
    if (!isReady())
        return notReadyResult();
    expectTable(QStringLiteral("patient"));
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

    // On every run: the indexes that keep the application's statements fast
    // as the lab's history grows. Without them loading a stored curve, the
    // day's next sample number and the trigger's deletes read whole tables.
    // A table or column the file lacks makes its statement fail; it is
    // logged and skipped like any ordinary failure.
    for (const QString &index : dataIndexStatements())
        UPDATE_EXEC(index);

    UPDATE_EXEC(QStringLiteral("delete from version"));
    UPDATE_EXEC(QStringLiteral("insert into version values(2)"));
    return true;
}
