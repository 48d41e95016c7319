#!/usr/bin/env python3
"""Turns Google Benchmark JSON into a table of ratios against the raw TCP baselines of the same run.

Usage: report.py RESULT.json [RESULT.json ...]
Pairs every benchmark with the baseline named in BASELINES (same thread count) and prints a
Markdown table: calls/s of both, and the ratio of time per call (ours / baseline; 1.00 = as fast).
With --benchmark_repetitions the median of the repetitions is used (run them with
--benchmark_enable_random_interleaving=true so that ours and the baseline see the same load).
"""
import json
import re
import statistics
import sys

# benchmark name prefix -> its baseline's name prefix
BASELINES = {
    'BM_RpcRoundTrip': 'BM_RawTcpRoundTrip',
    'BM_TelegramRoundTrip': 'BM_RawTcpTelegramRoundTrip',
    'BM_HostIntake': 'BM_RawTcpHostIntake',
    'BM_ControlInvokeRoundTrip': 'BM_RawTcpTelegramRoundTrip',
    'BM_ControlEventIntake': 'BM_RawTcpHostIntake',
    'BM_ManagedEventIntake': 'BM_RawTcpHostIntake',
}


def split(name):
    m = re.match(r'([^/]+)(.*)', name)
    return m.group(1), m.group(2)


def main(paths):
    samples = {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)['benchmarks']:
                if b.get('run_type', 'iteration') == 'iteration' and 'items_per_second' in b:
                    samples.setdefault(b.get('run_name', b['name']), []).append(b['items_per_second'])
    runs = {name: statistics.median(rates) for name, rates in samples.items()}
    print('| benchmark | calls/s | baseline calls/s | time ratio (ours/raw) |')
    print('|---|---:|---:|---:|')
    for name, rate in runs.items():
        prefix, rest = split(name)
        base = BASELINES.get(prefix)
        if not base or base + rest not in runs:
            continue
        base_rate = runs[base + rest]
        print(f'| {name} | {rate:,.0f} | {base_rate:,.0f} | {base_rate / rate:.2f} |')


if __name__ == '__main__':
    main(sys.argv[1:])
