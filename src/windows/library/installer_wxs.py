#!/usr/bin/env python3
"""Writes the WiX source of MORAVEX1-<version>-x64.msi or -x86.msi (for
Debian's wixl) from the registration table: Registry rows, no self-
registration.

  installer_wxs.py TABLE IDL BITS VERSION OCX OUT.wxs [SERVER_TABLE SERVER_IDL SERVER_FILE]...

Further in-process servers beside the control (the real-time-data server)
come as triples of their own table, IDL and file, each with components of the
same three kinds as the control's. Components: the file with this bitness's own entries; the entries both
bitnesses share, in the 32-bit view, under one component code in both
packages, so that Windows Installer counts both products as its clients and
leaves them until the last is removed; and in the x64 package the shared
entries the 64-bit view keeps apart (all but the type library's, which both
views see as one), removed with that package. A component writes one view
only: one shared component in both views would leave the 64-bit copies behind
when the x86 package goes last."""
import os
import sys
from xml.sax.saxutils import quoteattr

from registration_table import load

MANUFACTURER = "Korvane"
# Fixed for ever: a later version of a package replaces the earlier in place.
UPGRADE_CODE = {64: "{DC5D1260-ACF7-4D76-B399-47C6F2120497}", 32: "{0977B337-7A95-4BA3-AF76-BEDA14EDB46D}"}
OWN_COMPONENT = {64: "{91C54515-8E1E-4C73-9B47-2BF5FFF25B57}", 32: "{E4BB24E4-58E7-4689-9B7F-049D2FDAEFC7}"}
SHARED_COMPONENT = "{014F7833-FC5F-4020-B23F-807822F18D4A}"
SHARED_64_COMPONENT = "{5B0C8E1A-2F4D-4C67-9A3E-7D1B6C2E9F40}"
# Fixed for ever too, per further server by its file name: own (64, 32), shared, shared 64-bit view.
SERVER_COMPONENTS = {
    "MORAVEX1Rtd.dll": ({64: "{3F8A6C21-9B4E-4D7A-8E15-6C2D9A4B7E30}", 32: "{A7D2E914-5C3B-4F86-9D21-0B8E4C6F1A52}"},
                        "{6E1B4F38-D2A7-4C95-B8E3-1F7A9C5D2B64}", "{C25A8D71-4E9F-4B36-A1D8-7E3C5F9B0A16}"),
}


def registry_elements(rows, key_path, file_id="MORAVEX1.ocx"):
    lines = []
    for index, row in enumerate(rows):
        data = row.data.replace("${FILE}", f"[#{file_id}]").replace("${DIR}", "[INSTALLDIR]")
        where = f'Root="HKCR" Key={quoteattr(row.key)}'
        if row.value == "-":
            # A key without values: "*" creates it, and removes it with the component.
            lines.append(f'<RegistryValue {where} Name="*" Type="string" Value=""/>')
            continue
        name = "" if row.value == "@" else f" Name={quoteattr(row.value)}"
        keyed = ' KeyPath="yes"' if key_path and index == 0 else ""
        lines.append(f'<RegistryValue {where}{name} Type="string" Value={quoteattr(data)}{keyed}/>')
    return "\n            ".join(lines)


def server_components(table, idl, bits, path, out):
    """(components, their ids) of one further server."""
    name = os.path.basename(path)
    own_guid, shared_guid, shared_64_guid = SERVER_COMPONENTS[name]
    rows = load(table, idl, bits)
    stem = name.split(".")[0]
    win64 = ' Win64="yes"' if bits == 64 else ""
    source = quoteattr(os.path.relpath(path, os.path.dirname(os.path.abspath(out))))
    own = [row for row in rows if row.scope == "own"]
    shared = [row for row in rows if row.scope == "shared"]
    text = f"""
          <Component Id="{stem}" Guid="{own_guid[bits]}"{win64}>
            <File Id="{name}" Name="{name}" Source={source} KeyPath="yes"/>
            {registry_elements(own, False, name)}
          </Component>
          <Component Id="{stem}Shared" Guid="{shared_guid}">
            {registry_elements(shared, True, name)}
          </Component>"""
    ids = [stem, stem + "Shared"]
    apart = [row for row in shared if not row.key.startswith("TypeLib\\")]
    if bits == 64 and apart:
        text += f"""
          <Component Id="{stem}Shared64" Guid="{shared_64_guid}" Win64="yes">
            {registry_elements(apart, True, name)}
          </Component>"""
        ids.append(stem + "Shared64")
    return text, ids


def main():
    table, idl, bits, version, ocx, out = sys.argv[1:7]
    bits = int(bits)
    servers = [server_components(*sys.argv[i:i + 2], bits, sys.argv[i + 2], out) for i in range(7, len(sys.argv), 3)]
    server_text = "".join(text for text, _ in servers)
    server_refs = "".join(f'\n      <ComponentRef Id="{id}"/>' for _, ids in servers for id in ids)
    rows = load(table, idl, bits)
    arch = "x64" if bits == 64 else "x86"
    win64 = ' Win64="yes"' if bits == 64 else ""
    program_files = "ProgramFiles64Folder" if bits == 64 else "ProgramFilesFolder"
    own = [row for row in rows if row.scope == "own"]
    shared = [row for row in rows if row.scope == "shared"]
    shared_64 = ""
    if bits == 64:
        apart = [row for row in shared if not row.key.startswith("TypeLib\\")]
        shared_64 = f"""
          <Component Id="SharedRegistration64" Guid="{SHARED_64_COMPONENT}" Win64="yes">
            {registry_elements(apart, True)}
          </Component>"""
    with open(out, "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Generated by installer_wxs.py from registration.table: edit the table. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="MORAVEX1 ({arch})" Language="1033" Version="{version}"
           Manufacturer="{MANUFACTURER}" UpgradeCode="{UPGRADE_CODE[bits]}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="MORAVEX1 ChartServiceClient control and real-time data server, {bits}-bit"/>
    <MajorUpgrade DowngradeErrorMessage="A later version of MORAVEX1 ({arch}) is already installed."/>
    <Media Id="1" Cabinet="MORAVEX1.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{program_files}">
        <Directory Id="INSTALLDIR" Name="MORAVEX1">
          <Component Id="Control" Guid="{OWN_COMPONENT[bits]}"{win64}>
            <File Id="MORAVEX1.ocx" Name="MORAVEX1.ocx" Source={quoteattr(os.path.relpath(ocx, os.path.dirname(os.path.abspath(out))))} KeyPath="yes"/>
            {registry_elements(own, False)}
          </Component>
          <Component Id="SharedRegistration" Guid="{SHARED_COMPONENT}">
            {registry_elements(shared, True)}
          </Component>{shared_64}{server_text}
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Control" Level="1">
      <ComponentRef Id="Control"/>
      <ComponentRef Id="SharedRegistration"/>{'<ComponentRef Id="SharedRegistration64"/>' if shared_64 else ""}{server_refs}
    </Feature>
  </Product>
</Wix>
""")


if __name__ == "__main__":
    main()
