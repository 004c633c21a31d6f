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
ANSWERED = {1, 4, 5}


def field(text):
    data = text.encode("utf-8")
    return struct.pack("<I", len(data)) + data


def packed_record(values):
    v = {"NextAutoUpdate": 0, "AutoUpdateValue": 0, "Credit": 0, "AutoUpdateCoeff": 1,
         "WdCurfewEnabled": 0, "WeCurfewEnabled": 0, "WdStart": 0, "WdStop": 1439,
         "WeStart": 0, "WeStop": 1439, "Enabled": 0, "ReportCredit": 0, "WeCoeff": 1,
         "WeValue": 0, "DqEnabled": 0, "DqValue": 0}
    v.update({k: int(x) for k, x in values.items()})
    return struct.pack("<IiibBBiiiiBBbiBi", v["NextAutoUpdate"], v["AutoUpdateValue"], v["Credit"],
                       v["AutoUpdateCoeff"], v["WdCurfewEnabled"], v["WeCurfewEnabled"],
                       v["WdStart"], v["WdStop"], v["WeStart"], v["WeStop"], v["Enabled"],
                       v["ReportCredit"], v["WeCoeff"], v["WeValue"], v["DqEnabled"], v["DqValue"])


def request(command, args):
    number = COMMANDS[command]
    if command in ("GetEnabledApps", "DisconnectionRequest"):
        payload = field(args[0])
    else:
        payload = field(args[0]) + field(args[1])
        if command in ("SaveCredit", "MinuteUsed"):
            payload += packed_record(dict(a.split("=", 1) for a in args[2:]))
    return struct.pack(">IB4x", len(payload) + 9, number) + payload


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
        if COMMANDS[command] in ANSWERED:
            (length,) = struct.unpack(">I", receive_exactly(sock, 4))
            reply = plistlib.loads(receive_exactly(sock, length))
            print(f"{command} {' '.join(args)} -> {reply!r}")
        else:
            print(f"{command} {' '.join(args)} sent")


if __name__ == "__main__":
    main()
