"""The registry as the registration table says it is after registering, and as
reg.exe reads it back, in both views: shared by the registration and the
installer tests. Under Wine, as on Windows, CLSID and Interface are kept apart
per view; the ProgID and TypeLib keys are one copy seen from both."""
import ntpath
import os
import re
import subprocess


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_runner(wine_run, prefix, stderr=subprocess.DEVNULL):
    """A function that runs a Windows program in the prefix and keeps its output as text."""
    def wine(*args):
        return subprocess.run([wine_run, prefix, *args], stdout=subprocess.PIPE, stderr=stderr,
                              text=True, errors="replace")
    return wine


def table(tsv, file):
    """[(scope, key, value, data)] of a registration.tsv, with the library at
    `file` (a Windows path)."""
    rows = []
    with open(tsv, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            scope, key, value, data = line.rstrip("\n").split("\t")
            data = data.replace("${FILE}", file).replace("${DIR}", ntpath.dirname(file) + "\\")
            rows.append((scope, key, value, data))
    return rows


def roots(rows):
    """The keys the table writes below: its first-level keys, or the second
    level below CLSID, TypeLib and Interface."""
    found = []
    for _, key, _, _ in rows:
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


def expected(tables, registered, written=None):
    """Per view, what the tables ({bitness: rows}) say the registry holds after
    registering the bitnesses in `registered`, in that order (a later one
    rewrites shared data). The shared Interface keys are in the views in
    `written` (by default those registered): they stay in a view as long as
    any bitness is registered."""
    written = registered if written is None else written
    views = {}
    for view in (32, 64):
        values, keys = {}, set()
        for bitness in registered:
            for scope, key, value, data in tables[bitness]:
                top = key.split("\\")[0]
                if (top == "CLSID" and bitness != view) or (top == "Interface" and view not in written):
                    continue  # the other view's key
                keys.add(key)
                if value != "-":
                    values[(key, "(Default)" if value == "@" else value)] = data
        views[view] = canonical([(k, n, d) for (k, n), d in values.items()], keys)
    return views


def actual(wine, below, views_read=(32, 64)):
    """Per view, what reg.exe reads below the keys `below`; wine(*args) runs a
    Windows program and gives its subprocess result. Each view is read by the
    reg.exe of its bitness: Wine's 64-bit one asked for /reg:32 misses keys."""
    views = {}
    for view in views_read:
        reg = "reg" if view == 64 else "C:\\windows\\syswow64\\reg.exe"
        command = " & echo @@ & ".join(f"{reg} query HKCR\\{root} /s /reg:{view}" for root in below)
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


def differences(want, got):
    """Per view read (got's), what one registry state lacks and what it holds
    beyond the other."""
    found = []
    for view in got:
        if want[view] != got[view]:
            missing = [entry for entry in want[view] if entry not in got[view]]
            extra = [entry for entry in got[view] if entry not in want[view]]
            found.append(f"view {view}: missing {missing}, not in the table {extra}")
    return found
