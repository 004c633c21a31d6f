#!/usr/bin/env python3
"""Sends requests to a Corvane 5 server and prints the replies.

    corvane_request.py PORT COMMAND [ARGS...]

COMMAND is GetCredit USER APP, GetStats USER APP, GetEnabledApps USER,
AutoUpdateCredit USER APP, MinuteUsed USER APP, or
SaveCredit USER APP KEY=VALUE... (Credit, Enabled, AutoUpdateValue, ...).
Replies are parsed with Python's own plist reader."""
import plistlib
import socket
import struct
import sys

COMMANDS = {"GetCredit": 1, "SaveCredit": 2, "AutoUpdateCredit": 3, "GetEnabledApps": 4,
            "GetStats": 5, "MinuteUsed": 6, "DisconnectionRequest": 7}
# The packed record's fields in order, with their struct codes and defaults.
RECORD = [("NextAutoUpdate", "I", 0), ("AutoUpdateValue", "i", 0), ("Credit", "i", 0),
          ("AutoUpdateCoeff", "b", 1), ("WdCurfewEnabled", "B", 0), ("WeCurfewEnabled", "B", 0),
          ("WdStart", "i", 0), ("WdStop", "i", 1439), ("WeStart", "i", 0), ("WeStop", "i", 1439),
          ("Enabled", "B", 0), ("ReportCredit", "B", 0), ("WeCoeff", "b", 1), ("WeValue", "i", 0),
          ("DqEnabled", "B", 0), ("DqValue", "i", 0)]


def field(text):
    data = text.encode("utf-8")
    return struct.pack("<I", len(data)) + data


def request(command, args):
    fields = args[:1] if command in ("GetEnabledApps", "DisconnectionRequest") else args[:2]
    payload = b"".join(field(a) for a in fields)
    if command in ("SaveCredit", "MinuteUsed"):
        given = {k: int(v) for k, v in (a.split("=", 1) for a in args[2:])}
        payload += struct.pack("<" + "".join(code for _, code, _ in RECORD),
                               *(given.get(name, default) for name, _, default in RECORD))
    return struct.pack(">IB4x", len(payload) + 9, COMMANDS[command]) + payload


def receive_exactly(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise SystemExit("server closed the connection")
        data += chunk
    return data


def main():
    port, command, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
        sock.sendall(request(command, args))
        if command in ("GetCredit", "GetEnabledApps", "GetStats"):
            (length,) = struct.unpack(">I", receive_exactly(sock, 4))
            print(f"{command} {' '.join(args)} -> {plistlib.loads(receive_exactly(sock, length))!r}")
        else:
            print(f"{command} {' '.join(args)} sent")


if __name__ == "__main__":
    main()
