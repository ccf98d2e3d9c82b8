#!/usr/bin/env python3
"""Checks the Python client against a running server (used by the C++ client
test, which starts one): python3 selftest.py PORT ENDPOINT"""
import struct
import sys

from tarvos_client import Batch, BatchRejected, LocalClient, TcpClient


def check(client):
    b = Batch()
    version = b.read(0x3304, 4)
    b.write(0x66C0, struct.pack("<H", 0xBEEF))
    back = b.read(0x66C0, 2)
    plugin = b.read(0x6F03, 8)
    client.exchange(b)
    assert b.u32(version) == 0x50000004, hex(b.u32(version))
    assert b.u16(back) == 0xBEEF, hex(b.u16(back))
    assert b.text(plugin) == "1.0.0.0", b.text(plugin)
    assert b.data(version) == bytes([0x04, 0x00, 0x00, 0x50])


def main():
    port, endpoint = int(sys.argv[1]), sys.argv[2]
    b = Batch()
    b.read(0x3304, 4)
    assert b.frame() == bytes.fromhex(
        "0100" "1800" "01000000" "04330000" "04000000" "00000000"
        "00000000" "00000000" "1800" "defa"), b.frame().hex()
    with TcpClient("127.0.0.1", port) as c:
        check(c)
    with LocalClient(endpoint) as c:
        check(c)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
