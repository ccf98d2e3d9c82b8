#!/usr/bin/env python3
"""Reads position and versions, sets the elevator trim, over TCP or locally.

    python3 example.py [--host HOST] [--port PORT] [--local]
"""
import argparse
import struct
import sys

from tarvos_client import Batch, LocalClient, TcpClient


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=5193)
    p.add_argument("--local", action="store_true")
    p.add_argument("--endpoint", default="FS98MAIN")
    args = p.parse_args()
    try:
        client = (LocalClient(args.endpoint) if args.local
                  else TcpClient(args.host, args.port))
    except OSError as e:
        print("cannot reach the server: %s" % e, file=sys.stderr)
        return 1
    with client:
        b = Batch()
        version = b.read(0x3304, 4)
        plugin = b.read(0x6F03, 8)
        latitude = b.read(0x0560, 8)
        b.write(0x0BC0, struct.pack("<h", 1000))
        client.exchange(b)
        print("version 0x%08X, plugin %s" % (b.u32(version), b.text(plugin)))
        # Latitude: signed 64-bit, 90 / (10001750 * 65536 * 65536) degrees.
        print("latitude %.6f" % (b.s64(latitude) * 90.0 /
                                 (10001750.0 * 65536.0 * 65536.0)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
