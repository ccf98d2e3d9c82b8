#!/usr/bin/env python3
"""Compares our host API headers (sdk/) with another copy of the simulator's
SDK: every function, type and constant our headers declare must exist there
with the same signature, type or value, and every function must be exported
by that SDK's Windows import libraries when it has them.

Usage: compare-sdk.py <our sdk folder> <other sdk folder>

A small probe program that prints each name's value or mangled type is
compiled once against each set of headers and the outputs are compared. Names
the other headers lack are reported too (the compiler names them)."""
import glob
import os
import re
import subprocess
import sys
import tempfile

# Differences that are not defects: the SDK release a set of headers belongs
# to, which the plugin does not use.
ALLOWED = {"kXPLM_Version"}
# Macros that are build plumbing rather than part of the API.
PLUMBING = {"PLUGIN_EXPORT", "XPLM_IMPORT", "PLUGIN_API", "XPLM_API",
            "WIDGET_API"}
DEFINES = ["LIN=1", "XPLM200=1", "XPLM210=1", "XPLM_DEPRECATED=1"]


def collect(sdk):
    headers, functions, types, constants = [], [], [], []
    for path in sorted(glob.glob(os.path.join(sdk, "CHeaders", "*", "*.h"))):
        headers.append(os.path.basename(path))
        text = re.sub(r"/\*.*?\*/", " ", open(path).read(), flags=re.S)
        text = re.sub(r"//[^\n]*", " ", text)
        code = re.sub(r"^[ \t]*#[^\n]*", " ", text, flags=re.M)
        for m in re.finditer(r"^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+\S", text, re.M):
            if m.group(1) not in PLUMBING:
                constants.append(m.group(1))
        for body in re.findall(r"\benum\s*\w*\s*\{(.*?)\}", code, re.S):
            for item in body.split(","):
                name = item.split("=")[0].strip()
                if name:
                    constants.append(name)
        flat = " ".join(code.split())
        functions += re.findall(r"\b(?:XPLM_API|WIDGET_API)\s+[^;(]*?\b(\w+)\s*\(",
                                flat)
        for decl in re.findall(r"\btypedef\s+([^;]*);", flat):
            m = re.search(r"\(\s*\*\s*(\w+)\s*\)", decl) or re.search(r"(\w+)\s*$", decl)
            types.append(m.group(1))
    return headers, functions, types, constants


def probe_source(headers, functions, types, constants):
    lines = ["#include <cstdio>", "#include <typeinfo>"]
    lines += [f'#include "{h}"' for h in headers]
    lines.append("int main() {")
    for n in constants:
        lines.append(f'  std::printf("constant {n} %lld\\n", (long long)({n}));')
    for n in functions:
        lines.append(f'  std::printf("function {n} %s\\n", typeid(decltype(&{n})).name());')
    for n in types:
        lines.append(f'  std::printf("type {n} %s\\n", typeid({n}).name());')
    lines.append("}")
    return "\n".join(lines) + "\n"


def run_probe(sdk, names, headers, work, tag):
    """Builds and runs the probe against one SDK; drops names the compiler
    does not know (and headers it cannot find) and reports them."""
    functions, types, constants = names
    missing = []
    headers = list(headers)
    for _ in range(20):
        src = os.path.join(work, f"probe_{tag}.cpp")
        exe = os.path.join(work, f"probe_{tag}")
        open(src, "w").write(probe_source(headers, functions, types, constants))
        includes = [f"-I{d}" for d in sorted(glob.glob(os.path.join(sdk, "CHeaders", "*")))]
        build = subprocess.run(["c++", "-std=c++20", "-w", *[f"-D{d}" for d in DEFINES],
                                *includes, src, "-o", exe],
                               capture_output=True, text=True,
                               env={**os.environ, "LC_ALL": "C"})
        if build.returncode == 0:
            out = subprocess.run([exe], check=True, capture_output=True, text=True).stdout
            return dict(line.split(" ", 1)[1].split(" ", 1) for line in out.splitlines()), missing
        unknown = set(re.findall(r"'(\w+)' (?:was not declared|has not been declared|"
                                 r"does not name a type|not declared)", build.stderr))
        unknown |= set(re.findall(r"error: '(\w+)' is not a", build.stderr))
        lost_headers = set(re.findall(r"fatal error: (\w+\.h): No such file", build.stderr))
        if not unknown and not lost_headers:
            sys.exit(f"the probe against {sdk} does not compile:\n{build.stderr}")
        missing += sorted(unknown) + sorted(lost_headers)
        headers = [h for h in headers if h not in lost_headers]
        functions = [n for n in functions if n not in unknown]
        types = [n for n in types if n not in unknown]
        constants = [n for n in constants if n not in unknown]
    sys.exit(f"the probe against {sdk} keeps failing")


def demangle(name):
    return subprocess.run(["c++filt", "-t", name], capture_output=True,
                          text=True).stdout.strip() or name


def library_exports(sdk):
    names = set()
    for lib in glob.glob(os.path.join(sdk, "Libraries", "Win", "*.lib")):
        out = subprocess.run(["x86_64-w64-mingw32-nm", lib], capture_output=True,
                             text=True).stdout
        names |= set(re.findall(r"\b__imp_(\w+)", out))
    return names


def main():
    ours, other = sys.argv[1:3]
    headers, functions, types, constants = collect(ours)
    names = (functions, types, constants)
    errors = []
    with tempfile.TemporaryDirectory() as work:
        mine, lost = run_probe(ours, names, headers, work, "ours")
        if lost:
            sys.exit(f"our own headers do not declare {lost}")
        theirs, lost = run_probe(other, names, headers, work, "other")
    errors += [f"{n}: not declared by {other}" for n in lost]
    for name, value in sorted(mine.items()):
        if name not in theirs or theirs[name] == value:
            continue
        if name in ALLOWED:
            print(f"note: {name} is {value} here and {theirs[name]} there (allowed)")
            continue
        kind = "value" if value.lstrip("-").isdigit() else "type"
        if kind == "type":
            value, there = demangle(value), demangle(theirs[name])
        else:
            there = theirs[name]
        errors.append(f"{name}: {kind} {value} here, {there} there")
    exported = library_exports(other)
    if exported:
        errors += [f"{n}: not exported by the import libraries of {other}"
                   for n in functions if n not in exported]
    for e in errors:
        print(e)
    print(f"{len(functions)} functions, {len(types)} types, {len(constants)} "
          f"constants compared with {other}: "
          f"{'no differences' if not errors else f'{len(errors)} differences'}")
    sys.exit(1 if errors else 0)


main()
