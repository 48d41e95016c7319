#!/usr/bin/env python3
"""Out-of-process sending figures: C_ORDER_M round trips through the control against raw TCP ping-pong.

Usage: bench/round_trip.py [--build build] [--calls 5000] [--repeat 3]

Starts a canned machine (`tarvik_loadgen machine`: it accepts the bind and answers every request with
result 0 from one blocking thread per connection) and runs `order_round_trip`, which sends --calls
C_ORDER_M through `Invoke` on a Machine object to it. The baseline is `tarvik_loadgen run --raw
--connections 1` against `tarvik_loadgen echo`: the same request and response byte counts as ping-pong
over raw TCP, client and server each in a process of its own as well. Runs alternate; the table shows
medians of the runs: calls/s, the median round trip and the client's CPU time per call, with ratios
control over raw (1.00 = as fast as bare TCP). On a shared machine the median round trip is the steadier
figure: a run's mean is moved by the few calls during which another process had the CPU.
"""
import argparse
import json
import os
import resource
import signal
import statistics
import subprocess
import sys

HOST_ID = 'HOST01'
MACHINE = 'MC01'
# The fields control/bench/order_round_trip.cpp sends, as `tarvik_loadgen` takes them.
ORDER_FIELDS = [f'pszHost={HOST_ID}', f'pszMachine={MACHINE}', 'OrderNum=7', 'SFkt=1',
                'Name1=PART-0001', 'Name2=FIXTURE',
                'Name3=NC1', 'Name4=X', 'Parameter1=1', 'Parameter2=2', 'Parameter3=3', 'Parameter4=4']


def start_server(argv):
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line:
        sys.exit(f'{argv[0]} {argv[1]} did not start')
    return proc, json.loads(line)['listening']


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGINT)
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def child_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(argv, n):
    """Runs a client process; its JSON line with the client's CPU µs per call added."""
    before = child_cpu()
    out = subprocess.run(argv, capture_output=True, text=True, timeout=660)
    if out.returncode not in (0, 1) or not out.stdout:
        sys.exit(f'{os.path.basename(argv[0])} failed: {out.stderr.strip()}')
    result = json.loads(out.stdout)
    result['cpu_us_per_call'] = (child_cpu() - before) * 1e6 / n
    return result


def order_run(program, port, n):
    return timed([program, '--machine-port', str(port), '--calls', str(n)], n)


def raw_run(loadgen, port, response, n):
    argv = [loadgen, 'run', '--port', str(port), '--connections', '1', '--seconds', '600', '--max-calls', str(n),
            '--telegram', 'C_ORDER_M', '--raw', '--raw-response', str(response)] + ORDER_FIELDS
    return timed(argv, n)


def main():
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--build', default='build')
    p.add_argument('--calls', type=int, default=5000)
    p.add_argument('--repeat', type=int, default=3)
    args = p.parse_args()
    loadgen = os.path.join(args.build, 'bench', 'loadgen', 'tarvik_loadgen')
    sizes = json.loads(subprocess.run([loadgen, 'sizes', '--telegram', 'C_ORDER_M'] + ORDER_FIELDS,
                                      capture_output=True, text=True, check=True).stdout)

    machine, machine_port = start_server([loadgen, 'machine', '--telegram', 'C_ORDER_M'])
    echo, echo_port = start_server([loadgen, 'echo', '--request', str(sizes['request_bytes']),
                                    '--response', str(sizes['response_bytes'])])
    program = os.path.join(args.build, 'control', 'order_round_trip')
    ours, raw = [], []
    try:
        for _ in range(args.repeat):
            raw.append(raw_run(loadgen, echo_port, sizes['response_bytes'], args.calls))
            ours.append(order_run(program, machine_port, args.calls))
    finally:
        stop(machine)
        stop(echo)

    o = statistics.median(r['calls_per_s'] for r in ours)
    b = statistics.median(r['calls_per_s'] for r in raw)
    print(f'C_ORDER_M round trips through the control: {args.calls} calls per run, median of {args.repeat}; '
          f'request {sizes["request_bytes"]} B, response {sizes["response_bytes"]} B')
    med = lambda runs, key: statistics.median(r[key] for r in runs)
    om, bm = med(ours, 'median_us'), med(raw, 'median_us')
    print('| control calls/s | raw ping-pong calls/s | mean time per call, control / raw | median µs, control / raw '
          '(ratio) | client CPU µs per call, control / raw | failures |')
    print('|---:|---:|---:|---:|---:|---:|')
    print(f'| {o:,.0f} | {b:,.0f} | {b / o:.2f} | {om:.1f} / {bm:.1f} ({om / bm:.2f}) '
          f'| {med(ours, "cpu_us_per_call"):.1f} / {med(raw, "cpu_us_per_call"):.1f} | {sum(r["failures"] for r in ours)} |')


if __name__ == '__main__':
    main()
