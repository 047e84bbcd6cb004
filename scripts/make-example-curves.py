#!/usr/bin/env python3
"""Writes examples/data-curves.sql: a few patients of the example installation
with clot curves that look like real ones (a flat baseline with a little
noise, a sigmoid fall of the transmitted light at the clotting time), in the
byte form data.db stores: big-endian type (int32), segment count (uint32),
then per segment x0 and dx (doubles), the point count (uint32) and the values.
Deterministic: the same file on every run."""
import math
import random
import struct
from pathlib import Path

random.seed(20261211)


def curve(seconds, step, clot_time, fall, width, base=3200.0, noise=3.0, drift=0.0):
    count = int(round(seconds / step))
    ys = []
    for k in range(count):
        t = k * step
        y = base - drift * t + random.gauss(0.0, noise)
        if clot_time is not None:
            y -= fall / (1.0 + math.exp(-(t - clot_time) / width))
        ys.append(float(round(y)))
    return ys


def blob(ys, step):
    data = struct.pack('>iI', 0, 1) + struct.pack('>ddI', 0.0, step, len(ys))
    return data + struct.pack('>%dd' % len(ys), *ys)


patients = [
    # id, sample number, day, name, curves: (item, seconds, clotting time, fall, width)
    (11, '21', '2026-03-03', 'Chen Jing', [('PT', 40, 12.3, 900.0, 0.5),
                                            ('APTT', 80, 31.5, 700.0, 1.2),
                                            ('FIB', 30, 8.6, 1100.0, 0.4)]),
    (12, '22', '2026-03-03', 'Liu Yang', [('PT', 40, 11.8, 850.0, 0.5)]),
    # A sample that did not clot: the reading stays flat (a slight drift).
    (13, '23', '2026-03-03', 'Zhao Min', [('APTT', 100, None, 0.0, 1.0)]),
]

lines = ['-- Patients of the example installation with realistic clot curves (raw',
         '-- readings every 0.1 s), made by scripts/make-example-curves.py.']
for pid, sample, day, name, curves in patients:
    lines.append(f"insert into patient(id, sampleNo, date, name, age, department) "
                 f"values({pid}, '{sample}', '{day}', '{name}', {40 + pid}, 'ICU');")
    for item, seconds, clot, fall, width in curves:
        ys = curve(seconds, 0.1, clot, fall, width, drift=0.2 if clot is None else 0.0)
        lines.append(f"insert into curve(patientId, item, curve) values({pid}, '{item}', "
                     f"X'{blob(ys, 0.1).hex().upper()}');")
Path(__file__).resolve().parent.parent.joinpath('examples', 'data-curves.sql').write_text('\n'.join(lines) + '\n')
