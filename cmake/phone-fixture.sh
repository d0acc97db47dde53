#!/bin/sh
# Starts or stops a zentro-phone for tests that cannot start one themselves (Windows programs
# under wine). The phone serves until its standard input closes: a holder process keeps that
# pipe open for at most an hour, so a run that never reaches "stop" leaves nothing behind long.
#   phone-fixture.sh start <state-dir> <zentro-phone> [phone args...]   ready line in <state-dir>/ready
#   phone-fixture.sh stop <state-dir>
set -eu
action=$1 dir=$2
shift 2

stop() {
  for f in holder phone; do
    if [ -f "$dir/$f.pid" ]; then
      kill "$(cat "$dir/$f.pid")" 2>/dev/null || true
      rm -f "$dir/$f.pid"
    fi
  done
}

case $action in
start)
  phone=$1
  shift
  stop
  rm -rf "$dir"
  mkdir -p "$dir"
  mkfifo "$dir/stdin"
  "$phone" "$@" <"$dir/stdin" >"$dir/out" 2>"$dir/err" &
  echo $! >"$dir/phone.pid"
  sleep 3600 >"$dir/stdin" 2>/dev/null </dev/null &
  echo $! >"$dir/holder.pid"
  i=0
  while ! grep -q '^ready ' "$dir/out" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 "$(cat "$dir/phone.pid")" 2>/dev/null; then
      echo "zentro-phone did not start:" >&2
      cat "$dir/err" >&2
      stop
      exit 1
    fi
    sleep 0.1
  done
  grep '^ready ' "$dir/out" >"$dir/ready"
  cat "$dir/ready"
  ;;
stop)
  stop
  ;;
*)
  echo "usage: $0 start|stop <state-dir> ..." >&2
  exit 2
  ;;
esac
