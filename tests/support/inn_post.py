#!/usr/bin/env python3
"""Feeds whole article files (headers, blank line, body; LF or CR LF) to a running innd through its
local socket with IHAVE. Adds Path, Date and Message-ID when missing.

usage: inn_post.py SOCKET FILE...      exit status 1 when any article is refused
"""
import email.utils
import socket
import sys
import uuid


def wire_form(raw):
    raw = raw.replace(b"\r\n", b"\n")
    head, _, body = raw.partition(b"\n\n")
    header_lines = head.split(b"\n")
    names = set()
    message_id = None
    for line in header_lines:
        if line[:1] not in (b" ", b"\t") and b":" in line:
            name, value = line.split(b":", 1)
            names.add(name.strip().lower())
            if name.strip().lower() == b"message-id":
                message_id = value.strip()
    extra = []
    if b"path" not in names:
        extra.append(b"Path: not-for-mail")
    if b"date" not in names:
        extra.append(b"Date: " + email.utils.formatdate(usegmt=True).encode())
    if not message_id:
        message_id = ("<%s@spindrel.test>" % uuid.uuid4().hex).encode()
        extra.append(b"Message-ID: " + message_id)
    if body.endswith(b"\n"):
        body = body[:-1]
    lines = extra + header_lines + [b""] + (body.split(b"\n") if body else [])
    out = bytearray()
    for line in lines:
        if line.startswith(b"."):
            out += b"."
        out += line + b"\r\n"
    out += b".\r\n"
    return message_id, bytes(out)


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    conn.settimeout(60)
    conn.connect(argv[1])
    replies = conn.makefile("rb")
    greeting = replies.readline().decode("latin-1").strip()
    if not greeting.startswith("2"):
        print("greeting: " + greeting, file=sys.stderr)
        return 1
    refused = 0
    for path in argv[2:]:
        with open(path, "rb") as f:
            message_id, wire = wire_form(f.read())
        conn.sendall(b"IHAVE " + message_id + b"\r\n")
        reply = replies.readline().decode("latin-1").strip()
        if reply.startswith("335"):
            conn.sendall(wire)
            reply = replies.readline().decode("latin-1").strip()
        if not reply.startswith("235"):
            refused += 1
            print("refused %s: %s" % (path, reply or "connection closed"), file=sys.stderr)
            if not reply:
                break
    conn.sendall(b"QUIT\r\n")
    conn.close()
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
