#!/usr/bin/env python3
"""A minimal NNTP reader to measure spindrel-console against: it fetches bodies, or sends the header-summary
exchanges, into one reused buffer and does nothing else with the bytes.

usage: raw_client.py PORT GROUP bodies FIRST LAST
       raw_client.py PORT GROUP xhdr FIRST LAST STEP
       raw_client.py PORT GROUP bodies-pipelined FIRST LAST   (every body command sent at once)
       raw_client.py PORT GROUP xhdr-pipelined FIRST LAST     (xhdr lines and subject of the range sent at once)
prints the seconds taken from the connect on, as spindrel-console's run includes its connect
"""
import socket
import sys
import time

BUFFER = bytearray(262144)
VIEW = memoryview(BUFFER)


def read_until(sock, end):
    """Receives until the data seen so far ends with `end`; returns the byte count."""
    total = 0
    tail = b""
    while True:
        n = sock.recv_into(VIEW)
        # Acknowledge at once: a server writes status line and data separately, and a delayed
        # acknowledgement would cost about 40 ms per exchange.
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        if n == 0:
            raise EOFError("connection closed")
        total += n
        tail = (tail + bytes(VIEW[max(0, n - len(end)):n]))[-len(end):]
        if tail == end:
            return total


def read_answers(sock, count, end=b"\r\n.\r\n"):
    """Receives until `count` multi-line answers have ended; returns the byte count."""
    total = 0
    tail = b""
    while count > 0:
        n = sock.recv_into(VIEW)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        if n == 0:
            raise EOFError("connection closed")
        total += n
        # A terminator may straddle two receives: the end of the last one is searched with this one.
        window = tail + bytes(VIEW[:n])
        count -= window.count(end) - tail.count(end)
        tail = window[-(len(end) - 1):]
    return total


def main(argv):
    port, group, mode, first, last = int(argv[1]), argv[2], argv[3], int(argv[4]), int(argv[5])
    start = time.perf_counter()
    sock = socket.create_connection(("127.0.0.1", port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    read_until(sock, b"\r\n")
    sock.sendall(b"group %s\r\n" % group.encode())
    read_until(sock, b"\r\n")
    if mode == "bodies-pipelined":
        sock.sendall(b"".join(b"body %d\r\n" % n for n in range(first, last + 1)))
        read_answers(sock, last - first + 1)
    elif mode == "xhdr-pipelined":
        sock.sendall(b"xhdr lines %d-%d\r\nxhdr subject %d-%d\r\n" % (first, last, first, last))
        read_answers(sock, 2)
    elif mode == "bodies":
        for n in range(first, last + 1):
            sock.sendall(b"body %d\r\n" % n)
            read_until(sock, b"\r\n.\r\n")
    else:
        step = int(argv[6])
        for n in range(first, last + 1, step):
            for field in (b"lines", b"subject"):
                sock.sendall(b"xhdr %s %d-%d\r\n" % (field, n, n + step - 1))
                read_until(sock, b"\r\n.\r\n")
    print("%.3f" % (time.perf_counter() - start))
    sock.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
