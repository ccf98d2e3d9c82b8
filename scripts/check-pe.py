#!/usr/bin/env python3
"""Checks a Windows plugin: it exports exactly the five entry points and
imports the host API from the two given DLLs and otherwise only system DLLs
(no mingw runtime, which a simulator install does not have)."""
import re
import subprocess
import sys

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
