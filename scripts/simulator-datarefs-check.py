#!/usr/bin/env python3
"""Checks the plugin's and the stand-in host's references against the
simulator's published lists.

usage: simulator-datarefs-check.py LISTS_FOLDER REFERENCES_FILE

LISTS_FOLDER holds the simulator's DataRefs.txt and Commands.txt;
REFERENCES_FILE is what tarvos-references prints (the plugin's own tables and
the stand-in's references). Every failure is one line; the exit status is 1
when there is any."""
import os
import sys

# What each accessor of the plugin needs of the simulator's type. A double
# used as a float is fine: the simulator converts its own doubles.
ACCEPTS = {
    "i": lambda t: t == "int",
    "f": lambda t: t in ("float", "double"),
    "d": lambda t: t == "double",
    "vi": lambda t: t.startswith("int["),
    "vf": lambda t: t.startswith("float["),
    "b": lambda t: t.startswith("byte["),
}


def read_datarefs(path):
    refs = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        f.readline()  # version line
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 3 or not fields[0].strip():
                continue
            refs[fields[0].strip()] = {
                "type": fields[1].strip(),
                "writable": fields[2].strip() == "y",
                "replaced": "REPLACED" in line,
            }
    return refs


def read_commands(path):
    names = set()
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.split()
            if parts:
                names.add(parts[0])
    return names


def read_references(path):
    lookups, writes, commands, known, host = {}, [], [], {}, []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            kind = fields[0]
            if kind == "lookup":
                accessors = set() if fields[2] == "-" else set(fields[2].split(","))
                lookups.setdefault(fields[1], set()).update(accessors)
            elif kind == "write":
                writes.append((fields[1], fields[2], fields[3]))
            elif kind == "command":
                commands.append(fields[1])
            elif kind == "known":
                known.setdefault(fields[1], set()).add(fields[2])
            elif kind == "host":
                host.append((fields[1], fields[2], fields[3] == "y"))
            elif line.strip():
                raise SystemExit("unexpected line in the references: " + line)
    return lookups, writes, commands, known, host


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    lists, references = argv[1], argv[2]
    sim = read_datarefs(os.path.join(lists, "DataRefs.txt"))
    sim_commands = read_commands(os.path.join(lists, "Commands.txt"))
    lookups, writes, commands, known, host = read_references(references)
    if not lookups or not host:
        print("the references list is empty")
        return 1

    failures = []
    accepted = set()

    def fail(text, name=None, kind=None):
        if name is not None and kind in known.get(name, ()):
            accepted.add((name, kind))
        else:
            failures.append(text)

    for name, accessors in sorted(lookups.items()):
        ref = sim.get(name)
        if ref is None:
            fail(f"{name}: looked up, not in the simulator's list",
                 name, "missing")
            continue
        for a in sorted(accessors):
            if not ACCEPTS[a](ref["type"]):
                fail(f"{name}: used as {a}, the simulator's type is "
                     f"{ref['type']}", name, "setter-type")
    for name, setter, handler in writes:
        ref = sim.get(name)
        if ref is None:
            fail(f"{name}: written at {handler}, not in the simulator's list",
                 name, "missing")
            continue
        if not ref["writable"]:
            fail(f"{name}: written at {handler}, read-only in the simulator",
                 name, "read-only")
        if not ACCEPTS[setter](ref["type"]):
            fail(f"{name}: written at {handler} as {setter}, the simulator's "
                 f"type is {ref['type']}", name, "setter-type")
    for name in commands:
        if name not in sim_commands:
            failures.append(f"{name}: command not in the simulator's list")
    for name, type_, writable in host:
        ref = sim.get(name)
        if ref is None:
            failures.append(f"{name}: defined by the stand-in, not in the "
                            "simulator's list")
            continue
        if type_ != ref["type"]:
            failures.append(f"{name}: the stand-in's type is {type_}, the "
                            f"simulator's {ref['type']}")
        if writable != ref["writable"]:
            failures.append(f"{name}: the stand-in has it "
                            f"{'writable' if writable else 'read-only'}, the "
                            f"simulator "
                            f"{'writable' if ref['writable'] else 'read-only'}")

    bound = set(lookups) | {w[0] for w in writes}
    replaced = sorted(n for n in bound if n in sim and sim[n]["replaced"])
    for name, kinds in sorted(known.items()):
        for kind in sorted(kinds):
            if (name, kind) not in accepted:
                print(f"note: known difference no longer seen: {name} ({kind})")
    for text in failures:
        print("FAIL " + text)
    print(f"{len(bound)} names bound, {len(set(w[0] for w in writes))} "
          f"written, {len(commands)} commands, {len(host)} stand-in "
          f"references; {len(accepted)} known differences, "
          f"{len(replaced)} bound names marked replaced; "
          f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
