#!/usr/bin/env bash
# The test rig's DNS-SD daemon answers on loopback: a service published with
# avahi-publish is found, resolved, by avahi-browse.
set -u
if ! dbus-send --system --print-reply --reply-timeout=3000 --dest=org.freedesktop.Avahi / \
    org.freedesktop.Avahi.Server.GetVersionString >/dev/null 2>&1; then
  echo "skipped: no avahi-daemon answers on the system bus: run scripts/test-env start"
  exit 77
fi
name="corvane-rig-$$"
avahi-publish -s "$name" _corvane5rig._tcp 45678 >/dev/null 2>&1 &
pub=$!
trap 'kill $pub 2>/dev/null' EXIT
for _ in $(seq 1 40); do
  out=$(avahi-browse -rpt _corvane5rig._tcp 2>/dev/null | grep "^=;.*;$name;")
  if [ -n "$out" ]; then
    port=$(echo "$out" | head -n1 | cut -d';' -f9)
    iface=$(echo "$out" | head -n1 | cut -d';' -f2)
    echo "found $name on $iface port $port"
    [ "$port" = 45678 ] || { echo "wrong port"; exit 1; }
    [ "$iface" = lo ] || { echo "announced on $iface, not loopback"; exit 1; }
    exit 0
  fi
  sleep 0.25
done
echo "service $name was not found"
exit 1
