#!/usr/bin/env python3
"""The Debian package on this machine, as root (the machine is throwaway):

    package_test.py build     SOURCE_DIR PACKAGE_DIR   scripts/make-deb into PACKAGE_DIR
    package_test.py lifecycle SOURCE_DIR PACKAGE_DIR   classic install moved, install,
                                                       server answers, upgrade keeps the
                                                       data, remove keeps it, purge
                                                       leaves the machine as it was
    package_test.py lintian   SOURCE_DIR PACKAGE_DIR   no errors, no unexplained warnings

Exits 77 (skip) with a reason where the machine cannot run it."""
import contextlib
import glob
import hashlib
import os
import pathlib
import plistlib
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts"))
import corvane_request  # noqa: E402  the demo's wire encoder

SKIP = 77
SERVER = "/usr/lib/corvane5/Corvane 5 Server"
DATA = "/var/lib/corvane5"
SETTINGS = os.path.join(DATA, "settings.plist")
STATS = os.path.join(DATA, "stats.plist")
PREFS = "/etc/corvane5/com.quarlant.corvane5.plist"
HOST_PREFS = "/etc/corvane5/ByHost/com.quarlant.corvane5.plist"
DROPIN = "/etc/systemd/system/corvane5-server.service.d/local-mode.conf"
CLASSIC = "/Library/Application Support/Corvane 5"
CLASSIC_PREFS = "/Library/Preferences/com.quarlant.corvane5.plist"
CLASSIC_HOST_PREFS = "/Library/Preferences/ByHost/com.quarlant.corvane5.plist"
CLASSIC_UNIT = "/etc/systemd/system/com.quarlant.corvane5server.service"
CLASSIC_AUTOSTART = "/etc/xdg/autostart/com.quarlant.corvane5login.desktop"
CLASSIC_LINK = "/etc/systemd/system/multi-user.target.wants/com.quarlant.corvane5server.service"

# Where the layout puts the package's own files.
LAYOUT = [SERVER, "/usr/lib/corvane5/Corvane 5 Login Item", "/usr/bin/c5engine",
          "/usr/bin/c5admin", "/usr/bin/Corvane_5_install_tool",
          "/lib/systemd/system/corvane5-server.service",
          "/etc/xdg/autostart/corvane5-agent.desktop",
          "/usr/share/locale/en/LC_MESSAGES/corvane5.mo",
          "/usr/share/man/man8/corvane5-server.8.gz", "/usr/share/man/man1/c5admin.1.gz",
          DATA, "/var/log/corvane5"]

# Files the machine changes on its own while the test runs (package
# manager state, other tests' accounts), left out of the before/after list.
VOLATILE = re.compile(r"^/var/lib/(dpkg|apt|PackageKit)/|^/var/log/(apt/|dpkg\.log|alternatives\.log)|"
                      r"^/etc/(passwd|shadow|group|gshadow|subuid|subgid)-$|^/etc/\.pwd\.lock$|"
                      r"^/etc/ld\.so\.cache$|^/var/mail/|^/var/spool/")
LISTED = ["/etc", "/usr", "/lib", "/opt", "/srv", "/var/lib", "/var/log", "/Library"]


def skip(reason):
    print(f"SKIP: {reason}")
    sys.exit(SKIP)


def check(condition, message):
    if not condition:
        print(f"FAIL: {message}")
        sys.exit(1)


def run(*command, env=None):
    done = subprocess.run(command, text=True, capture_output=True, env=env)
    check(done.returncode == 0,
          f"{' '.join(command)} exited {done.returncode}\n{done.stdout}\n{done.stderr}")
    return done.stdout


def apt(*arguments):
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    return run("apt-get", "-y", "-q", "--no-install-recommends", "-o", "Dpkg::Use-Pty=0",
               *arguments, env=env)


def sha(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def read_plist(path):
    return plistlib.loads(pathlib.Path(path).read_bytes())


def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pathlib.Path(path).write_bytes(data)


def file_list():
    found = set()
    for top in LISTED:
        for folder, folders, files in os.walk(top):
            found.update(os.path.join(folder, name) for name in folders + files)
    return {path for path in found if not VOLATILE.search(path)}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def the_deb(package_dir):
    debs = sorted(glob.glob(os.path.join(package_dir, "corvane5_*_*.deb")))
    if not debs:
        skip("no package was built (package.build skipped)")
    return debs[-1]


def need_root_machine():
    if os.geteuid() != 0:
        skip("needs root on a throwaway machine: it installs and purges a package")
    if shutil.which("apt-get") is None or shutil.which("dpkg-buildpackage") is None:
        skip("needs apt-get and dpkg-dev")


def build(source_dir, package_dir):
    need_root_machine()
    missing = subprocess.run(["dpkg-checkbuilddeps"], cwd=source_dir, text=True,
                             capture_output=True)
    if missing.returncode != 0:
        skip(f"build dependencies missing (scripts/install-deps): {missing.stderr.strip()}")
    for old in glob.glob(os.path.join(package_dir, "corvane5*.deb")):
        os.remove(old)
    run(os.path.join(source_dir, "scripts/make-deb"), package_dir)
    return 0


def ask(port, command, *args, before=()):
    """The reply to one request; `before` are requests sent first on the
    same connection, which stays open until the reply: the server asks the
    kernel who owns a connection and refuses changes from a closed one."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
        for earlier in before:
            sock.sendall(corvane_request.request(earlier[0], list(earlier[1:])))
        sock.sendall(corvane_request.request(command, list(args)))
        length = int.from_bytes(corvane_request.receive_exactly(sock, 4), "big")
        return plistlib.loads(corvane_request.receive_exactly(sock, length))


@contextlib.contextmanager
def serving(arguments, port):
    """The service's own command line, started by hand (systemd is not PID
    1), answering on `port` until the block ends."""
    env = dict(os.environ, CORVANE_LOOPBACK_ONLY="1")
    server = subprocess.Popen(arguments, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                check(server.poll() is None, f"the server exited with {server.returncode}")
                time.sleep(0.1)
        else:
            check(False, f"the installed server does not answer on port {port}")
        yield
    finally:
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def command_of(units):
    """The last ExecStart= of a unit and its drop-ins, split as systemd does
    for double-quoted words."""
    lines = []
    for path in filter(os.path.exists, units):
        lines += [line[len("ExecStart="):] for line in pathlib.Path(path).read_text().splitlines()
                  if line.startswith("ExecStart=") and line != "ExecStart="]
    words = re.findall(r'"([^"]*)"|(\S+)', lines[-1]) if lines else []
    return [quoted or bare for quoted, bare in words]


def preseed(account, location, address=""):
    answers = (f"corvane5 corvane5/non-watched-account string {account}\n"
               f"corvane5 corvane5/server-location select {location}\n"
               f"corvane5 corvane5/server-address string {address}\n")
    subprocess.run(["debconf-set-selections"], input=answers, text=True, check=True)


def plant_classic_install(port):
    """A machine set up with the install tool (data, preferences, unit,
    autostart entry); returns the data's hashes by where the package moves it."""
    settings = {"kid": {"org.example.game": {"Credit": 15, "Enabled": True}}}
    stats = {"kid": {"org.example.game": {"Stats": {"7-12-2026": 42}}}}
    put(os.path.join(CLASSIC, "settings.plist"), plistlib.dumps(settings))
    put(os.path.join(CLASSIC, "stats.plist"), plistlib.dumps(stats))
    put(os.path.join(CLASSIC, "BuildNumber"), b"570\r")
    put(CLASSIC_PREFS, plistlib.dumps({"Admin group": "sudo"}))
    put(CLASSIC_HOST_PREFS, plistlib.dumps({"Use custom port": "1", "Custom port": str(port)}))
    for path in (CLASSIC_UNIT, CLASSIC_AUTOSTART):
        put(path, b"# classic\n")
    os.makedirs(os.path.dirname(CLASSIC_LINK), exist_ok=True)
    os.symlink(CLASSIC_UNIT, CLASSIC_LINK)
    return {path: sha(os.path.join(CLASSIC, os.path.basename(path))) for path in (SETTINGS, STATS)}


def bumped(deb, folder):
    """The same package as a newer version, to install over the first."""
    tree = os.path.join(folder, "tree")
    run("dpkg-deb", "-R", deb, tree)
    control = pathlib.Path(tree, "DEBIAN/control")
    text = control.read_text()
    version = re.search(r"^Version: (.*)$", text, re.M).group(1)
    control.write_text(text.replace(f"Version: {version}", f"Version: {version}+1"))
    out = os.path.join(folder, f"corvane5_{version}+1_amd64.deb")
    run("dpkg-deb", "--root-owner-group", "-b", tree, out)
    return out, version + "+1"


def lifecycle(source_dir, package_dir):
    need_root_machine()
    deb = the_deb(package_dir)
    if subprocess.run(["avahi-daemon", "--check"], capture_output=True).returncode != 0:
        skip("no avahi-daemon runs (scripts/test-env start), so the server cannot listen")
    if os.path.exists("/var/lib/dpkg/info/corvane5.list"):
        apt("purge", "corvane5")
    check(not os.path.exists("/Library"), "/Library exists before the test; cannot compare")
    before = file_list()
    port = free_port()

    # Install over a classic install: its data and preferences move byte
    # for byte, its unit and autostart entry go.
    classic = plant_classic_install(port)
    preseed("parent1", "local")
    apt("install", deb)
    for path in LAYOUT:
        check(os.path.exists(path), f"{path} is missing")
    check(os.stat(SERVER).st_mode & 0o6000 == 0, "the server is set-user-id or set-group-id")
    for path, digest in classic.items():
        check(sha(path) == digest, f"{path} did not move byte for byte")
    classic_paths = ("/Library", CLASSIC_UNIT, CLASSIC_AUTOSTART, CLASSIC_LINK)
    check(not any(map(os.path.lexists, classic_paths)), "the classic install was not removed")
    host_prefs = read_plist(HOST_PREFS)
    check(host_prefs.get("Custom port") == str(port), f"ByHost preferences lost: {host_prefs}")
    check(host_prefs.get("Non-watched account") == "parent1", "debconf account not stored")
    check(host_prefs.get("Configuration") == 0, f"Configuration {host_prefs.get('Configuration')}")
    check(read_plist(PREFS).get("Non-watched account") == "parent1", "agent's account not stored")
    check(read_plist(PREFS).get("Admin group") == "sudo", "classic preferences lost")
    check(not os.path.exists(DROPIN), "a local-mode drop-in for a server on this machine")
    check(os.path.islink("/etc/systemd/system/multi-user.target.wants/corvane5-server.service"),
          "the service is not enabled")

    # The service's command line serves the moved data; "local" keeps it out
    # of the DNS-SD browsing of other tests on this shared machine.
    command = command_of(["/lib/systemd/system/corvane5-server.service"])
    check(command == [SERVER, "Corvane 5 Server"], f"service command line {command}")
    with serving(command + ["local"], port):
        check(ask(port, "GetCredit", "kid", "org.example.game").get("Credit") == 15,
              "the server does not serve the moved settings")
        save = ("SaveCredit", "kid", "org.example.game", "Credit=37", "Enabled=1")
        check(ask(port, "GetCredit", "kid", "org.example.game", before=[save]).get("Credit") == 37,
              "SaveCredit from root was not applied")
    check("Server running" in pathlib.Path("/var/log/corvane5/ServerLog.log").read_text(),
          "no server log in /var/log/corvane5")

    # A newer version over it keeps the data; the server elsewhere now.
    kept = {path: sha(path) for path in (SETTINGS, STATS)}
    with tempfile.TemporaryDirectory(dir=package_dir) as folder:
        newer, version = bumped(deb, folder)
        preseed("parent1", "remote", f"127.0.0.1:{port}")
        apt("install", newer)
    check(run("dpkg-query", "-W", "-f=${Version}", "corvane5") == version, "not upgraded")
    for path in (SETTINGS, STATS):
        check(sha(path) == kept[path], f"the upgrade changed {path}")
    check(read_plist(PREFS).get("Server address") == f"127.0.0.1:{port}", "no Server address")
    check(read_plist(HOST_PREFS).get("Configuration") == 2, "Configuration not 2 for remote")
    command = command_of(["/lib/systemd/system/corvane5-server.service", DROPIN])
    check(command == [SERVER, "Corvane 5 Server", "local"], f"remote command line {command}")
    with serving(command, port):
        check(ask(port, "GetCredit", "kid", "org.example.game").get("Credit") == 37,
              "the upgrade lost the saved credit")

    # Removal keeps the data; purge takes everything.
    apt("remove", "corvane5")
    check(sha(SETTINGS) == kept[SETTINGS], "remove did not keep the data")
    apt("purge", "corvane5")
    after = file_list()
    check(before == after, "purge left or took files:\n" +
          "\n".join(sorted(f"+ {p}" for p in after - before) +
                    sorted(f"- {p}" for p in before - after)))
    check("corvane5/" not in run("debconf-show", "corvane5"), "debconf answers survive purge")
    print("package installed, served, upgraded and purged")
    return 0


# Warnings the package gives on purpose, each explained in the package notes.
EXPLAINED = {
    # The preinst stops and disables the unit the install tool made for a
    # classic install, which debhelper's helpers know nothing of.
    "maintainer-script-calls-systemctl",
}


def lintian(source_dir, package_dir):
    if shutil.which("lintian") is None:
        skip("lintian is not installed")
    deb = the_deb(package_dir)
    out = subprocess.run(["lintian", "--no-tag-display-limit", deb], text=True,
                         capture_output=True).stdout
    print(out)
    faults = [line for line in out.splitlines()
              if line[:2] in ("E:", "W:") and line.split()[2] not in EXPLAINED]
    check(not faults, "lintian: " + "\n".join(faults))
    return 0


if __name__ == "__main__":
    step, source, package = sys.argv[1:4]
    sys.exit({"build": build, "lifecycle": lifecycle, "lintian": lintian}[step](source, package))
