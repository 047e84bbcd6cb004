-- qc.db: its tables belong to the workstation application; Core accepts the
-- file when it holds at least one table. Create it with:  sqlite3 qc.db < qc.sql
create table qc(id integer primary key);
