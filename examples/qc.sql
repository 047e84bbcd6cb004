-- qc.db: quality control data; the upgrade leaves it as it is.
create table qcFile(id integer primary key, item text, lot text, target real, sd real);
insert into qcFile values(1, 'PT', 'QC-L1', 12.0, 0.6), (2, 'APTT', 'QC-L1', 32.0, 1.5);
create table qcResult(id integer primary key, fileId integer, date text, value real);
insert into qcResult values(1, 1, '2026-03-01', 12.2), (2, 2, '2026-03-01', 31.4);
