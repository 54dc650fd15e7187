#!/usr/bin/env python3
"""One build's installer in a Wine prefix of its own, as a user meets it.

Per machine (--scope machine): installs the MSI silently, compares the registry entries it
wrote with those regsvr32 writes for the same DLL in the same folder, receives a message from
the simulated modem with the installed pelvaro-listen.exe, has the installers of later versions
replace it and itself refuse to replace the last of them, uninstalls, and checks that neither
registry view nor the disk keeps anything of ours.

Per user (--scope user): installs the per-machine MSI, then the per-user one beside it, compares
what the latter wrote among the user's classes with what regsvr32 /n /i:user writes, checks that
the machine-wide registration stayed as it was through its install and its removal, and that
nothing of ours is left once both are removed. Wine 8 neither creates an object from the user's
classes nor keeps RegisterTypeLibForUser's entries there, so this one compares keys only.

Exits 77 where this machine cannot run the build's architecture.
"""

import argparse
import collections
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile

INSTALL_DIR = r"C:\Program Files\Pelvaro"
UNINSTALL = re.compile(r"software\\(wow6432node\\)?microsoft\\windows\\currentversion\\uninstall\\")
MESSAGE = "Delivered through the installed Pelvaro"


class Failure(Exception):
    pass


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--scope", choices=("machine", "user"), default="machine")
    for name in ("wine-run", "arch", "prefix", "msi", "version", "stage"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--sim-launcher", help="per machine: the simulated modem's launcher")
    parser.add_argument("--log", help="per machine: the simulated modem's log")
    parser.add_argument("--later", nargs="+", default=[], metavar="VERSION=MSI",
                        help="per machine: installers of later versions, in ascending order")
    parser.add_argument("--machine-msi", help="per user: the per-machine installer beside it")
    parser.add_argument("--guids", nargs=4, required=True,
                        metavar=("CLSID", "LIBID", "IID", "DIID"), help="the IDL's identifiers")
    args = parser.parse_args()
    needed = (("sim_launcher", "log", "later") if args.scope == "machine" else ("machine_msi",))
    missing = [name for name in needed if not getattr(args, name)]
    if missing:
        parser.error("--scope %s needs %s" % (args.scope, ", ".join(
            "--" + name.replace("_", "-") for name in missing)))
    args.later = [later.split("=", 1) for later in args.later]
    return args


# What the registry holds of ours: the registration among the machine's classes and among the
# user's own (the class, its ProgIDs, the type library, the interfaces, in either view), the
# versions of the installed products, and every trace.
State = collections.namedtuple("State", "machine user products traces")


class Prefix:
    def __init__(self, args):
        self.args = args
        self.path = args.prefix
        self.install_dir = os.path.join(self.path, "drive_c", "Program Files", "Pelvaro")
        clsid, libid, iid, diid = args.guids
        keys = ["clsid\\" + clsid, "typelib\\" + libid, "interface\\" + iid,
                "interface\\" + diid, "pelvaro.readsms", "pelvaro.readsms.1"]
        # The registration in either view, as system.reg and user.reg name the keys below HKLM
        # and HKCU.
        self.registration = re.compile(r"software\\classes\\(wow6432node\\)?(%s)(\\|$)"
                                       % "|".join(re.escape(key.lower()) for key in keys))
        # Whatever else would betray us: our identifiers or our name anywhere in the registry.
        self.ours = re.compile("|".join(re.escape(s) for s in (*args.guids, "pelvaro")), re.I)

    def run(self, *program, cwd=None):
        """A program in the prefix, with its exit status and output."""
        done = subprocess.run([self.args.wine_run, self.args.arch, self.path, *program],
                              cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, errors="replace")
        return done.returncode, done.stdout + done.stderr

    def must(self, what, *program):
        status, output = self.run(*program)
        if status != 0:
            raise Failure("%s: exit status %d\n%s" % (what, status, output))

    def make(self):
        status, output = self.run()
        if status == 77:
            print(output.strip())
            sys.exit(77)
        if status != 0:
            raise Failure("making the prefix failed:\n" + output)

    def stop_server(self):
        """Ends the prefix's wineserver, which writes the registry files."""
        env = dict(os.environ, WINEPREFIX=self.path)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True)

    def registry(self):
        """{(file, key): [value lines]} of system.reg and user.reg, keys in lower case."""
        self.stop_server()
        keys = {}
        for name in ("system.reg", "user.reg"):
            key = None
            with open(os.path.join(self.path, name), encoding="utf-8", errors="replace") as f:
                for line in f:
                    line = line.rstrip("\n")
                    if line.startswith("["):
                        key = (name, line[1:line.rindex("]")].replace("\\\\", "\\").lower())
                        keys[key] = []
                    elif key and line and not line.startswith("#"):
                        keys[key].append(line)
        return keys

    def state(self):
        keys = self.registry()

        def registration(hive):
            return {key: sorted(values) for (file, key), values in keys.items()
                    if file == hive and self.registration.match(key)}

        products = sorted(
            line.split("=", 1)[1].strip('"') for (file, key), values in keys.items()
            if UNINSTALL.match(key) and any(v.startswith('"DisplayName"="Pelvaro') for v in values)
            for line in values if line.startswith('"DisplayVersion"='))
        # The sim's own port mapping names its folder, not us.
        traces = ["%s [%s] %s" % (file, key, line) for (file, key), values in keys.items()
                  if key != "software\\wine\\ports"
                  for line in [""] + values if self.ours.search(key + line)]
        return State(registration("system.reg"), registration("user.reg"), products, traces)

    def user_programs(self):
        """The user's %LOCALAPPDATA%\\Programs, where a per-user install goes: as Windows names
        it, and as a path on this side."""
        status, output = self.run("cmd", "/c", "echo", "%LOCALAPPDATA%")
        local = output.strip().splitlines()[-1] if status == 0 and output.strip() else ""
        if not re.match(r"[A-Za-z]:\\", local):
            raise Failure("no %%LOCALAPPDATA%% in the prefix: %r" % output)
        return (local + "\\Programs",
                os.path.join(self.path, "drive_" + local[0].lower(), *local[3:].split("\\"),
                             "Programs"))

    def installer_cache(self):
        cache = os.path.join(self.path, "drive_c", "windows", "Installer")
        return sorted(os.listdir(cache)) if os.path.isdir(cache) else []


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def install(prefix, msi, workdir):
    """msiexec /i; when it fails, what its log says went wrong."""
    log = os.path.join(workdir, "msiexec.log")
    status, output = prefix.run("msiexec", "/i", windows_path(msi), "/qn", "/l*",
                                windows_path(log))
    if status != 0:
        with open(log, encoding="utf-8", errors="replace") as f:
            said = [line.rstrip() for line in f if re.search(r"error|return value 3", line, re.I)]
        raise Failure("msiexec /i %s: exit status %d\n%s" % (os.path.basename(msi), status,
                                                             "\n".join([output] + said)))


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names)


def expect_files(install_dir, stage):
    """The staged files, installed unchanged."""
    installed = files_below(install_dir) if os.path.isdir(install_dir) else []
    if installed != files_below(stage):
        raise Failure("installed %s, staged %s" % (installed, files_below(stage)))
    changed = [name for name in installed if not filecmp.cmp(
        os.path.join(stage, name), os.path.join(install_dir, name), False)]
    if changed:
        raise Failure("installed files differ from the staged ones: %s" % changed)


def expect_same(what, expected, found, expected_by, found_by):
    diff = ["%s\n  %-9s %s\n  %-9s %s" % (key, expected_by + ":", expected.get(key),
                                          found_by + ":", found.get(key))
            for key in sorted(set(expected) | set(found)) if expected.get(key) != found.get(key)]
    if diff:
        raise Failure(what + ":\n" + "\n".join(diff))


def expect_installed(prefix, stage, expected, versions):
    """One product of ours installed, in the given version, with the staged files, registered
    as regsvr32 does."""
    expect_files(prefix.install_dir, stage)
    state = prefix.state()
    if state.products != versions:
        raise Failure("installed products of ours: %s, not %s" % (state.products, versions))
    expect_same("the installer's registration differs from regsvr32's", expected, state.machine,
                "regsvr32", "msiexec")


def registered_by_regsvr32(prefix, stage):
    """What regsvr32 writes for the DLL where the installer puts it; removed again after."""
    os.makedirs(prefix.install_dir)
    shutil.copy(os.path.join(stage, "Pelvaro.dll"), prefix.install_dir)
    dll = INSTALL_DIR + r"\Pelvaro.dll"
    prefix.must("regsvr32", "regsvr32", "/s", dll)
    entries = prefix.state().machine
    prefix.must("regsvr32 /u", "regsvr32", "/u", "/s", dll)
    shutil.rmtree(prefix.install_dir)
    if not entries:
        raise Failure("regsvr32 wrote nothing that this test recognises")
    return entries


def receive(prefix, args, workdir):
    """pelvaro-listen from the installed folder gets one message from the simulated modem."""
    with open(os.path.join(workdir, "SerComm.ini"), "w", newline="\r\n") as f:
        f.write("[SerComm Options]\nPort=3\nSend Delay=0\n")
    scenario = os.path.join(workdir, "deliver.sim")
    with open(scenario, "w") as f:
        f.write("wait-for AT+CNMI=1,2\nsleep 1\ndeliver text +4915112345678 %s\n" % MESSAGE)
    done = subprocess.run(
        [args.sim_launcher, "--arch", args.arch, "--port", "3", "--prefix", prefix.path,
         "--log", args.log, "--scenario", scenario, "--", args.wine_run, args.arch, prefix.path,
         INSTALL_DIR + r"\pelvaro-listen.exe", "--seconds", "6"],
        cwd=workdir, stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace")
    output = done.stdout + done.stderr
    if done.returncode != 0 or "OnNewSms" not in output or MESSAGE not in output:
        raise Failure("pelvaro-listen (exit status %d) did not receive the message:\n%s"
                      % (done.returncode, output))


def among_classes(*registrations):
    """Registrations as keys below a classes root, wherever Wine put them: the machine's or the
    user's, either view."""
    merged = {}
    for registration in registrations:
        for key, values in registration.items():
            merged[re.sub(r"^software\\classes\\(wow6432node\\)?", "", key)] = values
    return merged


def registered_per_user_by_regsvr32(prefix, stage, install_dir, dll):
    """What regsvr32 /n /i:user writes for the DLL where the per-user installer puts it
    (install_dir on this side, dll as Windows names it), as keys below a classes root; removed
    again after. Wine 8 puts the type library's among the machine's classes, so they are taken
    from both."""
    os.makedirs(install_dir)
    shutil.copy(os.path.join(stage, "Pelvaro.dll"), install_dir)
    prefix.must("regsvr32 /n /i:user", "regsvr32", "/s", "/n", "/i:user", dll)
    state = prefix.state()
    prefix.must("regsvr32 /u /n /i:user", "regsvr32", "/s", "/u", "/n", "/i:user", dll)
    shutil.rmtree(os.path.dirname(install_dir))
    if not state.user:
        raise Failure("regsvr32 /n /i:user wrote nothing among the user's classes")
    left = prefix.state()
    if left.machine or left.user:
        raise Failure("regsvr32 /u /n /i:user left %s" % sorted({**left.machine, **left.user}))
    return among_classes(state.machine, state.user)


def per_user(args, prefix, baseline):
    """The per-user installer beside the per-machine one."""
    arch = {"win32": "x86", "win64": "x64"}[args.arch]
    programs, programs_here = prefix.user_programs()
    product_dir = os.path.join(programs_here, "Pelvaro")
    install_dir = os.path.join(product_dir, arch)
    expected = registered_per_user_by_regsvr32(
        prefix, args.stage, install_dir, "%s\\Pelvaro\\%s\\Pelvaro.dll" % (programs, arch))
    workdir = tempfile.mkdtemp(prefix="pelvaro-msi.")
    try:
        install(prefix, args.machine_msi, workdir)
        machine = prefix.state().machine
        install(prefix, args.msi, workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    expect_files(install_dir, args.stage)
    state = prefix.state()
    expect_same("the per-user install changed the machine-wide registration", machine,
                state.machine, "before", "after")
    expect_same("the per-user installer's registration differs from regsvr32 /n /i:user's",
                expected, among_classes(state.user), "regsvr32", "msiexec")

    prefix.must("msiexec /x (per user)", "msiexec", "/x", windows_path(args.msi), "/qn")
    state = prefix.state()
    if state.user:
        raise Failure("after msiexec /x the user's classes still hold %s" % sorted(state.user))
    expect_same("the per-user removal changed the machine-wide registration", machine,
                state.machine, "before", "after")
    if os.path.exists(product_dir):
        raise Failure("after msiexec /x %s is still there: %s"
                      % (product_dir, files_below(product_dir)))

    prefix.must("msiexec /x", "msiexec", "/x", windows_path(args.machine_msi), "/qn")
    left = [trace for trace in prefix.state().traces if trace not in baseline]
    if left:
        raise Failure("after both msiexec /x the registry still names us:\n" + "\n".join(left))
    print("installed beside the per-machine installer, registered among the user's classes as "
          "regsvr32 /n /i:user does, left the machine-wide registration alone, uninstalled "
          "without a trace")


def per_machine(args, prefix, baseline):
    expected = registered_by_regsvr32(prefix, args.stage)
    cache = prefix.installer_cache()
    workdir = tempfile.mkdtemp(prefix="pelvaro-msi.")
    try:
        install(prefix, args.msi, workdir)
        expect_installed(prefix, args.stage, expected, [args.version])
        receive(prefix, args, workdir)
        for version, later_msi in args.later:
            install(prefix, later_msi, workdir)
            expect_installed(prefix, args.stage, expected, [version])
        status, _ = prefix.run("msiexec", "/i", windows_path(args.msi), "/qn")
        if status == 0:
            raise Failure("the installer of %s went over %s" % (args.version, version))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    # Fails too where the refused installer took the later version away.
    prefix.must("msiexec /x", "msiexec", "/x", windows_path(later_msi), "/qn")
    left = [trace for trace in prefix.state().traces if trace not in baseline]
    if left:
        raise Failure("after msiexec /x the registry still names us:\n" + "\n".join(left))
    if os.path.exists(prefix.install_dir):
        raise Failure("after msiexec /x %s is still there: %s"
                      % (INSTALL_DIR, files_below(prefix.install_dir)))
    if prefix.installer_cache() != cache:
        raise Failure("after msiexec /x the installer cache holds %s, before %s"
                      % (prefix.installer_cache(), cache))
    print("installed, registered as regsvr32 does, received, upgraded, refused the downgrade, "
          "uninstalled without a trace")


def main():
    args = parse_arguments()
    prefix = Prefix(args)
    prefix.make()
    state = prefix.state()
    if state.machine or state.user or os.path.exists(prefix.install_dir):
        print("leftovers of an earlier run: making the prefix anew")
        prefix.stop_server()
        shutil.rmtree(prefix.path)
        prefix.make()
    # What names us before anything is installed, such as a machine called pelvaro-something.
    baseline = set(prefix.state().traces)
    (per_user if args.scope == "user" else per_machine)(args, prefix, baseline)


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        sys.exit(1)
