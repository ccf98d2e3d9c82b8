"""Client for the TARVOS offset server, using only the standard library.

A batch holds read and write records; it is sent over TCP (port 5193) in a
frame, or to the local endpoint on Linux (an abstract Unix socket named
"FS98MAIN") through a POSIX shared-memory object.

    with TcpClient("127.0.0.1") as c:
        lat, hdg = c.read("position.latitude", "attitude.heading")
        c.write("client.altitude_units", 2)

        b = Batch()
        lat = b.read(0x0560, 8)
        b.write(0x0BC0, struct.pack("<h", 1000))
        c.exchange(b)
        print(b.s64(lat))

Record layouts (little-endian):
    read  (id 1): id, offset, size, 4 client bytes, then size data bytes
    write (id 2): id, offset, size, then the bytes
    end:          a 32-bit zero
Frame: type (1 request, 2 reply), len, record area, len, 0xFADE. A rejected
batch (invalid record) is answered with the single byte 0.

Over TCP the server also pushes values, every frame or every n ms, all of
one update from the same frame:

    with TcpClient("127.0.0.1") as c:
        for seq, frame, time, values in c.subscribe(["attitude.heading"]):
            print(frame, values["attitude.heading"])
"""

import collections
import difflib
import json
import math
import os
import socket
import struct

DEFAULT_PORT = 5193
DEFAULT_ENDPOINT = "FS98MAIN"
MAX_RECORD_AREA = 32767 - 8


class BatchRejected(Exception):
    """The server stopped at an invalid record."""


class SubscribeRefused(Exception):
    """The server answered a subscribe or unsubscribe with a failure."""


class NoPushUpdates(ConnectionError):
    """The server did not answer a subscribe within a second: it predates
    pushed updates, and the values have to be polled."""


# Limits of one subscription, and the answer statuses in words.
MAX_RANGES = 256
MAX_BYTES = 16384
_STATUS = {
    1: "the server found the subscription malformed",
    2: "too many subscriptions on this connection (at most 16)",
    3: "a range lies outside the offset space or is empty",
    4: "too many bytes (at most 16,384 in a subscription and 32,768 on a "
       "connection)",
    5: "no subscription of that id",
}


class Batch:
    def __init__(self):
        self._records = bytearray()
        self._reads = []  # (data position, size)

    def read(self, offset, size):
        """Adds a read; returns its index for the typed getters."""
        self._records += struct.pack("<IIII", 1, offset, size, 0)
        self._reads.append((len(self._records), size))
        self._records += bytes(size)
        return len(self._reads) - 1

    def write(self, offset, data):
        self._records += struct.pack("<III", 2, offset, len(data)) + bytes(data)

    def record_area(self):
        return bytes(self._records) + bytes(4)

    def frame(self):
        area = self.record_area()
        return (struct.pack("<HH", 1, len(area)) + area +
                struct.pack("<HH", len(area), 0xFADE))

    def accept_served(self, area):
        if len(area) != len(self._records) + 4:
            raise ValueError("served batch of the wrong size")
        for at, size in self._reads:
            self._records[at:at + size] = area[at:at + size]

    def data(self, index):
        at, size = self._reads[index]
        return bytes(self._records[at:at + size])

    def _unpack(self, index, fmt):
        return struct.unpack_from("<" + fmt, self.data(index).ljust(8, b"\0"))[0]

    def u8(self, i): return self._unpack(i, "B")
    def u16(self, i): return self._unpack(i, "H")
    def u32(self, i): return self._unpack(i, "I")
    def u64(self, i): return self._unpack(i, "Q")
    def s8(self, i): return self._unpack(i, "b")
    def s16(self, i): return self._unpack(i, "h")
    def s32(self, i): return self._unpack(i, "i")
    def s64(self, i): return self._unpack(i, "q")
    def f32(self, i): return self._unpack(i, "f")
    def f64(self, i): return self._unpack(i, "d")

    def text(self, i):
        return self.data(i).split(b"\0", 1)[0].decode("latin-1")

    def bcd(self, i):
        return "%04X" % self.u16(i)


# --- Offsets by name ---------------------------------------------------------
#
# The offset catalogue (offsets.json beside this file) is generated from the
# plugin's own table, so names, encodings and scales are exactly the
# plugin's.

_FORMATS = {"u8": "B", "u16": "H", "u32": "I", "u64": "Q", "s8": "b",
            "s16": "h", "s32": "i", "s64": "q", "f32": "f", "f64": "d",
            "angle16": "H", "angle32": "I", "sangle32": "i", "lat64": "q",
            "lon64": "q", "fix32.32": "q", "bcd4": "H", "bcd3": "H"}
_ANGLES = ("angle16", "angle32", "sangle32")


class UnknownField(KeyError):
    """A name the catalogue does not know."""


class ReadOnlyField(ValueError):
    """A write by name of a field the plugin only publishes: the next
    refresh would overwrite it with the simulator's value."""


class Field:
    """One item of the catalogue: a row, or one record of a table."""

    def __init__(self, row, name, offset):
        self.row, self.name, self.offset = row, name, offset
        self.size = row["size"]
        self.encoding = row["encoding"]
        self.unit = row["unit"]
        self.writable = row["access"] != "r"

    def check_writable(self):
        """Raises ReadOnlyField for a field a client write cannot change, in
        the words every client library uses."""
        if not self.writable:
            raise ReadOnlyField("%s is read-only: the plugin overwrites it "
                                "with the simulator's value" % self.name)

    def _raw_range(self):
        e, n = self.encoding, self.size
        if e in ("f32", "f64"):
            return (-float("inf"), float("inf"))
        if e in ("bcd4", "bcd3"):
            return (0, 9999 if e == "bcd4" else 999)
        if e == "bits":
            return (0, (1 << (8 * n)) - 1)
        if _FORMATS[e].isupper():
            return (0, (1 << (8 * n)) - 1)
        return (-(1 << (8 * n - 1)), (1 << (8 * n - 1)) - 1)

    def decode(self, data):
        """The value in the field's unit (text for text fields)."""
        e = self.encoding
        if e == "text":
            return data[:self.size].split(b"\0", 1)[0].decode("latin-1")
        if e == "bits":
            return int.from_bytes(data[:self.size], "little")
        raw = struct.unpack_from("<" + _FORMATS[e], data)[0]
        if e in ("bcd4", "bcd3"):
            raw = int("%04X" % raw)
        return raw * self.row["scale"] + self.row["bias"]

    def encode(self, value):
        """Bytes for a value in the field's unit; ValueError when it does
        not fit (never truncated). Angles are taken modulo 360 degrees."""
        e, scale, bias = self.encoding, self.row["scale"], self.row["bias"]
        if e == "text":
            data = str(value).encode("latin-1")
            if len(data) + 1 > self.size:
                raise ValueError("%s holds at most %d characters"
                                 % (self.name, self.size - 1))
            return data.ljust(self.size, b"\0")
        if e == "bits":
            return int(value).to_bytes(self.size, "little")
        v = float(value)
        if e in _ANGLES:
            v = math.fmod(v, 360.0)
            if v < 0:
                v += 360.0
            if e == "sangle32" and v >= 180.0:
                v -= 360.0
            turn = round(abs(360.0 / scale))
            raw = round((v - bias) / scale)
            if e != "sangle32" and raw >= turn:
                raw -= turn
            return struct.pack("<" + _FORMATS[e], int(raw))
        raw = (v - bias) / scale
        if e not in ("f32", "f64"):
            raw = round(raw)
        lo, hi = self._raw_range()
        if not lo <= raw <= hi:
            ends = sorted((lo * scale + bias, hi * scale + bias))
            raise ValueError("%s is out of range for %s (%g to %g %s)"
                             % (value, self.name, ends[0], ends[1], self.unit))
        if e in ("bcd4", "bcd3"):
            raw = int(str(int(raw)), 16)
        return struct.pack("<" + _FORMATS[e], raw)


class Catalogue:
    """Every published field by name."""

    def __init__(self, path=None):
        if path is None:
            path = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "offsets.json")
        with open(path, encoding="utf-8") as f:
            self.domains = json.load(f)["domains"]
        self.fields = {}
        for domain in self.domains:
            for row in domain["rows"]:
                for k in range(row["repeat"]):
                    name = row["name"].replace("#", str(row["first_index"] + k))
                    self.fields[name] = Field(row, name,
                                              row["offset"] + k * row["stride"])

    def field(self, name):
        try:
            return self.fields[name]
        except KeyError:
            close = difflib.get_close_matches(name, self.fields, n=3, cutoff=0)
            raise UnknownField("unknown field %r (closest: %s)"
                               % (name, ", ".join(close))) from None


_catalogue = None


def catalogue():
    """The catalogue shipped with this client, loaded once."""
    global _catalogue
    if _catalogue is None:
        _catalogue = Catalogue()
    return _catalogue


class _NamedAccess:
    """read() and write() by name, for both clients."""

    def read(self, *names):
        """Values of the named fields in their units: one value for one
        name, a list for several."""
        fields = [catalogue().field(n) for n in names]
        b = Batch()
        reads = [b.read(f.offset, f.size) for f in fields]
        self.exchange(b)
        values = [f.decode(b.data(i)) for f, i in zip(fields, reads)]
        return values[0] if len(values) == 1 else values

    def write(self, name, value):
        """Writes one field, given in its unit; ReadOnlyField for a field
        the plugin only publishes (Batch.write stores bytes anyway)."""
        self.write_fields({name: value})

    def write_fields(self, values):
        """Writes several fields ({name: value}) in one batch; nothing is
        sent when any field is read-only or any value does not fit its
        field."""
        b = Batch()
        for name, value in values.items():
            f = catalogue().field(name)
            f.check_writable()
            b.write(f.offset, f.encode(value))
        self.exchange(b)



def _recv_exactly(sock, n):
    out = bytearray()
    while len(out) < n:
        chunk = sock.recv(n - len(out))
        if not chunk:
            raise ConnectionError("the server closed the connection")
        out += chunk
    return bytes(out)


def _frame(kind, area):
    return (struct.pack("<HH", kind, len(area)) + area +
            struct.pack("<HH", len(area), 0xFADE))


class TcpClient(_NamedAccess):
    def __init__(self, host="127.0.0.1", port=DEFAULT_PORT, timeout=5.0):
        self._sock = socket.create_connection((host, port), timeout=timeout)
        self._sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._timeout = timeout
        self._answered = False
        self._updates = collections.deque()  # (id, seq, frame, time, records)
        self._next_id = 1

    def _read_frame(self, timeout=None):
        """The next thing the server sends: (type, area); type 0 is the
        single byte of a rejected batch. socket.timeout when nothing starts
        within `timeout` seconds."""
        self._sock.settimeout(self._timeout if timeout is None else timeout)
        try:
            first = _recv_exactly(self._sock, 1)
        finally:
            self._sock.settimeout(self._timeout)
        self._answered = True
        if first == b"\0":
            return 0, b""
        head = first + _recv_exactly(self._sock, 3)
        kind, length = struct.unpack("<HH", head)
        rest = _recv_exactly(self._sock, length + 4)
        if struct.unpack_from("<HH", rest, length) != (length, 0xFADE):
            raise ConnectionError("malformed frame from the server")
        return kind, rest[:length]

    def _keep_update(self, area):
        sub_id, seq, frame, time, count = struct.unpack_from("<IIIdH", area)
        records, at = [], 24
        for _ in range(count):
            offset, size = struct.unpack_from("<IH", area, at)
            records.append((offset, area[at + 6:at + 6 + size]))
            at += 6 + size
        self._updates.append((sub_id, seq, frame, time, records))

    def exchange(self, batch):
        frame = batch.frame()
        if len(frame) - 8 > MAX_RECORD_AREA:
            raise ValueError("batch too large for one frame")
        try:
            self._sock.sendall(frame)
            kind, area = self._read_frame()
            # Updates pushed before the reply are kept for subscribe().
            while kind in (4, 5):
                if kind == 5:
                    self._keep_update(area)
                kind, area = self._read_frame()
        except (ConnectionError, BrokenPipeError) as e:
            # The server accepts every connection and closes at once those
            # it cannot serve (eight clients connected, or an address its
            # settings do not admit).
            if self._answered:
                raise
            raise ConnectionError(
                "the server closed the connection without answering: it is "
                "full (8 clients connected already) or does not admit this "
                "client") from e
        if kind == 0:
            raise BatchRejected("the server rejected the batch")
        if kind != 2:
            raise ConnectionError("malformed reply")
        batch.accept_served(area)

    def _answer(self, sub_id, timeout):
        """Waits for the answer to `sub_id`; NoPushUpdates after `timeout`
        seconds without one."""
        try:
            while True:
                kind, area = self._read_frame(timeout)
                if kind == 5:
                    self._keep_update(area)
                elif kind == 4 and struct.unpack_from("<I", area)[0] == sub_id:
                    return struct.unpack_from("<I", area, 4)[0]
                elif kind != 4:
                    raise ConnectionError("a reply where an answer was due")
        except socket.timeout:
            raise NoPushUpdates(
                "the server does not push updates (no answer to a "
                "subscribe)") from None

    def subscribe(self, names, every="frame", changes_only=False):
        """Has the server push the named values, every frame or every
        `every` milliseconds, and iterates over (seq, frame, time,
        {name: value}) in their units; with `changes_only` an update holds
        the names that changed (the first one all). seq jumps where updates
        were replaced because this program read too slowly. Raises
        NoPushUpdates where the server cannot push (poll with read()
        instead), SubscribeRefused where it refused."""
        return Subscription(self, [catalogue().field(n) for n in names],
                            0 if every == "frame" else int(every),
                            changes_only)

    def close(self):
        self._sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Subscription:
    """The iterator TcpClient.subscribe returns; close() unsubscribes."""

    def __init__(self, client, fields, every, changes_only):
        if not 0 <= every <= 65535:
            raise ValueError("every is 'frame' or 0 to 65535 ms")
        self._client = client
        self._fields = {}  # id -> {offset: field}
        groups, group, size = [], [], 0
        for f in fields:
            if len(group) == MAX_RANGES or size + f.size > MAX_BYTES:
                groups.append(group)
                group, size = [], 0
            group.append(f)
            size += f.size
        if group:
            groups.append(group)
        for group in groups:
            sub_id = client._next_id
            client._next_id += 1
            area = struct.pack("<IHHHH", sub_id, every, 1 if changes_only else 0,
                               len(group), 0)
            for f in group:
                area += struct.pack("<II", f.offset, f.size)
            client._sock.sendall(_frame(3, area))
            status = client._answer(sub_id, min(client._timeout, 1.0))
            if status != 0:
                raise SubscribeRefused(_STATUS.get(status, "status %d" % status))
            self._fields[sub_id] = {f.offset: f for f in group}

    def __iter__(self):
        return self

    def __next__(self):
        c = self._client
        while True:
            while c._updates:
                sub_id, seq, frame, time, records = c._updates.popleft()
                fields = self._fields.get(sub_id)
                if fields is None:
                    continue
                values = {}
                for offset, data in records:
                    f = fields.get(offset)
                    if f is not None:
                        values[f.name] = f.decode(data)
                return seq, frame, time, values
            kind, area = c._read_frame()
            if kind == 5:
                c._keep_update(area)

    def close(self):
        for sub_id in list(self._fields):
            self._client._sock.sendall(_frame(6, struct.pack("<I", sub_id)))
            self._client._answer(sub_id, self._client._timeout)
            del self._fields[sub_id]
        self._client._updates = collections.deque(
            u for u in self._client._updates if u[0] in self._fields)


class LocalClient(_NamedAccess):
    """Linux only: the abstract Unix socket and a shared-memory batch."""

    _serial = 0

    def __init__(self, endpoint=DEFAULT_ENDPOINT, timeout=5.0):
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.settimeout(timeout)
        self._sock.connect("\0" + endpoint)
        LocalClient._serial += 1
        self._name = "tarvos-py-%d-%d" % (os.getpid(), LocalClient._serial)
        # POSIX shared memory lives in /dev/shm on Linux.
        self._path = "/dev/shm/" + self._name
        self._fd = os.open(self._path, os.O_RDWR | os.O_CREAT | os.O_EXCL, 0o600)

    def exchange(self, batch):
        area = batch.record_area()
        os.ftruncate(self._fd, len(area))
        os.pwrite(self._fd, area, 0)
        name = ("/" + self._name).encode()
        self._sock.sendall(struct.pack("<H", len(name)) + name)
        if _recv_exactly(self._sock, 1) != b"\1":
            raise BatchRejected("the server rejected the batch")
        batch.accept_served(os.pread(self._fd, len(area), 0))

    def close(self):
        self._sock.close()
        os.close(self._fd)
        try:
            os.unlink(self._path)
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

