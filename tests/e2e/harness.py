"""The test bench: two network namespaces joined by a veth pair, an Xvfb
display and a Wine server inside the client's namespace, scripted time
servers in the other. Nothing can leave the machine: the client's namespace
holds only its loopback and the veth."""
import errno
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CLIENT = "10.37.0.1"
SERVER = "10.37.0.2"     # answers unless told otherwise
SERVER_2 = "10.37.0.3"
THIRD = "10.37.0.4"      # sends from elsewhere during a wait
NO_LISTENER = "10.37.0.5"  # an address with nothing bound on it
XINETD = "10.37.0.6"     # Debian's xinetd, its built-in time service
INETD = "10.37.0.7"      # GNU inetutils inetd, its built-in time service
CHRONY = "10.37.0.8"     # Debian's chronyd, serving SNTP with its clock 90 s ahead
RELAY = "10.37.0.9"      # forwards SNTP, 40 ms late each way (tools/measure)
SERVER_ADDRESSES = [SERVER, SERVER_2, THIRD, NO_LISTENER, XINETD, INETD, CHRONY, RELAY]
# IPv6 beside them: the client, and two servers.
CLIENT6 = "fd37::1"
SERVER6 = "fd37::2"
SERVER6_2 = "fd37::3"
SERVER6_ADDRESSES = [SERVER6, SERVER6_2]
INETUTILS_INETD = "/opt/horavel-peers/inetutils-inetd"  # unpacked by tools/setup
FAKETIME = next(iter(glob.glob("/usr/lib/*/faketime/libfaketime.so.1")), "libfaketime.so.1")
CHRONY_AHEAD = 90  # seconds: libfaketime moves chronyd's clock, not the kernel's
# receive timestamps, which chronyd then sets aside as too far off its own clock
# Neither a daemon nor a client of ours may ever set this machine's clock.
NO_CLOCK_RIGHT = ["setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", "--"]
# Names of the client's hosts file: one address, an IPv6 address alone, and
# both families (their order is the resolver's, which gai.conf sets).
HOST_NAMES = {"timehost.test": [SERVER], "six.test": [SERVER6], "dual.test": [SERVER6, SERVER_2]}

# Wine's loaders, called directly: the `wine` launcher picks the 32-bit one
# whenever wine32 is installed, even for a 64-bit program.
LOADERS = {"x64": "/usr/lib/wine/wine64", "x86": "/usr/lib/wine/wine"}
WINEARCH = {"x64": "win64", "x86": "win32"}
WINE_FONTS = "/usr/share/wine/fonts"


def build(arch):
    """Builds the `arch` program and driver; returns the build folder."""
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    preset = f"windows-{arch}"
    for command in (["cmake", "--preset", preset], ["cmake", "--build", "--preset", preset]):
        subprocess.run(command, cwd=root, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(root, "build", preset)


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options)


def can_run():
    """None when the bench can be built here, else why not."""
    if os.geteuid() != 0:
        return "not root: network namespaces need root"
    for tool in ("ip", "Xvfb", "wineserver"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed (run tools/setup)"
    probe = f"hvprobe{os.getpid()}"
    try:
        run("ip", "netns", "add", probe)
        run("ip", "netns", "del", probe)
    except subprocess.CalledProcessError as error:
        return f"cannot create network namespaces: {error.stderr.strip()}"
    return None


def arch_refused(arch):
    """None when this machine runs the `arch` build under Wine, else why not.
    Decided by running Wine's loader for it: some kernels refuse every i386
    program. HORAVEL_NO_I386=1 acts as such a kernel, to try that path."""
    loader = LOADERS[arch]
    refused = "this kernel cannot execute 32-bit x86 programs"
    if arch == "x86" and os.environ.get("HORAVEL_NO_I386"):
        return refused + " (HORAVEL_NO_I386 is set)"
    try:
        subprocess.run([loader, "--version"], capture_output=True, timeout=60)
    except FileNotFoundError:
        return f"Wine's {arch} loader {loader} is not installed (run tools/setup)"
    except OSError as error:
        return refused if error.errno == errno.ENOEXEC else f"cannot run {loader}: {error}"
    return None


def runnable_arch():
    """The build this machine can run, x64 first: (arch, None), or (None, why not)."""
    why = {arch: arch_refused(arch) for arch in ("x64", "x86")}
    arch = next((a for a, refused in why.items() if refused is None), None)
    return arch, None if arch else "; ".join(f"{a}: {r}" for a, r in why.items())


class Bench:
    def __init__(self, build_dir, arch, display=None, prefix="wineprefix", isolated=True):
        """`arch`: x86 or x64, the build in `build_dir`, each with a Wine prefix of
        its own. `display`: an X display to use instead of a private Xvfb.
        `isolated` False runs everything on this machine's own network
        (tools/demo --public)."""
        self.build_dir = os.path.abspath(build_dir)
        self.arch, self.loader = arch, LOADERS[arch]
        self.isolated = isolated
        self.own_display = display is None
        self.tag = str(os.getpid())
        self.client_ns = f"hvc{self.tag}"
        self.server_ns = f"hvs{self.tag}"
        self.prefix = os.path.join(self.build_dir, "e2e", prefix)
        self.work = tempfile.mkdtemp(prefix="horavel-e2e-")
        self.display = display
        self.processes = []
        self.etc_netns = f"/etc/netns/{self.client_ns}"

    # -- set up and tear down --------------------------------------------------
    def __enter__(self):
        # A run stopped from outside still tears the bench down.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
        try:
            self._make_prefix()
            if self.isolated:
                self._make_network()
            if self.own_display:
                self._start_display()
            self._start_wineserver()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _make_prefix(self):
        # Made once, outside the namespaces (it takes a while); its server is
        # stopped again so that the suite's own starts inside the namespace.
        self._install_fonts()
        if os.path.exists(os.path.join(self.prefix, "system.reg")):
            return
        os.makedirs(self.prefix, exist_ok=True)
        env = self.wine_env(display=False)
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(self.wine("wineboot", "-i"), env=env, timeout=300, **quiet)
        # No window manager runs on Xvfb: with unmanaged windows Wine does
        # not wait for one to confirm each hide and destroy.
        if self.own_display:
            subprocess.run(self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                            "Managed", "/d", "N", "/f"), env=env, timeout=120, **quiet)
        subprocess.run(["wineserver", "-w"], env=env, timeout=120, **quiet)

    def _install_fonts(self):
        # Debian's Wine does not read the fonts of its own data folder (the
        # fonts-wine package): without Marlett the caption buttons show as
        # letters, without Tahoma the boxes are set in another font.
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        for name in os.listdir(WINE_FONTS) if os.path.isdir(WINE_FONTS) else ():
            if name.endswith(".ttf") and not os.path.exists(os.path.join(fonts, name)):
                shutil.copy(os.path.join(WINE_FONTS, name), fonts)

    def _make_network(self):
        a, b = self.links = f"hvc{self.tag}a", f"hvs{self.tag}b"
        run("ip", "netns", "add", self.client_ns)
        run("ip", "netns", "add", self.server_ns)
        run("ip", "link", "add", a, "type", "veth", "peer", "name", b)
        run("ip", "link", "set", a, "netns", self.client_ns)
        run("ip", "link", "set", b, "netns", self.server_ns)
        run("ip", "-n", self.client_ns, "addr", "add", f"{CLIENT}/24", "dev", a)
        for address in SERVER_ADDRESSES:
            run("ip", "-n", self.server_ns, "addr", "add", f"{address}/24", "dev", b)
        # No duplicate address detection: the addresses work at once.
        run("ip", "-n", self.client_ns, "-6", "addr", "add", f"{CLIENT6}/64", "dev", a, "nodad")
        for address in SERVER6_ADDRESSES:
            run("ip", "-n", self.server_ns, "-6", "addr", "add", f"{address}/64", "dev", b, "nodad")
        for ns, dev in ((self.client_ns, a), (self.server_ns, b)):
            run("ip", "-n", ns, "link", "set", "lo", "up")
            run("ip", "-n", ns, "link", "set", dev, "up")
        # The limited broadcast goes out on the veth, whose only other end is
        # the servers' namespace.
        run("ip", "-n", self.client_ns, "route", "add", "255.255.255.255/32", "dev", a)
        # Name resolution of the client's namespace: its own hosts file, and a
        # name server on its loopback where nothing listens, so unknown names fail at once.
        os.makedirs(self.etc_netns, exist_ok=True)
        with open(os.path.join(self.etc_netns, "hosts"), "w") as f:
            f.write("127.0.0.1 localhost\n")
            for name, addresses in HOST_NAMES.items():
                for address in addresses:
                    f.write(f"{address} {name}\n")
        with open(os.path.join(self.etc_netns, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\noptions timeout:1 attempts:1\n")

    def _start_display(self):
        for number in range(90, 190):
            if not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.display = f":{number}"
        xvfb = self.start_in_client(["Xvfb", self.display, "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return
            if xvfb.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("Xvfb did not start")

    def _start_wineserver(self):
        # It forks and lives on: its output must not hold a pipe of ours open.
        subprocess.run(self.in_client(["wineserver", "-p"]),
                       env=self.wine_env(), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        # Wine's own services start with the first program and live on; start
        # them now, so that no test's program shares its output with them.
        subprocess.run(self.in_client(self.wine("wineboot")), env=self.wine_env(),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)
        if os.path.isdir(self.prefix):
            subprocess.run(["wineserver", "-k"], env=self.wine_env(),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.isolated:
            for ns in (self.client_ns, self.server_ns):
                subprocess.run(["ip", "netns", "del", ns], capture_output=True)
            shutil.rmtree(self.etc_netns, ignore_errors=True)
        shutil.rmtree(self.work, ignore_errors=True)

    # -- running things --------------------------------------------------------
    def inside(self, ns, command):
        return (["ip", "netns", "exec", ns] if self.isolated else []) + list(command)

    def wine(self, *command):
        return [self.loader, *command]

    def in_client(self, command):
        return self.inside(self.client_ns, command)

    def wine_env(self, display=True, extra=None):
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("WINE", "DISPLAY", "TZ"))}
        env.update(WINEPREFIX=self.prefix, WINELOADER=self.loader, WINEARCH=WINEARCH[self.arch],
                   WINEDEBUG="-all,err+sync,+eventlog,fixme+advapi",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        if display and self.display:
            env["DISPLAY"] = self.display
        env.update(extra or {})
        return env

    def start_in(self, ns, command, **options):
        process = subprocess.Popen(self.inside(ns, command),
                                   start_new_session=True, **options)
        self.processes.append(process)
        return process

    def start_in_client(self, command, **options):
        return self.start_in(self.client_ns, command, **options)

    def prefer_family(self, first):
        """The resolver's order of a name's addresses for the programs that start from
        now on: "4" or "6" first (the namespace's gai.conf), None: as it comes."""
        path = os.path.join(self.etc_netns, "gai.conf")
        if first is None:
            if os.path.exists(path):
                os.remove(path)
            return
        with open(path, "w") as f:
            f.write("precedence ::ffff:0:0/96 100\n" if first == "4" else
                    "precedence ::/0 100\nprecedence ::ffff:0:0/96 10\n")

    def set_policy(self, values):
        """Group Policy's values for the programs that start from now on (name, or
        subkey\\name: a number or a text); None or {}: none."""
        root = r"HKLM\Software\Policies\Horavel"
        quiet = {"env": self.wine_env(), "capture_output": True, "timeout": 60}
        subprocess.run(self.in_client(self.wine("reg", "delete", root, "/f")), **quiet)
        for name, value in (values or {}).items():
            key, _, value_name = (root + "\\" + name).rpartition("\\")
            kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
            subprocess.run(self.in_client(self.wine("reg", "add", key, "/v", value_name, "/t", kind,
                                                    "/d", str(value), "/f")), check=True, **quiet)

    def start_servers(self, hosts, senders=(), log=None):
        """Starts the scripted servers of `hosts`; returns (process, log path)."""
        log = log or os.path.join(self.work, f"servers-{time.monotonic_ns()}.log")
        open(log, "w").close()
        plan = os.path.join(self.work, f"plan-{time.monotonic_ns()}.json")
        with open(plan, "w") as f:
            json.dump({"log": log, "hosts": hosts, "senders": list(senders)}, f)
        server = self.start_in(self.server_ns,
                               ["python3", os.path.join(os.path.dirname(__file__),
                                                        "timeserver.py"), plan],
                               stdout=subprocess.PIPE, text=True)
        if server.stdout.readline().strip() != "ready":
            raise RuntimeError("time servers did not start")
        return server, log

    def start_peer(self, kind, address):
        """A time server we did not write, listening on `address`: xinetd and
        inetd serve the Time Protocol, chronyd SNTP with its clock CHRONY_AHEAD
        seconds ahead of this machine's (never setting this machine's)."""
        folder = tempfile.mkdtemp(dir=self.work)
        config = os.path.join(folder, "conf")
        port = 37
        if kind == "chrony":
            port = 123
            with open(config, "w") as f:
                f.write(f"local stratum 1\nallow all\nbindaddress {address}\nport 123\n"
                        f"cmdport 0\npidfile {folder}/pid\n")
            command = NO_CLOCK_RIGHT + [
                "env", f"LD_PRELOAD={FAKETIME}", f"FAKETIME=+{CHRONY_AHEAD}",
                "FAKETIME_DONT_FAKE_MONOTONIC=1", "chronyd", "-x", "-d", "-u", "root", "-f", config]
        elif kind == "xinetd":
            with open(config, "w") as f:
                f.write("defaults\n{\n}\nservice time\n{\n\ttype = INTERNAL UNLISTED\n"
                        "\tid = time-dgram\n\tsocket_type = dgram\n\tprotocol = udp\n"
                        f"\twait = yes\n\tuser = root\n\tport = 37\n\tbind = {address}\n"
                        "\tdisable = no\n}\n")
            command = ["xinetd", "-dontfork", "-pidfile", os.path.join(folder, "pid"), "-f", config]
        else:
            with open(config, "w") as f:
                f.write(f"{address}:time dgram udp wait root internal\n")
            command = [INETUTILS_INETD, "-d", config]
        peer = self.start_in(self.server_ns, command, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        for _ in range(100):
            listening = subprocess.run(self.inside(self.server_ns, ["ss", "-Hunl", "src",
                                                                     f"{address}:{port}"]),
                                       capture_output=True, text=True)
            if listening.stdout.strip() and (kind != "chrony" or self._serves_sntp(address)):
                return peer
            time.sleep(0.05)
        raise RuntimeError(f"{kind} did not start on {address}")

    def _serves_sntp(self, address):
        """1 once the server at `address` answers SNTP with a synchronised time."""
        probe = ("import socket,sys;s=socket.socket(2,2);s.settimeout(0.3);"
                 f"s.sendto(b'#'+bytes(47),('{address}',123));d=s.recv(99);"
                 "sys.exit(0 if d[1] and d[0]>>6!=3 else 1)")
        return subprocess.run(self.inside(self.server_ns, ["python3", "-c", probe]),
                              capture_output=True).returncode == 0

    def run_in_client(self, command, timeout=15):
        """A native command in the client's namespace: (exit status, output)."""
        done = subprocess.run(self.in_client(["timeout", str(timeout), *command]), capture_output=True, text=True, env={**os.environ, "TZ": "UTC"})
        return done.returncode, done.stdout + done.stderr

    def stop(self, process):
        try:
            os.killpg(process.pid, signal.SIGKILL)  # its whole group: ip netns exec and below
        except ProcessLookupError:
            pass
        process.wait()
        if process in self.processes:
            self.processes.remove(process)

    def set_dpi(self, dpi):
        """The display's scale for the programs that start from now on; None: the default."""
        key = r"HKCU\Control Panel\Desktop"
        command = (["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
                   if dpi else ["reg", "delete", key, "/v", "LogPixels", "/f"])
        subprocess.run(self.in_client(self.wine(*command)), env=self.wine_env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def install_program(self, ini_text, name="horavel.exe"):
        """A fresh folder with the program and, unless None, its INI file."""
        folder = tempfile.mkdtemp(dir=self.work)
        exe = os.path.join(folder, name)
        os.makedirs(os.path.dirname(exe), exist_ok=True)
        shutil.copy(os.path.join(self.build_dir, "horavel.exe"), exe)
        if ini_text is not None:
            with open(os.path.splitext(exe)[0] + ".ini", "w") as f:
                f.write(ini_text.replace("\r\n", "\n").replace("\n", "\r\n"))
        return exe

    def driver_command(self, exe, arguments=(), driver_options=()):
        driver = os.path.join(self.build_dir, "e2e_driver.exe")
        return self.in_client(self.wine(driver, *driver_options, "--", exe, *arguments))

    def drive(self, exe, arguments=(), driver_options=(), env=None, timeout=90):
        """Runs the program under the driver in the client's namespace.
        Returns (events, wine's standard error). A driver that Wine could not
        start says nothing at all, not even the desktop it found, and one whose
        program Wine never started says nothing after it, not even its own
        timeout (seen once in some hundreds of runs): it is started once more,
        and the reason, if it says nothing again, is in the error."""
        for attempt in range(2):
            events, err = self._drive_once(exe, arguments, driver_options, env, timeout)
            if [e for e in events if e.get("event") != "desktop"]:
                break
            print(f"  the driver said nothing (attempt {attempt + 1}): "
                  f"{err.strip().splitlines()[-3:]}", flush=True)
        return events, err

    def _drive_once(self, exe, arguments, driver_options, env, timeout):
        command = self.driver_command(exe, arguments, driver_options)
        # Files, not pipes: whatever Wine starts on the side may keep a pipe open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            process = subprocess.Popen(command, env=self.wine_env(extra=env), stdout=out,
                                       stderr=err, start_new_session=True)
            self.processes.append(process)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
            self.processes.remove(process)
            out.seek(0)
            err.seek(0)
            out, err = out.read(), err.read()
        events = []
        for line in out.splitlines():
            line = line.strip()
            if line.startswith("{"):
                events.append(json.loads(line))
        return events, err
