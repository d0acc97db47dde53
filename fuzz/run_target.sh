#!/usr/bin/env bash
# Runs one libFuzzer target for a given time and prints one line:
#   <target>: <executions> executions in <seconds> s, no finding
#   <target>: FINDING <crash file> (<executions> executions in <seconds> s)
# usage: run_target.sh <binary> <seconds> <seed folder> <work folder>
# The work folder keeps the grown corpus (reused by the next run), the log and any crash file.
set -uo pipefail
binary=$1 seconds=$2 seeds=$3 work=$4
name=$(basename "$binary")
mkdir -p "$work/corpus" "$work/documents" "$work/artifacts"
[ -d "$seeds" ] || mkdir -p "$seeds"
log=$work/run.log
start=$(date +%s)
# The library logs into the documents folder; keep that inside the work folder.
XDG_DOCUMENTS_DIR=$work/documents "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" >"$log" 2>&1
rc=$?
elapsed=$(( $(date +%s) - start ))
execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
crash=$(sed -nE 's/.*Test unit written to (.*)$/\1/p' "$log" | tail -n 1)
if [ $rc -eq 0 ] && [ -z "$crash" ]; then
  echo "$name: ${execs:-?} executions in $elapsed s, no finding"
  exit 0
fi
echo "$name: FINDING ${crash:-"(exit status $rc, no crash file; see $log)"} (${execs:-?} executions in $elapsed s)"
grep -m 3 -E 'ERROR: |runtime error|Assertion|FUZZ CHECK' "$log" | sed "s/^/$name:   /"
exit 1
