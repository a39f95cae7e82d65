#!/usr/bin/env bash
# zelsim's control channel from its command line: commands from standard
# input are answered on standard output line by line, and a datagram to the
# control port printed at start is answered with a datagram.
#   zelsim_control.sh ZELSIM
set -uo pipefail
zelsim=$1
failed=0
out=$(printf 'modules\nrestart 5\n\nunplug 1 100\n' |
    timeout -s TERM 3 "$zelsim" --modules 10,11 --control stdin 2>&1)
for wanted in "^ok 2 modules 0=127\.[0-9]+\.0\.10 1=127\.[0-9]+\.0\.11$" \
    "^error: no module at position '5' \(0 to 1\)$" "^ok module 1 unplugged for 100 ms$"; do
    grep -qE "$wanted" <<<"$out" || { echo "stdin control: no line $wanted in:"; echo "$out"; failed=1; }
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$zelsim" --modules 10 --control 0 >"$log" 2>&1 &
pid=$!
for _ in $(seq 50); do grep -q "^zelsim: ready" "$log" && break; sleep 0.1; done
port=$(sed -n 's/^zelsim: control port 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log")
if [ -z "$port" ]; then
    echo "no control port printed:"; cat "$log"; failed=1
else
    reply=$(python3 - "$port" <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(3)
s.sendto(b"restart 0 50\n", ("127.0.0.1", int(sys.argv[1])))
print(s.recv(4096).decode())
PY
)
    [ "$reply" = "ok module 0 restarted, silent for 50 ms" ] ||
        { echo "control port answered '$reply'"; failed=1; }
fi
kill "$pid"
wait "$pid" || { echo "zelsim ended with $? after SIGTERM"; failed=1; }
exit $failed
