-- profile.db at schema version 1: the tables, columns, trigger and version
-- row that Core and dbupdate rely on, and nothing of the workstation
-- application's own columns. Create a working directory for development or
-- tests with:  sqlite3 profile.db < profile.sql
create table profile(name text primary key, value);
create table user(
	id integer primary key,
	name text unique COLLATE NOCASE,
	password text,
	level integer default 0,
	hide integer default 0 );
create table reagent(id integer primary key, type integer, name text, initVolume integer,
                     alarmLimit integer, vialType integer);
create table assayCalibration(id integer primary key, name text, funX text);
create table assayItem(id integer primary key, name text, precision integer);
create table curve(id integer primary key);
create table curvePoint(curveId integer);
create table curveVariable(curveId integer);
create table curveReagent(curveId integer);
-- curve debug info, since v1
create table curveInfo (
	curveId integer references curve,
	name text not null,
	value,
	unique (curveId, name) on conflict replace
	);
create trigger deleteCurve after delete on curve 
begin 
	delete from curvePoint    where    curvePoint.curveId = old.id;
	delete from curveVariable where curveVariable.curveId = old.id;
	delete from curveReagent  where  curveReagent.curveId = old.id;
	delete from curveInfo     where     curveInfo.curveId = old.id;
end;
create table version(version integer);
insert into version values(1);
