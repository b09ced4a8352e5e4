#!/usr/bin/env bash
# Runs one scenario: a fresh database of unit 12 (central 31), `edi-admin data` on the script, and the output
# with the exit status compared with NAME.expected beside the script.
# EDI_SCENARIO_WRITE=1 writes the expected file instead of comparing (review it before committing).
set -euo pipefail
admin=$1
scenario=$2
expected=${scenario%.scn}.expected
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$admin" create-db "$work/unit.fdb" --unit 12 >/dev/null
status=0
"$admin" data "$work/unit.fdb" "$scenario" >"$work/out" 2>&1 || status=$?
echo "exit $status" >>"$work/out"
if [[ ${EDI_SCENARIO_WRITE:-} == 1 ]]; then
    cp "$work/out" "$expected"
    exit 0
fi
diff -u "$expected" "$work/out"
