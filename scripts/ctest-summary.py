#!/usr/bin/env python3
"""Closing line of one CTest run, from its JUnit file: the skipped tests with
their reasons (the last line each printed), then "NAME: N passed, N failed,
N skipped" alone on a line."""
import sys
import xml.etree.ElementTree as ElementTree

name, junit = sys.argv[1], sys.argv[2]
passed = failed = skipped = 0
try:
    cases = ElementTree.parse(junit).getroot().iter("testcase")
except (OSError, ElementTree.ParseError) as error:
    print(f"{name}: no test results ({error})")
    cases = []
    failed = 1
for case in cases:
    if case.find("skipped") is not None or case.get("status") == "disabled":
        skipped += 1
        output = (case.findtext("system-out") or "").strip().splitlines()
        print(f"  skipped {case.get('name')}: {output[-1] if output else 'no reason given'}")
    elif case.find("failure") is not None or case.find("error") is not None or case.get("status") != "run":
        failed += 1
    else:
        passed += 1
print(f"{name}: {passed} passed, {failed} failed, {skipped} skipped")
