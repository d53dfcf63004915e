#!/usr/bin/env python3
"""Reads registration.table (with the GUIDs, versions and help strings of
MORAVEX1.idl) and writes it out for one bitness: as a C++ header for
DllRegisterServer/DllUnregisterServer, and as TSV for installers, manifests
and tests.

  registration_table.py TABLE IDL BITS [--cpp OUT.h] [--tsv OUT.tsv]

TSV: one line per table row, SCOPE KEY VALUE DATA separated by tabs, VALUE
"@" for the default value and "-" for a key without a value; ${FILE} and
${DIR} stay in DATA for the consumer to fill in. Importable: load() gives the
rows."""
import argparse
import re
import sys
from collections import namedtuple

Row = namedtuple("Row", "scope key value data")
RUNTIME = ("FILE", "DIR")
# The OLEMISC flags as oleidl.h numbers them (the generated header checks
# these against the SDK's at compile time).
OLEMISC = {name: 1 << bit for bit, name in enumerate((
    "RECOMPOSEONRESIZE", "ONLYICONIC", "INSERTNOTREPLACE", "STATIC", "CANTLINKINSIDE", "CANLINKBYOLE1",
    "ISLINKOBJECT", "INSIDEOUT", "ACTIVATEWHENVISIBLE", "RENDERINGISDEVICEINDEPENDENT", "INVISIBLEATRUNTIME",
    "ALWAYSRUN", "ACTSLIKEBUTTON", "ACTSLIKELABEL", "NOUIACTIVATE", "ALIGNABLE", "SIMPLEFRAME",
    "SETCLIENTSITEFIRST", "IMEMODE", "IGNOREACTIVATEWHENVISIBLE", "WANTSTOMENUMERGE",
    "SUPPORTSMULTILEVELUNDO"))}


def olemisc_names(status):
    """The OLEMISC flag names (without the prefix) that make up `status`."""
    names = [name for name, bit in OLEMISC.items() if status & bit]
    if sum(OLEMISC[name] for name in names) != status:
        sys.exit(f"misc status {status} holds bits that are no OLEMISC flag")
    return names


def idl_attributes(idl_text):
    """{name: {attribute: argument}} for each attributed library, interface,
    dispinterface and coclass the IDL defines."""
    found = {}
    pattern = r"\[([^\[\]]*)\]\s*(?:library|interface|dispinterface|coclass)\s+(\w+)"
    for attributes, name in re.findall(pattern, idl_text):
        # The definition (it has the uuid), not a reference such as a
        # coclass's "[default] interface X".
        parsed = dict(re.findall(r'(\w+)\(\s*"?([^")]*)"?\s*\)', attributes))
        if "uuid" in parsed:
            found[name] = parsed
    return found


def expand(text, names, idl, where):
    def attribute(match):
        kind, declaration = match.group(1), match.group(2)
        try:
            value = idl[declaration][kind]
        except KeyError:
            sys.exit(f"{where}: no {kind} for {declaration} in the IDL")
        return "{" + value.upper() + "}" if kind == "uuid" else value

    def name(match):
        if match.group(1) in RUNTIME:
            return match.group(0)
        if match.group(1) not in names:
            sys.exit(f"{where}: ${{{match.group(1)}}} is not defined")
        return names[match.group(1)]

    def olemisc(match):
        flags = [flag.strip() for flag in match.group(1).split("|")]
        unknown = [flag for flag in flags if flag not in OLEMISC]
        if unknown:
            sys.exit(f"{where}: no OLEMISC flag {', '.join(unknown)}")
        return str(sum(OLEMISC[flag] for flag in set(flags)))

    text = re.sub(r"\bolemisc\(([^)]*)\)", olemisc, text)
    text = re.sub(r"\b(uuid|version|helpstring)\((\w+)\)", attribute, text)
    return re.sub(r"\$\{(\w+)\}", name, text)


def load(table_path, idl_path, bits):
    return parse(table_path, idl_path, bits)[1]


def parse(table_path, idl_path, bits):
    """(definitions, rows) of the table for that bitness."""
    with open(idl_path, encoding="utf-8") as f:
        idl = idl_attributes(f.read())
    names = {"BITS": str(bits)}
    rows = []
    with open(table_path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            where = f"{table_path}:{number}"
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            definition = re.fullmatch(r"define\s+(\w+)\s*=\s*(.*)", line)
            if definition:
                names[definition.group(1)] = expand(definition.group(2), names, idl, where)
                continue
            fields = [field.strip() for field in line.split("|")]
            if len(fields) != 4 or fields[0] not in ("own", "shared") or not fields[2]:
                sys.exit(f"{where}: expected SCOPE | KEY | VALUE | DATA")
            scope, key, value, data = (expand(field, names, idl, where) for field in fields)
            if value == "-" and data:
                sys.exit(f"{where}: a key without a value has no data")
            rows.append(Row(scope, key, value, data))
    return names, rows


def cpp_string(text):
    return 'L"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def cpp_rows(rows):
    lines = []
    for row in rows:
        scope = "RegistrationScope::kOwn" if row.scope == "own" else "RegistrationScope::kShared"
        value = "nullptr" if row.value == "-" else cpp_string("" if row.value == "@" else row.value)
        lines.append(f"    {{{scope}, {cpp_string(row.key)}, {value}, {cpp_string(row.data)}}},")
    return "\n".join(lines)


def write_cpp(path, names, rows, other_rows):
    own_other = [row for row in other_rows if row.scope == "own"]
    misc = ""
    if "MISCSTATUS" in names:  # a control's table; other servers have none
        status = int(names["MISCSTATUS"])
        flags = " | ".join("OLEMISC_" + name for name in olemisc_names(status))
        misc = ("// The misc status for DVASPECT_CONTENT, as registered (MiscStatus\\1).\n"
                f"inline constexpr DWORD kMiscStatus = {flags};\n"
                f"static_assert(kMiscStatus == {status}, \"registration_table.py numbers an OLEMISC flag wrongly\");\n\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write("// Generated by registration_table.py from registration.table: edit the table.\n"
                "// Include it after the OLE headers.\n"
                "#pragma once\n#include \"windows/library/registration_entry.h\"\n\nnamespace moravex::windows {\n\n"
                + misc +
                "// What registering this bitness writes, in table order.\n"
                "inline constexpr RegistrationEntry kRegistration[] = {\n" + cpp_rows(rows) + "\n};\n\n"
                "// What the other bitness's registration alone writes: while any of it is\n"
                "// there, the shared entries stay.\n"
                "inline constexpr RegistrationEntry kOtherBitnessRegistration[] = {\n"
                + cpp_rows(own_other) + "\n};\n\n}  // namespace moravex::windows\n")


def write_tsv(path, rows):
    with open(path, "w", encoding="utf-8") as f:
        f.write("# scope\tkey\tvalue\tdata\n")
        for row in rows:
            f.write("\t".join(row) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("table")
    parser.add_argument("idl")
    parser.add_argument("bits", type=int, choices=(32, 64))
    parser.add_argument("--cpp")
    parser.add_argument("--tsv")
    args = parser.parse_args()
    names, rows = parse(args.table, args.idl, args.bits)
    if args.cpp:
        write_cpp(args.cpp, names, rows, load(args.table, args.idl, 96 - args.bits))
    if args.tsv:
        write_tsv(args.tsv, rows)


if __name__ == "__main__":
    main()
