#!/usr/bin/env python3
"""Out-of-process intake figures: a host-side target against a raw TCP echo of the same bytes.

Usage: bench/intake.py [--build build] [--target listen|control_host|managed_host] [--connections 8,64]
                       [--seconds 3] [--repeat 3] [--tarvik PATH] [--telegram R_MESSAGE_H]

Starts the raw echo (`tarvik_loadgen echo`, one thread per connection) and the target (`tarvik listen`
with stdout to a file, `examples/control_host` or `ManagedHost.exe` under Mono, with one machine object), runs `tarvik_loadgen run`
against each, alternating raw and target --repeat times per connection count, stops everything and
prints a table of median calls/s, latencies and the ratio target/raw (1.00 = as fast as raw TCP),
plus how many telegrams the target printed or raised against how many calls were answered.
"""
import argparse
import json
import os
import signal
import socket
import statistics
import struct
import uuid
import subprocess
import sys
import tempfile
import time

HOST_ID = 'HOST01'
MACHINE = 'MC01'


def wait_for_port(path, proc, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            sys.exit(f'target ended early with {proc.returncode}')
        with open(path) as f:
            first = f.readline()
        if first.endswith('\n'):
            return json.loads(first)['listening']
        time.sleep(0.02)
    sys.exit('target did not print its port')


TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pid):
    """User and system CPU time of a process (all its threads) so far."""
    with open(f'/proc/{pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def count_lines(path, word):
    with open(path, 'rb') as f:
        return sum(1 for line in f if word in line)


class Target:
    """A started process whose stdout goes to a file; `delivered` counts its per-telegram lines."""

    def __init__(self, argv, word, stdin=None):
        self.out = tempfile.NamedTemporaryFile(prefix='intake-', suffix='.jsonl', delete=False)
        self.word = word
        self.proc = subprocess.Popen(argv, stdout=self.out, stdin=stdin, stderr=subprocess.DEVNULL)
        self.port = wait_for_port(self.out.name, self.proc)

    def delivered(self):
        return count_lines(self.out.name, self.word)

    def settle(self, timeout=10.0):
        """Waits until the target stops printing (a queue still being raised, a writer still busy)."""
        deadline = time.monotonic() + timeout
        last = -1
        while time.monotonic() < deadline:
            now = self.delivered()
            if now == last:
                return
            last = now
            time.sleep(0.3)

    def stop(self):
        if self.proc.stdin:
            self.proc.stdin.close()
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.out.close()

    def rss_kib(self):
        try:
            with open(f'/proc/{self.proc.pid}/status') as f:
                for line in f:
                    if line.startswith('VmRSS:'):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0


def bind_pdu():
    """A bind of the host interface (NDR 2.0, context 0), as a machine sends it first."""
    def syntax(text, major, minor):
        return uuid.UUID(text).bytes_le + struct.pack('<HH', major, minor)
    body = struct.pack('<HHI', 5840, 5840, 0) + struct.pack('<B3x', 1) + struct.pack('<HBx', 0, 1)
    body += syntax('d3d7d860-c15a-11d0-a0cb-00a0244ce687', 1, 0) + syntax('8a885d04-1ceb-11c9-9fe8-08002b104860', 2, 0)
    return struct.pack('<BBBB4sHHI', 5, 0, 11, 3, b'\x10\0\0\0', 16 + len(body), 0, 1) + body


def idle_connection_cost(target, count):
    """Opens `count` bound, idle connections (200 per loopback address, below the per-address limit)
    and returns the target's RSS growth per connection in KiB, and the number that stayed open."""
    before = target.rss_kib()
    conns = []
    pdu = bind_pdu()
    try:
        for i in range(count):
            c = socket.socket()
            c.bind((f'127.0.1.{2 + i // 200}', 0))
            c.connect(('127.0.0.1', target.port))
            c.sendall(pdu)
            conns.append(c)
        for c in conns:
            c.settimeout(10)
            c.recv(4096)  # the bind_ack: the server holds the connection's state now
        time.sleep(0.5)
        grown = target.rss_kib() - before
    finally:
        for c in conns:
            c.close()
    return grown / max(1, len(conns)), len(conns)


def start_target(args):
    if args.target == 'listen':
        tarvik = args.tarvik or os.path.join(args.build, 'tools', 'tarvik')
        return Target([tarvik, 'listen', '--host-port', '0', '--host-id', HOST_ID], b'"telegram"')
    if args.target == 'managed_host':
        exe = os.path.join(args.build, 'examples', 'managed_host', 'ManagedHost.exe')
        argv = ['mono', exe]
    else:
        argv = [os.path.join(args.build, 'examples', 'control_host', 'control_host')]
    return Target(argv + ['--host-id', HOST_ID, '--host-port', '0', '--machine', MACHINE], b'"event"',
                  stdin=subprocess.PIPE)


def run_load(loadgen, port, connections, args, raw, pid):
    argv = [loadgen, 'run', '--port', str(port), '--connections', str(connections), '--seconds', str(args.seconds),
            '--telegram', args.telegram]
    if raw:
        argv += ['--raw', '--raw-response', '28']
    cpu_before = cpu_seconds(pid)
    out = subprocess.run(argv, capture_output=True, text=True, timeout=args.seconds + 60)
    if out.returncode not in (0, 1) or not out.stdout:
        sys.exit(f'load generator failed: {out.stderr.strip()}')
    result = json.loads(out.stdout)
    # CPU time the server spent per call: steadier than calls/s on a machine shared with others.
    result['cpu_us_per_call'] = (cpu_seconds(pid) - cpu_before) * 1e6 / max(1, result['calls'] + connections)
    return result


def main():
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--build', default='build')
    p.add_argument('--target', choices=['listen', 'control_host', 'managed_host'], default='listen')
    p.add_argument('--tarvik', help='tarvik executable (default: BUILD/tools/tarvik)')
    p.add_argument('--connections', default='8,64')
    p.add_argument('--seconds', type=float, default=3.0)
    p.add_argument('--repeat', type=int, default=3)
    p.add_argument('--telegram', default='R_MESSAGE_H')
    p.add_argument('--idle-connections', type=int, default=900,
                   help='bound idle connections opened after the runs to measure their memory (0: skip)')
    args = p.parse_args()
    loadgen = os.path.join(args.build, 'bench', 'loadgen', 'tarvik_loadgen')

    echo = subprocess.Popen([loadgen, 'echo', '--request', '105', '--response', '28'], stdout=subprocess.PIPE,
                            text=True)
    echo_port = json.loads(echo.stdout.readline())['listening']
    target = start_target(args)
    idle_rss = target.rss_kib()
    rows = []
    answered = 0
    try:
        for n in [int(x) for x in args.connections.split(',')]:
            ours, raw = [], []
            for _ in range(args.repeat):
                raw.append(run_load(loadgen, echo_port, n, args, True, echo.pid))
                r = run_load(loadgen, target.port, n, args, False, target.proc.pid)
                answered += r['calls'] + n  # and one untimed first call per connection
                ours.append(r)
            rows.append((n, ours, raw))
        target.settle()
        busy_rss = target.rss_kib()
        per_idle = idle_connection_cost(target, args.idle_connections) if args.idle_connections else None
    finally:
        target.stop()
        echo.send_signal(signal.SIGINT)
        echo.wait(timeout=30)

    med = lambda runs, key: statistics.median(r[key] for r in runs)
    print(f'target: {args.target}, telegram {args.telegram}, {args.seconds:g} s per run, median of {args.repeat}')
    print('| connections | target calls/s | raw calls/s | ratio target/raw | target median/p99 µs | raw median/p99 µs '
          '| CPU µs/call target / raw | failures |')
    print('|---:|---:|---:|---:|---:|---:|---:|---:|')
    for n, ours, raw in rows:
        o, b = med(ours, 'calls_per_s'), med(raw, 'calls_per_s')
        fails = sum(r['failures'] for r in ours)
        print(f'| {n} | {o:,.0f} | {b:,.0f} | {o / b:.2f} | {med(ours, "median_us"):.0f} / {med(ours, "p99_us"):.0f} '
              f'| {med(raw, "median_us"):.0f} / {med(raw, "p99_us"):.0f} '
              f'| {med(ours, "cpu_us_per_call"):.1f} / {med(raw, "cpu_us_per_call"):.1f} | {fails} |')
    delivered = target.delivered()
    print(f'calls answered with result 0: {answered:,}; telegrams delivered by the target: {delivered:,}'
          f'{"" if delivered == answered else "  <-- MISMATCH"}')
    print(f'target RSS: {idle_rss:,} KiB idle after start, {busy_rss:,} KiB after the runs')
    if per_idle:
        print(f'idle connections: {per_idle[1]:,} bound and idle cost {per_idle[0]:.1f} KiB of RSS each')
    os.unlink(target.out.name)


if __name__ == '__main__':
    main()
