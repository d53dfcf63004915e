#!/usr/bin/env python3
"""The registry after regsvr32 equals the registration table, key by key, in
both registry views; both bitnesses registered side by side keep each other's
entries through the other's unregistration; unregistering twice succeeds, and
once both are gone nothing of them is left.

  side_by_side_test.py WINE_RUN PREFIX BITS OCX TSV [OTHER_OCX OTHER_TSV]

Without the other bitness's build (its OCX and TSV) only this bitness is
checked. Under Wine, as on Windows, CLSID and Interface are kept apart per
view; the ProgID and TypeLib keys are one copy seen from both."""
import os
import subprocess
import sys
import tempfile

import registry_readback

wine_run, prefix, bits = sys.argv[1], sys.argv[2], int(sys.argv[3])
builds = {bits: (sys.argv[4], sys.argv[5])}
if len(sys.argv) > 7 and os.path.exists(sys.argv[6]) and os.path.exists(sys.argv[7]):
    builds[96 - bits] = (sys.argv[6], sys.argv[7])
failures = []
windows_path = registry_readback.windows_path
wine = registry_readback.wine_runner(wine_run, prefix)


def regsvr32(bitness, *flags):
    program = "regsvr32" if bitness == 64 else "C:\\windows\\syswow64\\regsvr32.exe"
    result = wine(program, "/s", *flags, windows_path(builds[bitness][0]))
    if result.returncode != 0:
        failures.append(f"regsvr32 {' '.join(flags)} ({bitness}-bit) failed: {result.returncode}")


def table(bitness):
    ocx, tsv = builds[bitness]
    return registry_readback.table(tsv, windows_path(ocx))


# The views the shared Interface keys were written in since all was clean.
written = set()


def check(what, registered):
    written.update(registered)
    if not registered:
        written.clear()
    want = registry_readback.expected({bitness: table(bitness) for bitness in registered}, registered, written)
    # The 32-bit view is read by a 32-bit reg.exe: only with the x86 build beside this one.
    got = registry_readback.actual(wine, registry_readback.roots(table(bits)), (32, 64) if len(builds) == 2 else (bits,))
    failures.extend(f"{what}, {difference}" for difference in registry_readback.differences(want, got))


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
