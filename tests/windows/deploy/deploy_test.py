#!/usr/bin/env python3
"""Deployment without self-registration, each run in a fresh Wine prefix
(removed at the end), against the native simulator.

  deploy_test.py installer WINE_RUN PREFIX BITS MSI LATER_MSI TSV HOST SIM [OTHER_MSI OTHER_TSV OTHER_HOST]
  deploy_test.py registration-free WINE_RUN PREFIX BITS DIR HOST SIM TSV
  deploy_test.py signed WINE_RUN PREFIX BITS WORK OCX CHART VERSION TSV [HOST SIM]

installer: msiexec /i puts the file under Program Files of its bitness and
writes what regsvr32 writes (the registration table, both views); a host that
registers nothing uses the control; a later version (LATER_MSI) replaces
it in place; with the other bitness's package installed
beside it and this one removed, the other still works; msiexec /x leaves no
key and no file. registration-free: with nothing registered, a host with the
sample application manifest and one that activates MORAVEX1.sxs.manifest
itself both use the control (DIR: the build's registration-free folder).
signed: a release signed by the build's signing step (signed_release/, on
copies of a build's OCX and CHART) with a throwaway certificate: a wrong
password fails and leaves no unsigned file; every signed file verifies against
the certificate; a second build signs nothing again; with HOST and SIM, the
signed control registers and is used, and the signed .msi installs a signed
control, used too, and uninstalls cleanly."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "library"))
import registry_readback  # noqa: E402

mode, wine_run, prefix, bits = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3]), int(sys.argv[4])
failures = []
windows_path = registry_readback.windows_path
wine = registry_readback.wine_runner(wine_run, prefix, subprocess.STDOUT)


def expect(condition, what, detail=""):
    print(f"{'ok' if condition else 'FAILED'}: {what}")
    if not condition:
        failures.append(what)
        if detail:
            print(detail)


def host(*args):
    result = wine(*args)
    expect(result.returncode == 0, f"{args[0].rsplit(chr(92), 1)[-1]} {' '.join(args[1:-1])}",
           result.stdout)


# The 32-bit view is read by a 32-bit reg.exe: where none can run (no 32-bit
# Wine), the x64 checks read their own view only.
RUNS_32BIT = subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts",
                                          "runs-32bit.sh")], stdout=subprocess.DEVNULL).returncode == 0
if not RUNS_32BIT:
    print("no 32-bit process runs here: the 32-bit registry view is not read")


def registry_is(what, tables, installed):
    """The registry below the table's keys equals the tables' rows of the
    bitnesses `installed` (in the order they were written). The x64 package
    writes the shared entries in both views, the x86 package in its own: a
    64-bit host needs none of them then."""
    below = registry_readback.roots(next(iter(tables.values())))
    views = (32, 64) if 64 in installed or not installed else (32,)
    views = views if RUNS_32BIT else tuple(v for v in views if v == 64)
    want = registry_readback.expected(tables, installed, views)
    differences = registry_readback.differences(want, registry_readback.actual(wine, below, views))
    expect(not differences, what, "\n".join(differences))


def program_files(bitness):
    return "Program Files" if bitness == 64 else "Program Files (x86)"


def products(bitness):
    """[(name, version)] of the installed MORAVEX1 packages of that bitness."""
    key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
    out = wine("reg", "query", key, "/s", f"/reg:{bitness}").stdout.replace("\r", "").splitlines()
    found, name = [], None
    for line in out:
        fields = line.split("    ")
        if len(fields) == 4 and fields[1] == "DisplayName":
            name = fields[3]
        elif len(fields) == 4 and fields[1] == "DisplayVersion" and name and name.startswith("MORAVEX1"):
            found.append((name, fields[3]))
    return found


def msiexec(flag, msi):
    result = wine("msiexec", flag, windows_path(msi), "/qn")
    expect(result.returncode == 0, f"msiexec {flag} {os.path.basename(msi)}", result.stdout)


def installed_ocx(bitness):
    return os.path.join(prefix, "drive_c", program_files(bitness), "MORAVEX1", "MORAVEX1.ocx")


def installed_table(tsv, bitness):
    return registry_readback.table(tsv, f"C:\\{program_files(bitness)}\\MORAVEX1\\MORAVEX1.ocx")


def rtd_registered(bitness, any_part=False):
    """The RTD server's file beside the control and its ProgID's CLSID in that
    view (with any_part: either of them)."""
    present = (os.path.isfile(os.path.join(os.path.dirname(installed_ocx(bitness)), "MORAVEX1Rtd.dll")),
               wine("reg", "query", "HKCR\\MORAVEX1.Rtd\\CLSID", f"/reg:{bitness}").returncode == 0)
    return any(present) if any_part else all(present)


REGSVR32 = "regsvr32" if bits == 64 else "C:\\windows\\syswow64\\regsvr32.exe"


def installer(msi, later, tsv, host_exe, port, other):
    installed = {}
    packages = {bits: (msi, tsv, host_exe)}
    if other:
        packages[96 - bits] = other
    for bitness, (_, table, _) in packages.items():
        installed[bitness] = installed_table(table, bitness)

    def install(bitness, flag):
        msiexec(flag, packages[bitness][0])

    install(bits, "/i")
    expect(os.path.isfile(installed_ocx(bits)), f"the file is under {program_files(bits)}")
    expect(rtd_registered(bits), "the real-time-data server is installed and registered beside the control")
    registry_is("the installer writes the registration table", installed, [bits])
    # What regsvr32 writes for the installed file, literally, in its own view.
    own = (bits,)
    snapshot = registry_readback.actual(wine, registry_readback.roots(installed[bits]), own)
    installed_file = f"C:\\{program_files(bits)}\\MORAVEX1\\MORAVEX1.ocx"
    wine(REGSVR32, "/s", "/u", installed_file)
    registry_is("regsvr32 /u removes what the installer wrote", installed, [])
    wine(REGSVR32, "/s", installed_file)
    again = registry_readback.actual(wine, registry_readback.roots(installed[bits]), own)
    expect(again == snapshot, "regsvr32 writes what the installer wrote",
           "\n".join(registry_readback.differences(snapshot, again)))
    host(windows_path(host_exe), "registered", str(port))

    # A later version upgrades in place: one product left, the later one.
    arch = "x64" if bits == 64 else "x86"
    first = products(bits)
    packages[bits] = (later, tsv, host_exe)
    install(bits, "/i")
    expect(len(first) == 1 and first[0][0] == f"MORAVEX1 ({arch})", "the product is listed once", str(first))
    upgraded = products(bits)
    expect(len(upgraded) == 1 and upgraded[0][1].startswith("9.9"), "the later version replaces it", str(upgraded))
    registry_is("the later version writes the registration table", installed, [bits])
    host(windows_path(host_exe), "registered", str(port))

    if other:
        other_bits = 96 - bits
        install(other_bits, "/i")
        registry_is("both installed side by side", installed, [bits, other_bits])
        install(bits, "/x")
        registry_is(f"the {bits}-bit package removed, the {other_bits}-bit one left", installed, [other_bits])
        expect(not os.path.exists(installed_ocx(bits)) and os.path.isfile(installed_ocx(other_bits)),
               "only the other file is left")
        host(windows_path(packages[other_bits][2]), "registered", str(port))
        install(other_bits, "/x")
    else:
        print(f"no {96 - bits}-bit package beside this one, or no 32-bit process runs here: side by side not checked")
        install(bits, "/x")
    registry_is("msiexec /x leaves no key", installed, [])
    expect(not any(rtd_registered(b, True) for b in packages), "msiexec /x leaves no key of the real-time-data server")
    leftovers = [p for p in (os.path.dirname(installed_ocx(b)) for b in packages) if os.path.exists(p)]
    expect(not leftovers, "msiexec /x leaves no file", " ".join(leftovers))


def registration_free(folder, host_exe, port, tsv):
    table = {bits: registry_readback.table(tsv, "")}
    registry_is("nothing is registered", table, [])
    # A host shipped with the control and the sample manifest under its name.
    app = os.path.join(os.path.dirname(prefix), "registration-free-app")
    shutil.rmtree(app, ignore_errors=True)
    os.makedirs(app)
    for name in ("MORAVEX1.ocx", "MORAVEX1.sxs.manifest"):
        shutil.copy(os.path.join(folder, name), app)
    shutil.copy(host_exe, os.path.join(app, "deploy_host.exe"))
    shutil.copy(os.path.join(folder, "sample.exe.manifest"), os.path.join(app, "deploy_host.exe.manifest"))
    host(windows_path(os.path.join(app, "deploy_host.exe")), "manifest", str(port))
    # A host without a manifest, activating the control's own.
    host(windows_path(host_exe), "actctx", windows_path(os.path.join(folder, "MORAVEX1.sxs.manifest")), str(port))
    registry_is("still nothing is registered", table, [])
    shutil.rmtree(app, ignore_errors=True)


PASSWORD = "throwaway-signing-password"


def run(*args, password=PASSWORD, cwd=None):
    env = {**os.environ, "MORAVEX_SIGN_PASSWORD": password}
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env, cwd=cwd)


def signed_by(path, cert):
    """Whether the file carries one valid SHA-256 signature by cert, and what osslsigncode says."""
    out = run("osslsigncode", "verify", "-CAfile", cert, "-in", path)
    return out.returncode == 0 and re.search(r"^Message digest algorithm *: SHA256$", out.stdout, re.M) and \
        "Number of verified signatures: 1" in out.stdout, out.stdout


def signed(work, ocx, chart, version, tsv, host_exe, port):
    work, ocx, chart = (os.path.abspath(p) for p in (work, ocx, chart))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    certificate = run("sh", "-c", "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=throwaway "
                      "-addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem && openssl pkcs12 -export "
                      "-inkey key.pem -in cert.pem -out signer.p12 -passout env:MORAVEX_SIGN_PASSWORD", cwd=work)
    cert, build = os.path.join(work, "cert.pem"), os.path.join(work, "build")
    run("cmake", "-G", "Ninja", "-S", os.path.join(os.path.dirname(os.path.abspath(__file__)), "signed_release"),
        "-B", build, f"-DMORAVEX_SIGN_PKCS12={work}/signer.p12", f"-DOCX={ocx}", f"-DCHART={chart}",
        f"-DBITS={bits}", f"-DVERSION={version}")
    msi = f"deploy/MORAVEX1-{version}-{'x64' if bits == 64 else 'x86'}.msi"
    files = [os.path.join(build, name) for name in ("bin/MORAVEX1.ocx", "bin/moravex-chart.exe", msi,
                                                     "deploy/registration-free/MORAVEX1.ocx")]
    failed = run("cmake", "--build", build, "--", "-k", "0", password="not-the-password")
    expect(failed.returncode and "osslsigncode:" in failed.stdout and not any(map(os.path.exists, files)),
           "a wrong password fails the build and leaves no unsigned file", certificate.stdout + failed.stdout)
    built = run("cmake", "--build", build)
    for path in files:
        ok, report = signed_by(path, cert)
        expect(ok, f"{os.path.relpath(path, build)} is signed by the certificate", built.stdout + report)
    expect("no work to do" in run("cmake", "--build", build).stdout, "a second build signs nothing again")
    if host_exe:
        host(REGSVR32, "/s", windows_path(files[0]))
        host(windows_path(host_exe), "registered", str(port))
        host(REGSVR32, "/s", "/u", windows_path(files[0]))
        msiexec("/i", files[2])
        expect(signed_by(installed_ocx(bits), cert)[0], "the signed package installs the signed control")
        host(windows_path(host_exe), "registered", str(port))
        msiexec("/x", files[2])
        registry_is("the signed package leaves no key", {bits: installed_table(tsv, bits)}, [])
        expect(not os.path.exists(installed_ocx(bits)), "the signed package leaves no file")


def start_simulator(sim):
    process = subprocess.Popen([sim, "--port", "0"], stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if "listening on" not in line:
        process.kill()
        sys.exit(f"the simulator printed {line!r}")
    return process, int(line.rsplit(":", 1)[1])


def remove_prefix():
    if os.path.exists(prefix):
        subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": prefix}, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env={**os.environ, "WINEPREFIX": prefix}, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
    if os.path.exists(prefix + ".lock"):
        os.unlink(prefix + ".lock")


def main():
    args = sys.argv[5:]
    if mode == "signed" and len(args) == 5:
        signed(*args, None, None)
        return report()
    sim = args[4] if mode == "installer" else args[2] if mode == "registration-free" else args[6]
    if not os.access(sim, os.X_OK):
        print(f"no simulator at {sim}: build the native preset first")
        return 77
    remove_prefix()
    simulator, port = start_simulator(sim)
    try:
        if mode == "installer":
            other = tuple(args[5:8]) if len(args) >= 8 and all(os.path.exists(p) for p in args[5:8]) else None
            installer(args[0], args[1], args[2], args[3], port, other)
        elif mode == "signed":
            signed(*args[:6], port)
        else:
            registration_free(args[0], args[1], port, args[3])
    finally:
        simulator.kill()
        simulator.wait()
        remove_prefix()
    return report()


def report():
    for failure in failures:
        print(f"failed: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
