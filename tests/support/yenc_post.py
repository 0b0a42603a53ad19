#!/usr/bin/python3
"""Encodes a file as a yEnc post with Debian's python3-yenc, as posting tools write it: for each part an
"=ybegin" line (with part= and total= when there are several parts), an "=ypart" line for a part, the data
lines and an "=yend" line with the sizes and CRCs. The encoder writes lines of 128 characters; for 256 two of
its lines are joined.

usage: yenc_post.py FILE NAME PARTS LINE OUT      writes the part bodies to OUT.1 ... OUT.PARTS
"""
import binascii
import io
import os
import sys

import yenc


def encode(data, line):
    encoded = io.BytesIO()
    _, crc = yenc.encode(io.BytesIO(data), encoded, len(data))
    text = encoded.getvalue()
    if line == 256:
        lines = text.split(b"\r\n")[:-1]
        joined = [b"".join(lines[i:i + 2]) for i in range(0, len(lines), 2)]
        text = b"".join(l + b"\r\n" for l in joined)
    return text, crc


def main(argv):
    if len(argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    data = open(argv[1], "rb").read()
    name = os.fsencode(argv[2])
    parts, line, out = int(argv[3]), int(argv[4]), argv[5]
    crc = b"%08x" % binascii.crc32(data)
    per = -(-len(data) // parts)
    for part in range(1, parts + 1):
        piece = data[(part - 1) * per:part * per]
        text, pcrc = encode(piece, line)
        if parts == 1:
            body = b"=ybegin line=%d size=%d name=%s\r\n" % (line, len(data), name)
            body += text + b"=yend size=%d crc32=%s\r\n" % (len(data), crc)
        else:
            begin = (part - 1) * per + 1
            body = b"=ybegin part=%d total=%d line=%d size=%d name=%s\r\n" % (part, parts, line, len(data), name)
            body += b"=ypart begin=%d end=%d\r\n" % (begin, begin + len(piece) - 1)
            body += text + b"=yend size=%d part=%d pcrc32=%s crc32=%s\r\n" % (len(piece), part, pcrc.encode(), crc)
        with open("%s.%d" % (out, part), "wb") as f:
            f.write(body)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
