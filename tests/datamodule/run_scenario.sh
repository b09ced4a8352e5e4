#!/usr/bin/env bash
# Runs one scenario: a fresh database of unit 12 (central 31), `edi-admin data` on the script, and the output
# with the exit status compared with NAME.expected beside the script.
# EDI_SCENARIO_WRITE=1 writes the expected file instead of comparing (review it before committing).
# Dates that move with the calendar: <hoje> and <ontem> in the script stand for today and yesterday; in the
# output today and yesterday are written back that way, and a time of today as <agora>.
set -euo pipefail
admin=$1
scenario=$2
expected=${scenario%.scn}.expected
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$admin" create-db "$work/unit.fdb" --unit 12 >/dev/null
hoje=$(date +%d/%m/%Y)
ontem=$(date -d yesterday +%d/%m/%Y)
sed -e "s|<hoje>|$hoje|g; s|<ontem>|$ontem|g" "$scenario" >"$work/script"
status=0
"$admin" data "$work/unit.fdb" "$work/script" >"$work/raw" 2>&1 || status=$?
echo "exit $status" >>"$work/raw"
sed -E -e "s|$hoje [0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?|<agora>|g" -e "s|$hoje|<hoje>|g" -e "s|$ontem|<ontem>|g" \
    "$work/raw" >"$work/out"
if [[ ${EDI_SCENARIO_WRITE:-} == 1 ]]; then
    cp "$work/out" "$expected"
    exit 0
fi
diff -u "$expected" "$work/out"
