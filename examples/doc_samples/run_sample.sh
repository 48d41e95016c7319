#!/bin/bash
# Runs one documentation sample against `tarvik machine` on 127.0.0.1 and checks what it prints:
# its host endpoint's port, the telegram it sends answered 0 (and seen by the machine), a
# R_MESSAGE_H from `tarvik notify` (the protocol sample prints every telegram; the control
# sample prints the event DISPID 13; the managed sample the message), and Shutdown_H ending it.
#   run_sample.sh TARVIK KIND COMMAND...      KIND: control, protocol or managed
set -u
tarvik=$1 kind=$2
shift 2
work=$(mktemp -d)
machine_pid= sample_pid=
cleanup() {
  for pid in $sample_pid $machine_pid; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do echo "--- $f"; cat "$f"; done >&2
  exit 1
}
# Waits up to 10 s for a line matching the pattern in the file; prints the first.
wait_line() {
  for _ in $(seq 100); do
    grep -m1 -E "$2" "$1" && return 0
    sleep 0.1
  done
  return 1
}

"$tarvik" machine --port 0 > "$work/machine.out" 2> "$work/machine.err" &
machine_pid=$!
line=$(wait_line "$work/machine.out" '^\{"listening":[0-9]+\}$') || fail "tarvik machine did not start"
machine_port=${line//[^0-9]/}

"$@" "$machine_port" 30000 > "$work/sample.out" 2> "$work/sample.err" &
sample_pid=$!
line=$(wait_line "$work/sample.out" '^\{"listening":[0-9]+\}$') || fail "the sample's host did not start"
host_port=${line//[^0-9]/}
[ "$host_port" != 0 ] || fail "the sample names port 0"

case $kind in
  control) sent=T_DATA_M; sent_line='{"method":"T_DATA_M","ret":0}' ;;
  *) sent=C_ORDER_M; sent_line='{"telegram":"C_ORDER_M","status":0}' ;;
esac
wait_line "$work/sample.out" "^${sent_line//[\{\}]/.}\$" > /dev/null || fail "$sent was not answered 0"
grep -q "\"telegram\":\"$sent\"" "$work/machine.out" || fail "the machine did not see $sent"

out=$("$tarvik" notify R_MESSAGE_H pszHost=HOST1 pszMachine=MC01 OrderNum=5 pszMessage=hello \
      --host-port "$host_port") || fail "tarvik notify exited $?"
[ "$out" = '{"telegram":"R_MESSAGE_H","status":0}' ] || fail "R_MESSAGE_H answered: $out"
case $kind in
  control) expected='^\{"event":13,"args":5\}$' ;;
  protocol) expected='^\{"received":"R_MESSAGE_H","machine":"MC01","order":5,"answer":0\}$' ;;
  managed) expected='^\{"event":"RxMESSAGExH","message":"hello"\}$' ;;
esac
wait_line "$work/sample.out" "$expected" > /dev/null || fail "no line for R_MESSAGE_H"

"$tarvik" notify Shutdown_H --host-port "$host_port" > /dev/null || fail "Shutdown_H was not delivered"
for _ in $(seq 100); do
  kill -0 "$sample_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$sample_pid"; status=$? sample_pid=
[ "$status" = 0 ] || fail "the sample exited $status"
echo "ok: $kind sample"
