#!/usr/bin/env python3
"""Checks the Python client against a running server (used by the C++ client
test, which starts one): python3 selftest.py PORT ENDPOINT, or
python3 selftest.py PORT subscribe while the test steps frames."""
import struct
import sys

from tarvos_client import (Batch, BatchRejected, LocalClient, TcpClient,
                           UnknownField, catalogue)


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
    # By name, through the catalogue shipped beside the client.
    assert client.read("plugin.protocol_version") == 0x50000004
    client.write("client.altitude_units", 2)
    units, text = client.read("client.altitude_units", "plugin.version")
    assert (units, text) == (2, "1.0.0.0"), (units, text)
    client.write("client.altitude_units", 0)


def check_catalogue():
    c = catalogue()
    lon = c.field("position.longitude")
    assert lon.encode(-7.25) == bytes.fromhex("c0822dd8822dd8fa")
    assert abs(lon.decode(lon.encode(-7.25)) + 7.25) < 1e-12
    heading = c.field("attitude.heading")
    assert heading.encode(360) == bytes(4)
    assert heading.encode(-90) == bytes.fromhex("000000c0")
    assert c.field("engine.2.egt").offset == 0x08BE + 0x98
    for bad in (70000, -5):
        try:
            c.field("client.altitude_units").encode(bad)
            raise AssertionError("%s accepted" % bad)
        except ValueError as e:
            assert "(0 to 65535" in str(e), e
    try:
        c.field("position.lattitude")
        raise AssertionError("unknown name accepted")
    except UnknownField as e:
        assert "position.latitude" in str(e), e


def check_subscribe(port):
    with TcpClient("127.0.0.1", port) as c:
        names = ["plugin.protocol_version", "attitude.heading"]
        updates = c.subscribe(names)
        last = None
        for n, (seq, frame, time, values) in enumerate(updates):
            assert sorted(values) == sorted(names), values
            assert values["plugin.protocol_version"] == 0x50000004, values
            if last is not None:
                assert seq > last[0] and frame > last[1], (seq, frame, last)
            last = (seq, frame)
            # Requests still work between updates on the same connection.
            assert c.read("plugin.protocol_version") == 0x50000004
            if n == 3:
                break
        updates.close()
        # More names than one subscription holds: split over two.
        c.subscribe(["attitude.heading"] * 257).close()
    print("ok")
    return 0


def main():
    if sys.argv[2] == "subscribe":
        return check_subscribe(int(sys.argv[1]))
    port, endpoint = int(sys.argv[1]), sys.argv[2]
    check_catalogue()
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
