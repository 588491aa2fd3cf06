#!/usr/bin/env python3
"""sway_ipc.py [-t TYPE] [COMMAND...]: one message to sway ($SWAYSOCK) and its
answer on stdout, as swaymsg sends it, but waiting up to ORBELUNE_IPC_SECONDS
(default 120) for the answer where swaymsg gives up after 3 s. A busy sway
answers late, and a command whose sender has gone may never be read: waiting
is the only way to know it was carried out, and once.

Exit status: 0 when sway answered (and every command succeeded), 1 when a
command failed, 2 when sway did not answer in time or cannot be reached."""
import json
import os
import socket
import struct
import sys

TYPES = {"command": 0, "get_workspaces": 1, "get_outputs": 3, "get_tree": 4, "get_version": 7}
MAGIC = b"i3-ipc"


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionError("sway closed the connection")
        data += chunk
    return data


def main(argv):
    kind = "command"
    if len(argv) >= 2 and argv[0] == "-t":
        kind, argv = argv[1], argv[2:]
    if argv and argv[0] == "--":
        argv = argv[1:]
    if kind not in TYPES:
        print(f"sway_ipc.py: unknown message type {kind}", file=sys.stderr)
        return 2
    payload = " ".join(argv).encode()
    try:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.settimeout(float(os.environ.get("ORBELUNE_IPC_SECONDS", "120")))
        sock.connect(os.environ["SWAYSOCK"])
        sock.sendall(MAGIC + struct.pack("=II", len(payload), TYPES[kind]) + payload)
        header = read_exactly(sock, len(MAGIC) + 8)
        length, _ = struct.unpack("=II", header[len(MAGIC):])
        answer = read_exactly(sock, length).decode()
    except (OSError, KeyError, ConnectionError) as e:
        print(f"sway_ipc.py: no answer from sway to {kind} {payload.decode()!r}: {e}", file=sys.stderr)
        return 2
    print(answer)
    if kind == "command" and not all(r.get("success") for r in json.loads(answer)):
        print(f"sway_ipc.py: sway refused {payload.decode()!r}: {answer}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
