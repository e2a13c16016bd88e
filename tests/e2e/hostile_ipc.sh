#!/usr/bin/env bash
# Nothing a peer sends on the instance socket harms the instance: a huge
# announced length, truncated messages, random bytes, peers that connect and
# say nothing, a flood of connections. It stays alive, its memory stays
# within a few MiB, and a later start still activates it.
. "$(dirname "$0")/lib.sh"

start_vorn
main_window >/dev/null
rss() { awk '/^VmRSS:/ {print $2}' "/proc/$PID/status"; }
before=$(rss)

/usr/bin/python3 - "$XDG_RUNTIME_DIR/vorn-app" <<'PY' || fail "the payloads could not be sent"
import os, random, socket, struct, sys, time

path = sys.argv[1]
def send(data, linger=0.0):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(path)
    try:
        s.sendall(data)
    except OSError:
        pass  # dropped by the instance, as it should be
    time.sleep(linger)
    s.close()

topic = b"only_one"
connect = bytes([10]) + struct.pack("<I", len(topic)) + topic
cases = [
    bytes([10]) + struct.pack("<I", 0xFFFFFFF0),                 # a huge topic length
    connect + bytes([1, 13]) + struct.pack("<I", 0xC0000000),    # a huge execute length
    connect + bytes([1, 13]) + struct.pack("<I", 4) + b"\0",     # truncated data
    connect[:3],                                                 # truncated header
    connect + bytes([3]) + b"poke",                              # a message not in the conversation
    bytes([2]) + b"request",                                     # no connect first
]
for data in cases:
    send(data, 0.05)
random.seed(20261208)
for _ in range(200):
    send(bytes(random.getrandbits(8) for _ in range(random.randint(1, 64))))
# Peers that say nothing, beyond the number the instance keeps open.
silent = []
for _ in range(16):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(path)
    silent.append(s)
time.sleep(4)
for s in silent:
    s.close()
PY

kill -0 "$PID" 2>/dev/null || fail "the instance died"
after=$(rss)
[ $((after - before)) -lt 8192 ] || fail "memory grew from $before KiB to $after KiB"
"$VORN" >"$WORK/later.log" 2>&1 &
later=$!
PIDS+=("$later")
wait_exit "$later"
[ "$STATUS" = 0 ] || fail "a later start could not activate the instance: status $STATUS"
echo "PASS: hostile payloads leave the instance running and reachable (RSS $before -> $after KiB)"
