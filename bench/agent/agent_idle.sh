#!/usr/bin/env bash
# The agent program as a session runs it, against the real server, with 20
# watched windows: time from launch to its first tick (the first charged
# minute of the session reaches the server), its CPU over 60 idle seconds,
# and its resident memory. Needs a display (DISPLAY) and runs in private
# namespaces with an avahi-daemon of its own (scripts/isolated-rig).
#   bench/agent/agent_idle.sh BUILD_DIR [SECONDS]
set -eu
build=$(cd "${1:?usage: $0 BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-60}
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${CORVANE_ISOLATED_RIG:-}" != inside ]; then
  exec "$top/scripts/isolated-rig" "$0" "$@"
fi
[ -n "${DISPLAY:-}" ] || { echo "no X display" >&2; exit 1; }
root=$(mktemp -d /tmp/c5-agent-bench-XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$root"' EXIT
support="$root/Library/Application Support/Corvane 5"
mkdir -p "$support" "$root/Library/Preferences/ByHost" "$root/share/applications"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>Use custom port</key><string>1</string><key>Custom port</key><string>%s</string></dict></plist>\n' "$port" \
  >"$root/Library/Preferences/ByHost/com.quarlant.corvane5.plist"
entries="<key>com.apple.loginwindow</key><dict><key>Credit</key><integer>1000</integer><key>Enabled</key><true/></dict>"
for i in $(seq -w 1 20); do
  printf '[Desktop Entry]\nType=Application\nName=Bench %s\nStartupWMClass=C5Bench%s\nExec=xterm\n' "$i" "$i" \
    >"$root/share/applications/c5bench-$i.desktop"
  entries="$entries<key>c5bench-$i</key><dict><key>Credit</key><integer>1000</integer><key>Enabled</key><true/></dict>"
done
printf '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>%s</key><dict>%s</dict></dict></plist>\n' \
  "$(id -un)" "$entries" >"$support/settings.plist"
export CORVANE_ROOT="$root" CORVANE_LOOPBACK_ONLY=1
"$build/bin/Corvane 5 Server" >"$root/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "Waiting for client" "$support/ServerLog.log" 2>/dev/null && break; sleep 0.1; done
for i in $(seq -w 1 20); do
  xterm -class "C5Bench$i" -geometry 20x2 -e sleep 100000 &
  pids+=($!)
done
for _ in $(seq 100); do [ "$(xdotool search --onlyvisible --class C5Bench | wc -l)" -ge 20 ] && break; sleep 0.1; done

start=$(date +%s.%N)
XDG_DATA_DIRS="$root/share" XDG_DATA_HOME="$root/none" "$build/bin/Corvane 5 Login Item" >"$root/agent.out" 2>&1 &
agent=$!
pids+=($agent)
until grep -q "minute used notification user $(id -un) and app com.apple.loginwindow" "$support/ServerLog.log"; do sleep 0.01; done
first_tick=$(echo "$(date +%s.%N) - $start" | bc)
sleep 2
watched=$(grep -c "minute used notification user $(id -un) and app c5bench" "$support/ServerLog.log" || true)
cpu_ns() { awk '{print $1}' "/proc/$agent/schedstat"; }  # nanoseconds on a CPU
before=$(cpu_ns)
sleep "$seconds"
after=$(cpu_ns)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$agent/status")
cpu_percent=$(echo "scale=5; ($after - $before) / 10000000 / $seconds" | bc)
echo "watched applications charged at start: $watched of 20"
# The tick first fires one second after it is installed, by design; the
# start-up work is what comes before that second.
work=$(echo "$first_tick - 1" | bc)
echo "start-up to first tick: ${first_tick} s, of which start-up work ${work} s (goal 1 s; ratio $(echo "scale=3; $work / 1" | bc))"
echo "CPU over ${seconds} s: ${cpu_percent}% of a core (goal 0.1%; ratio $(echo "scale=3; $cpu_percent / 0.1" | bc))"
echo "resident memory: ${rss} KiB"
