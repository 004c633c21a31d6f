#!/usr/bin/env bash
# Runs a command with a D-Bus system bus and an avahi-daemon of its own, in
# private mount and network namespaces: it sees only the services it
# publishes itself, and nothing it publishes leaves its own loopback. Where
# namespaces cannot be made (no privilege), the command runs as it is.
set -u
if [ "${CORVANE_ISOLATED_RIG:-}" != inside ]; then
  if CORVANE_ISOLATED_RIG=probe unshare -m -n true 2>/dev/null; then
    exec env CORVANE_ISOLATED_RIG=inside unshare -m -n "$0" "$@"
  fi
  exec "$@"
fi

state=$(mktemp -d /tmp/c5-rig-XXXXXX)
cleanup() {
  [ -f /run/avahi-daemon/pid ] && kill "$(cat /run/avahi-daemon/pid)" 2>/dev/null
  [ -f "$state/dbus.pid" ] && kill "$(cat "$state/dbus.pid")" 2>/dev/null
  rm -rf "$state"
}
trap cleanup EXIT

ip link set lo up
# The bus made here is at the standard place, whatever one was inherited.
unset DBUS_SYSTEM_BUS_ADDRESS
# Sockets and pid files of the machine's own daemons stay out of sight.
mkdir -p /run/avahi-daemon
mount -t tmpfs tmpfs /run/dbus
mount -t tmpfs tmpfs /run/avahi-daemon
dbus-daemon --system --fork --print-pid >"$state/dbus.pid" || exit 1
printf '%s\n' '[server]' use-ipv4=yes use-ipv6=yes allow-interfaces=lo enable-dbus=yes \
  ratelimit-interval-usec=1000000 ratelimit-burst=1000 '[wide-area]' enable-wide-area=no \
  '[publish]' publish-hinfo=no publish-workstation=no '[reflector]' enable-reflector=no \
  >"$state/avahi-daemon.conf"
if ! avahi-daemon -f "$state/avahi-daemon.conf" -D --no-chroot 2>"$state/avahi.log"; then
  cat "$state/avahi.log" >&2
  exit 1
fi
for _ in $(seq 1 50); do
  avahi-daemon --check 2>/dev/null && break
  sleep 0.1
done
"$@"
