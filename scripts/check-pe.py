#!/usr/bin/env python3
"""Checks a Windows plugin: it exports exactly the five entry points and
imports the host API from the two given DLLs and otherwise only system DLLs
(no mingw runtime, which a simulator install does not have).

With --same-imports A B it compares two builds of the plugin instead: both
must import the same functions from the same DLLs."""
import re
import subprocess
import sys


def import_table(path):
    """{dll name in lower case: set of imported function names}"""
    dump = subprocess.run(["objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    table = {}
    for block in dump.split("DLL Name: ")[1:]:
        name, _, rest = block.partition("\n")
        members = rest.split("\n\n", 1)[0]
        table[name.strip().lower()] = set(
            re.findall(r"^\s*[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", members, re.M))
    return table


if sys.argv[1] == "--same-imports":
    first, second = sys.argv[2:4]
    a, b = import_table(first), import_table(second)
    differences = []
    for dll in sorted(a.keys() | b.keys()):
        only_a = sorted(a.get(dll, set()) - b.get(dll, set()))
        only_b = sorted(b.get(dll, set()) - a.get(dll, set()))
        if dll not in b or dll not in a:
            differences.append(f"{dll} is imported by only one of them")
        if only_a:
            differences.append(f"{dll}: only {first} imports {only_a}")
        if only_b:
            differences.append(f"{dll}: only {second} imports {only_b}")
    if differences:
        print("\n".join(differences))
        sys.exit(1)
    count = sum(len(names) for names in a.values())
    print(f"{first} and {second} import the same {count} functions "
          f"from {len(a)} DLLs")
    sys.exit(0)

ENTRY_POINTS = {"XPluginStart", "XPluginStop", "XPluginEnable",
                "XPluginDisable", "XPluginReceiveMessage"}
SYSTEM = {"kernel32.dll", "user32.dll", "ws2_32.dll", "msvcrt.dll",
          "advapi32.dll", "ntdll.dll", "shell32.dll", "gdi32.dll"}

path, *host_dlls = sys.argv[1:]
dump = subprocess.run(["objdump", "-p", path], check=True,
                      capture_output=True, text=True).stdout
imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
table = dump.split("[Ordinal/Name Pointer] Table", 1)
names = table[1].split("\n\n", 1)[0] if len(table) > 1 else ""
exports = set(re.findall(r"\[\s*\d+\]\s+(\w+)", names))
errors = []
if exports != ENTRY_POINTS:
    errors.append(f"exports {sorted(exports)}")
host = {d.lower() for d in host_dlls}
if "xplm" not in " ".join(imports & host):
    errors.append("the host API is not imported from " + host_dlls[0])
others = imports - host - SYSTEM
if others:
    errors.append(f"imports other DLLs: {sorted(others)}")
if errors:
    print(f"{path}: " + "; ".join(errors))
    sys.exit(1)
print(f"{path}: exports the five entry points; imports {sorted(imports)}")
