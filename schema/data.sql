-- data.db at schema version 2: the tables, columns, indexes, trigger and
-- version row that Core and dbupdate rely on, and nothing of the workstation
-- application's own columns. Create it with:  sqlite3 data.db < data.sql
create table patient(id integer primary key, sampleNo text, date text, sampleType text, hospitalNo text);
create table exam(id integer primary key, sampleNo text, date text);
create table result(id integer primary key, patientId integer);
create table patientExtra(id integer primary key, patientId integer);
create table curve(patientId integer, item text, curve blob);
create table detail(
	id integer primary key,
	patientId integer references patient,
	item text,										-- 测量项目, 如PT
	info text,										-- 测试详细信息, 如测试通道等
	unique(patientId, item) on conflict replace);
create table department(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists department_index on department (abbr);
create table sex(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists sex_index on sex (abbr);
create table treatmentRoom(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists treatmentRoom_index on treatmentRoom (abbr);
create table diagnosis(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists diagnosis_index on diagnosis (abbr);
create table doctor(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists doctor_index on doctor (abbr);
create table operator(
	id integer primary key,
	abbr text COLLATE NOCASE,
	name text);
create index if not exists operator_index on operator (abbr);
create trigger on_delete_patient after delete on patient
begin
	delete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date;
	delete from result where old.id = result.patientId;
	delete from patientExtra where old.id = patientExtra.patientId;
	delete from curve where old.id = curve.patientId;
	delete from detail where old.id = detail.patientId;
end;
-- The indexes every upgrade creates: curve storage, the day's sample
-- numbers and the trigger's deletes.
create index if not exists curve_patientId_item_index on curve (patientId, item);
create index if not exists patient_date_index on patient (date);
create index if not exists exam_sampleNo_date_index on exam (sampleNo, date);
create index if not exists result_patientId_index on result (patientId);
create index if not exists patientExtra_patientId_index on patientExtra (patientId);
create table version(version integer);
insert into version values(2);
