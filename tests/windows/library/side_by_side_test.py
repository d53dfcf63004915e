#!/usr/bin/env python3
"""The registry after regsvr32 equals the registration table, key by key, in
both registry views; both bitnesses registered side by side keep each other's
entries through the other's unregistration; unregistering twice succeeds, and
once both are gone nothing of them is left.

  side_by_side_test.py WINE_RUN PREFIX BITS OCX TSV [OTHER_OCX OTHER_TSV]

Without the other bitness's build (its OCX and TSV) only this bitness is
checked. Under Wine, as on Windows, only CLSID is kept apart per view; the
ProgID, TypeLib and Interface keys are one copy seen from both."""
import ntpath
import os
import re
import subprocess
import sys
import tempfile

wine_run, prefix, bits = sys.argv[1], sys.argv[2], int(sys.argv[3])
builds = {bits: (sys.argv[4], sys.argv[5])}
if len(sys.argv) > 7 and os.path.exists(sys.argv[6]) and os.path.exists(sys.argv[7]):
    builds[96 - bits] = (sys.argv[6], sys.argv[7])
failures = []


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args):
    return subprocess.run([wine_run, prefix, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, errors="replace")


def regsvr32(bitness, *flags):
    program = "regsvr32" if bitness == 64 else "C:\\windows\\syswow64\\regsvr32.exe"
    result = wine(program, "/s", *flags, windows_path(builds[bitness][0]))
    if result.returncode != 0:
        failures.append(f"regsvr32 {' '.join(flags)} ({bitness}-bit) failed: {result.returncode}")


def table(bitness):
    """[(scope, key, value, data)] of that bitness, its file filled in."""
    ocx, tsv = builds[bitness]
    file = windows_path(ocx)
    rows = []
    with open(tsv, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            scope, key, value, data = line.rstrip("\n").split("\t")
            data = data.replace("${FILE}", file).replace("${DIR}", ntpath.dirname(file) + "\\")
            rows.append((scope, key, value, data))
    return rows


def roots():
    """The keys the table writes below: its first-level keys, or the second
    level below CLSID, TypeLib and Interface."""
    found = []
    for _, key, _, _ in table(bits):
        parts = key.split("\\")
        root = "\\".join(parts[:2] if parts[0] in ("CLSID", "TypeLib", "Interface") else parts[:1])
        if root not in found:
            found.append(root)
    return found


def canonical(values, keys):
    """Values as (key, name, data), plus the keys that hold neither values nor
    subkeys: together they fix the tree."""
    leaves = {k for k in keys if not any(o.startswith(k + "\\") for o in keys) and not any(v[0] == k for v in values)}
    return sorted(values) + sorted((k, "-", "") for k in leaves)


def expected(registered):
    """Per view, what the table says the registry holds after registering the
    bitnesses in `registered`, in that order (a later one rewrites shared data)."""
    views = {}
    for view in (32, 64):
        values, keys = {}, set()
        for bitness in registered:
            for scope, key, value, data in table(bitness):
                if key.split("\\")[0] == "CLSID" and bitness != view:
                    continue  # the other view's class key
                keys.add(key)
                if value != "-":
                    values[(key, "(Default)" if value == "@" else value)] = data
        views[view] = canonical([(k, n, d) for (k, n), d in values.items()], keys)
    return views


def actual():
    views = {}
    for view in (32, 64):
        command = " & echo @@ & ".join(f"reg query HKCR\\{root} /s /reg:{view}" for root in roots())
        values, keys, key = [], set(), None
        for line in wine("cmd", "/c", command).stdout.replace("\r", "").splitlines():
            if line.startswith("HKEY_CLASSES_ROOT\\"):
                key = line[len("HKEY_CLASSES_ROOT\\"):]
                keys.add(key)
            elif key and (match := re.fullmatch(r"    (.+?)    REG_SZ    (.*)", line)):
                values.append((key, match.group(1), match.group(2)))
            elif line.startswith("@@"):
                key = None
        views[view] = canonical(values, keys)
    return views


def check(what, registered):
    want, got = expected(registered), actual()
    for view in (32, 64):
        if want[view] != got[view]:
            missing = [entry for entry in want[view] if entry not in got[view]]
            extra = [entry for entry in got[view] if entry not in want[view]]
            failures.append(f"{what}, view {view}: missing {missing}, not in the table {extra}")


def creatable(bitness):
    """A script host of that bitness creates the control by ProgID."""
    with tempfile.NamedTemporaryFile("w", suffix=".vbs", dir=os.path.dirname(prefix), delete=False) as script:
        script.write('Set c = CreateObject("MORAVEX1.ChartServiceClient")\r\n'
                     "If c.LoginAndConnectTimeout <> 5000 Then WScript.Quit 2\r\n")
    try:
        host = "cscript" if bitness == 64 else "C:\\windows\\syswow64\\cscript.exe"
        return wine(host, "//nologo", windows_path(script.name)).returncode == 0
    finally:
        os.unlink(script.name)


other = 96 - bits
# A clean start, whatever an interrupted run left.
for bitness in builds:
    regsvr32(bitness, "/u")
failures.clear()
check("before registering", [])

regsvr32(bits)
check(f"{bits}-bit registered", [bits])
regsvr32(bits)
check(f"{bits}-bit registered twice", [bits])

if other in builds:
    regsvr32(other)
    check("both registered", [bits, other])
    regsvr32(bits, "/u")
    check(f"{bits}-bit unregistered, {other}-bit left", [other])
    if not creatable(other):
        failures.append(f"the {other}-bit control is not creatable once the {bits}-bit one is unregistered")
    regsvr32(bits, "/u")
    check(f"{bits}-bit unregistered twice", [other])
    # And the other way round.
    regsvr32(bits)
    regsvr32(other, "/u")
    check(f"{other}-bit unregistered, {bits}-bit left", [bits])
    if not creatable(bits):
        failures.append(f"the {bits}-bit control is not creatable once the {other}-bit one is unregistered")
    regsvr32(bits, "/u")
    check("both unregistered", [])
    regsvr32(other, "/u")
else:
    print(f"no {other}-bit build beside this one, or no {other}-bit process runs here: side by side not checked")
    regsvr32(bits, "/u")
check("all unregistered", [])
regsvr32(bits, "/u")
check("unregistered once more", [])

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
