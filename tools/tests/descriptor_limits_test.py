#!/usr/bin/env python3
"""`tarvik listen` and the open-file limit: the server raises a low soft limit so its connection cap is
real, and when the hard limit runs out it goes on serving its open connections and takes new ones again
once descriptors are free.

    descriptor_limits_test.py TARVIK
"""
import json
import resource
import socket
import struct
import subprocess
import sys
import time
import uuid

tarvik = sys.argv[1]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)


def start(nofile):
    p = subprocess.Popen(['prlimit', f'--nofile={nofile}', '--', tarvik, 'listen', '--host-port', '0',
                          '--host-id', 'H'], stdout=subprocess.PIPE, text=True)
    line = p.stdout.readline()
    return p, json.loads(line)['listening']


def stop(p):
    p.terminate()
    try:
        p.wait(timeout=20)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()


def soft_nofile(pid):
    with open(f'/proc/{pid}/limits') as f:
        for line in f:
            if line.startswith('Max open files'):
                return int(line.split()[3])
    return 0


def pdu(ptype, call_id):
    """A bind (11) or alter_context (14) of the host interface, NDR 2.0, context 0."""
    def syntax(text, major, minor):
        return uuid.UUID(text).bytes_le + struct.pack('<HH', major, minor)
    body = struct.pack('<HHI', 5840, 5840, 0) + struct.pack('<B3x', 1) + struct.pack('<HBx', 0, 1)
    body += syntax('d3d7d860-c15a-11d0-a0cb-00a0244ce687', 1, 0) + syntax('8a885d04-1ceb-11c9-9fe8-08002b104860', 2, 0)
    return struct.pack('<BBBB4sHHI', 5, 0, ptype, 3, b'\x10\0\0\0', 16 + len(body), 0, call_id) + body


def answer_type(sock, request):
    """Sends a PDU and reads the whole answer; its PDU type."""
    sock.sendall(request)
    head = b''
    while len(head) < 16:
        got = sock.recv(16 - len(head))
        if not got:
            return None
        head += got
    rest = struct.unpack_from('<H', head, 8)[0] - 16
    while rest > 0:
        got = sock.recv(rest)
        if not got:
            return None
        rest -= len(got)
    return head[2]


# A soft limit of 1024 is raised to 5120 (above the 4096-connection cap), never beyond the hard limit
# (which this process can only keep or lower).
hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
hard = 8192 if hard == resource.RLIM_INFINITY else min(hard, 8192)
if hard > 1024:
    p, port = start(f'1024:{hard}')
    try:
        want = min(5120, hard)
        check(soft_nofile(p.pid) == want, f'soft limit of open files is {soft_nofile(p.pid)}, not raised to {want}')
    finally:
        stop(p)

# Hard limit 64: silent connections use up the descriptors.
p, port = start('64:64')
silent = []
try:
    bound = socket.create_connection(('127.0.0.1', port), timeout=10)
    check(answer_type(bound, pdu(11, 1)) == 12, 'no bind_ack before the descriptors ran out')
    for i in range(100):
        s = socket.socket()
        s.bind((f'127.0.2.{1 + i // 50}', 0))
        s.connect(('127.0.0.1', port))  # completes in the kernel's backlog even when accept fails
        silent.append(s)
    time.sleep(1)
    check(p.poll() is None, 'tarvik listen ended when the descriptors ran out')
    check(answer_type(bound, pdu(14, 2)) == 15, 'an open connection was not served while descriptors ran out')
    for s in silent:
        s.close()
    silent.clear()
    # New connections are taken again once descriptors are free (the listener rests until the next sweep).
    r = subprocess.run([tarvik, 'notify', 'R_MESSAGE_H', 'pszHost=H', 'pszMessage=back', '--host-port', str(port),
                        '--timeout', '5'], capture_output=True, text=True, timeout=60)
    check(r.returncode == 0 and '"status":0' in r.stdout,
          f'a telegram after the descriptors were freed failed: {r.stdout}{r.stderr}')
    bound.close()
finally:
    for s in silent:
        s.close()
    stop(p)
out = p.stdout.read()
check('"back"' in out, 'tarvik listen did not print the telegram sent after the descriptors were freed')

print('descriptor limits: ' + ('FAILED' if failures else 'ok'))
sys.exit(1 if failures else 0)
