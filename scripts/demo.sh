#!/usr/bin/env bash
# The main job, end to end: set up the machine, build and install, create the
# example old installation (examples/*.sql) in demo/run, upgrade it there with
# dbupdate as service staff would, and print what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
scripts/build.sh build
prefix="$root/demo/install"
cmake --install build --prefix "$prefix" >/dev/null
echo "Core and dbupdate installed into $prefix"

run="$root/demo/run"
rm -rf "$run" && mkdir -p "$run/before"
sqlite3 "$run/profile.db" < examples/profile-v0.sql
sqlite3 "$run/data.db" < examples/data-v0.sql
sqlite3 "$run/qc.db" < examples/qc.sql

version() { sqlite3 "$1" "select version from version" 2>/dev/null || echo "0 (no version table)"; }
tables() { sqlite3 "$1" "select name from sqlite_master where type = 'table' order by name"; }
snapshot() {   # file dir: per table its declaration and row count; the settings
  local db=$1 out=$2
  for t in $(tables "$db"); do
    printf '%s\t%s\n' "$t" "$(sqlite3 "$db" "select count(*) from \"$t\"")" >> "$out/$(basename "$db").rows"
    sqlite3 "$db" "select sql from sqlite_master where type = 'table' and name = '$t'" |
      tr '\n' ' ' > "$out/$(basename "$db").$t.sql"
  done
  if [ "$(basename "$db")" = profile.db ]; then
    sqlite3 -separator ' = ' "$db" "select name, quote(value) from profile order by name" > "$out/settings"
  fi
}

for f in profile.db data.db qc.db; do
  printf '%s\n' "$(version "$run/$f")" > "$run/before/$f.version"
  snapshot "$run/$f" "$run/before"
done

echo
echo "Running dbupdate in $run"
status=0
(cd "$run" && "$prefix/bin/dbupdate") 2> "$run/dbupdate.log" || status=$?
echo "dbupdate exit code: $status ($(wc -l < "$run/dbupdate.log") warning lines in demo/run/dbupdate.log)"

mkdir -p "$run/after"
for f in profile.db data.db qc.db; do snapshot "$run/$f" "$run/after"; done

for f in profile.db data.db qc.db; do
  echo
  echo "== $f: version $(cat "$run/before/$f.version") -> $(version "$run/$f")"
  while IFS=$'\t' read -r t n; do
    before=$(awk -F'\t' -v t="$t" '$1 == t { print $2 }' "$run/before/$f.rows")
    if [ -z "$before" ]; then
      note="new table"
    elif ! cmp -s "$run/before/$f.$t.sql" "$run/after/$f.$t.sql"; then
      note="declaration changed, rows kept: $before -> $n"
    elif [ "$before" != "$n" ]; then
      note="rows: $before -> $n"
    else
      note="unchanged, $n rows"
    fi
    printf '  %-18s %s\n' "$t" "$note"
  done < "$run/after/$f.rows"
done

echo
echo "== settings in profile.db"
echo "reset or changed:"
join -t $'\x01' <(sed 's/ = /\x01/' "$run/before/settings" | sort -t $'\x01' -k1,1) \
                <(sed 's/ = /\x01/' "$run/after/settings" | sort -t $'\x01' -k1,1) |
  awk -F'\x01' '$2 != $3 { printf "  %s: %s -> %s\n", $1, $2, $3 }'
echo "added:"
comm -13 <(cut -d' ' -f1 "$run/before/settings" | sort) <(cut -d' ' -f1 "$run/after/settings" | sort) |
  while read -r name; do printf '  %s\n' "$(grep -F -m1 "$name = " "$run/after/settings")"; done
echo "removed:"
comm -23 <(cut -d' ' -f1 "$run/before/settings" | sort) <(cut -d' ' -f1 "$run/after/settings" | sort) |
  sed 's/^/  /'
echo
echo "reagents after the upgrade:"
sqlite3 -separator ' | ' "$run/profile.db" "select type, name, initVolume, alarmLimit, vialType from reagent order by id" | sed 's/^/  /'
exit $status
