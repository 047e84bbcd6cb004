-- data.db of an installation at schema version 0 (no version table).
create table patient(id integer primary key, sampleNo text, date text, name text,
                     age integer, department text);
insert into patient values(1, '1', '2026-03-01', '张三', 45, 'ICU');
insert into patient values(2, '2', '2026-03-01', '李四', 61, 'card');
insert into patient values(3, '12b', '2026-03-02', 'Smith', 30, NULL);
insert into patient values(4, 'S5', '2026-03-02', '王五', 72, 'ER');

create table exam(id integer primary key, sampleNo text, date text, item text);
insert into exam values(1, '1', '2026-03-01', 'PT'), (2, '1', '2026-03-01', 'APTT'),
                       (3, '2', '2026-03-01', 'FIB'), (4, '12b', '2026-03-02', 'PT');

create table result(id integer primary key, patientId integer, item text, value real, flags integer);
insert into result values(1, 1, 'PT', 12.5, 0), (2, 1, 'APTT', 999.9, 0),
                         (3, 2, 'FIB', 3.25, 32768), (4, 3, 'PT', 11.0, 2);

create table patientExtra(id integer primary key, patientId integer, info text);
insert into patientExtra values(1, 1, 'fasting'), (2, 3, 'anticoagulated');

create table curve(patientId integer, item text, curve blob);
-- a RawPoint curve, one segment x0 0.0, dx 0.5, y {1.0, 2.0};
-- an OdPoint curve with one segment of no points
insert into curve values(1, 'PT',
  X'000000000000000100000000000000003FE0000000000000000000023FF00000000000004000000000000000');
insert into curve values(2, 'FIB', X'000000010000000100000000000000003FD000000000000000000000');

-- the six lookup lists, with mixed-case abbreviations
create table department(id integer primary key, abbr text, name text);
create index department_index on department(abbr);
insert into department values(1, 'ICU', '重症监护室'), (2, 'Card', '心内科'), (7, 'er', '急诊科');
create table sex(id integer primary key, abbr text, name text);
insert into sex values(1, 'M', '男'), (2, 'F', '女');
create table treatmentRoom(id integer primary key, abbr text, name text);
insert into treatmentRoom values(1, 'R1', 'Room 1'), (3, 'r3', 'Room 3');
create table diagnosis(id integer primary key, abbr text, name text);
insert into diagnosis values(1, 'DVT', '深静脉血栓'), (2, 'Af', '房颤');
create table doctor(id integer primary key, abbr text, name text);
insert into doctor values(1, 'zhang', '张医生'), (4, 'LI', '李医生');
create table operator(id integer primary key, abbr text, name text);
insert into operator values(1, 'op1', 'Operator One');

-- a view over a lookup table: it must keep working after the rebuild
create view patientDepartment as
  select patient.id as patientId, department.name as department
  from patient left join department on department.abbr = patient.department;

create trigger on_delete_patient after delete on patient
begin
	delete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date;
	delete from result where old.id = result.patientId;
end;
