-- profile.db of an installation at schema version 0 (no version table).
create table profile(name text primary key, value);
insert into profile values('statim_sample_prefix', 'E');
insert into profile values('hospital', '市第一医院');
insert into profile values('color_of_waiting', '#c0c0c0');
insert into profile values('is_touch_screen', 1);
-- settings the user changed: a reset puts the first three back,
-- the scheduling value survives
insert into profile values('DD/max_clot_time', 300);
insert into profile values('FIB/report/dilution', '1/20');
insert into profile values('dilution', '梯度1;1/5;1/10');
insert into profile values('schedule/test/PT', 31);
insert into profile values('schedule/sample', 8);
-- switches that the upgrade removes
insert into profile values('DD/disable', 1);
insert into profile values('VIII/disable', 1);
insert into profile values('II/disable', 0);

create table user(id integer primary key, name text, password text, level integer);
insert into user values(1, 'admin', 'e10adc3949ba59abbe56e057f20f883e', 9);
insert into user values(2, '李医生', NULL, 1);
insert into user values(5, 'Nurse Wang', 'c4ca4238a0b923820dcc509a6f75849b', 0);

create table reagent(id integer primary key, type integer, name text, initVolume integer,
                     alarmLimit integer, vialType integer, lot text default '');
insert into reagent values(1, 0, 'Latex', 1500, 100, 3, 'L2021');
insert into reagent values(2, 2, 'Saline', 5000, 100, 6, '');
insert into reagent values(3, 2, 'Buffer(PT)', 5000, 100, 6, '');
insert into reagent values(4, 2, 'Buffer(APTT)', 5000, 100, 6, '');
insert into reagent values(5, 2, 'BUFFER(custom)', 3000, 150, 6, 'user added');
insert into reagent values(6, 2, 'buffer x', 3000, 150, 6, 'user added');
insert into reagent values(7, 1, 'PT reagent', 4000, 300, 1, 'P-77');
insert into reagent values(8, 1, 'APTT reagent', 4000, 300, 1, 'A-12');

create table assayCalibration(id integer primary key, name text, funX text, funY text);
insert into assayCalibration values(1, 'DD', 'Lin', 'Lin');
insert into assayCalibration values(2, 'FIB', 'Log', 'Log');

create table assayItem(id integer primary key, name text, precision integer);
insert into assayItem values(1, 'OD', 3);
insert into assayItem values(2, 'PT', 1);

create table curve(id integer primary key, name text);
create table curvePoint(curveId integer, x real, y real);
create table curveVariable(curveId integer, name text, value);
create table curveReagent(curveId integer, reagentId integer);
insert into curve values(1, 'FIB standard');
insert into curve values(2, 'DD standard');
insert into curvePoint values(1, 1.0, 10.5), (1, 2.0, 20.25), (2, 0.5, 3.0);
insert into curveVariable values(1, 'a', 1.25), (2, 'b', 'x');
insert into curveReagent values(1, 7), (2, 8);
create trigger deleteCurve after delete on curve
begin
	delete from curvePoint where curvePoint.curveId = old.id;
	delete from curveVariable where curveVariable.curveId = old.id;
end;
