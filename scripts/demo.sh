#!/usr/bin/env bash
# The main job, end to end: set up the machine, build and install, create the
# example old installation (examples/*.sql) in demo/run, preview the upgrade
# with dbupdate --check, then upgrade it with a backup as service staff
# would; dbupdate's report says what changed. Ends with curveview listing the
# stored clot curves and drawing one patient's to demo/run/patient-11.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
scripts/build.sh build
prefix="$root/demo/install"
cmake --install build --prefix "$prefix" >/dev/null
echo "Core and dbupdate installed into $prefix"

run="$root/demo/run"
rm -rf "$run" && mkdir -p "$run"
sqlite3 "$run/profile.db" < examples/profile-v0.sql
sqlite3 "$run/data.db" < examples/data-v0.sql
sqlite3 "$run/data.db" < examples/data-curves.sql
sqlite3 "$run/qc.db" < examples/qc.sql

version() { sqlite3 "$1" "select version from version" 2>/dev/null || echo "0 (no version table)"; }
before=()
for f in profile.db data.db qc.db; do before+=("$f: version $(version "$run/$f")"); done

echo
echo "== dbupdate --check: what the upgrade would do (nothing is changed)"
sums=$(cd "$run" && sha256sum profile.db data.db qc.db)
"$prefix/bin/dbupdate" -C "$run" --check 2> "$run/dbupdate-check.log"
(cd "$run" && echo "$sums" | sha256sum --quiet -c -) && echo "(the three files are byte for byte as before)"

echo
echo "== dbupdate --backup=backups: the upgrade, each file copied first"
status=0
"$prefix/bin/dbupdate" -C "$run" --backup=backups 2> "$run/dbupdate.log" || status=$?
echo "dbupdate exit code: $status ($(wc -l < "$run/dbupdate.log") warning lines in demo/run/dbupdate.log)"
echo "backups:"
ls "$run/backups" | sed 's/^/  /'

echo
echo "== versions"
i=0
for f in profile.db data.db qc.db; do
  echo "  ${before[$i]} -> $(version "$run/$f")"
  i=$((i + 1))
done
echo
echo "reagents after the upgrade:"
sqlite3 -separator ' | ' "$run/profile.db" "select type, name, initVolume, alarmLimit, vialType from reagent order by id" | sed 's/^/  /'

echo
echo "== curveview: the stored clot curves (data.db is only read)"
"$prefix/bin/curveview" -C "$run" list --date 2026-03-03
"$prefix/bin/curveview" -C "$run" plot --patient 11 -o "$run/patient-11.png" >/dev/null
echo "The curves of patient 11 (PT, APTT, FIB) are drawn in demo/run/patient-11.png"
exit $status
