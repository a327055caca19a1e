"""A whole Calidra installation running under wine + Xvfb, as a user would have it.

Used by the demo (scripts/demo.py) and the whole-program tests (tests/e2e). A session owns its own Xvfb
display, its own wine prefix and wineserver, and an install folder laid out like a real one, except that the
virtual display stands in for the hardware and the sensor server replays a scripted curve. It also runs a local
HTTPS update server (simulators/update_server/update_server.py), trusted in the prefix and named in the prefix's
machine-wide "UpdateServer" value, which offers nothing newer until told to.

Which stand-in of the virtual display a session uses: STAND_IN_HID (the default) keeps the real hidapi.dll, the
one the release ships, and puts the stand-in hid.dll beneath it; STAND_IN_HIDAPI replaces hidapi.dll with the
stand-in hidapi.dll. The environment variable CALIDRA_VIRTUAL_DISPLAY (hid or hidapi) sets the default.
"""
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "simulators", "update_server"))
sys.path.insert(0, os.path.join(ROOT, "packaging"))
from update_server import UpdateServer  # noqa: E402
import update_tree  # noqa: E402

# The wine + Xvfb set-up that every script shares, and the command that starts a Windows program under wine.
WINE_ENV = os.path.join(ROOT, "scripts", "wine-env.sh")
WINE = os.path.join(ROOT, "scripts", "wine.sh")

# How long a test waits for what should happen before it gives up: far beyond what it takes on a loaded
# machine, so that only a real fault runs into it.
GIVE_UP_S = 30

CALIDRA_TITLE = "Kelvaro-DIG"
SETTINGS_KEY = r"HKCU\Software\Kelvaro-DIG"
MACHINE_KEY = r"HKLM\Software\Kelvaro-DIG"
SOFTWARE_FOLDER = "display-K/K1K2/software"
FIRMWARE_FOLDERS = {"K1": "display-K/K1K2/firmware-K1", "K2": "display-K/K1K2/firmware-K2"}
STAND_IN_HID = "hid"
STAND_IN_HIDAPI = "hidapi"


def _linux_to_wine(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def _is_zombie(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


class Session:
    """build: the CMake build folder; work: a folder this session may fill (emptied first)."""

    def __init__(self, build, work, csv_rows=((45, 37),), period_ms=None, stand_in=None):
        self.stand_in = stand_in or os.environ.get("CALIDRA_VIRTUAL_DISPLAY") or STAND_IN_HID
        if self.stand_in not in (STAND_IN_HID, STAND_IN_HIDAPI):
            raise ValueError(f"no such stand-in of the virtual display: {self.stand_in}")
        self.build = os.path.abspath(build)
        self.work = os.path.abspath(work)
        self.install = os.path.join(self.work, "install")
        self.prefix = None
        self.artefacts = os.path.join(self.work, "artefacts")
        self.csv_rows = csv_rows
        self.period_ms = period_ms
        self.display = None
        self.processes = []
        self.env = None
        self.updates = None
        self.update_root = os.path.join(self.work, "updates")

    # ---- set-up and tear-down -------------------------------------------------------------------------
    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.artefacts)
        self._lay_out_install()
        env = dict(os.environ)
        env.pop("WINEDEBUG", None)
        r = subprocess.run(["bash", WINE_ENV, "up", self.work], env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError(f"wine did not come up in {self.work}:\n{r.stderr}")
        values = dict(line.split("=", 1) for line in r.stdout.splitlines() if "=" in line)
        self.env = dict(os.environ)
        self.env.update(values)
        self.env.pop("LC_ALL", None)
        self.env.pop("WINEPATH", None)
        self.prefix = values["WINEPREFIX"]
        self.display = values["DISPLAY"]
        try:
            # Windows runs the Task Scheduler from boot; wine would start it at Calidra's first registration,
            # which then takes a second instead of a tenth.
            devnull = subprocess.DEVNULL
            subprocess.run([WINE, "net", "start", "schedule"], env=self.env, stdin=devnull, stdout=devnull,
                           stderr=devnull)
            self._start_update_server()
        except BaseException:
            self.stop()
            raise

    def stop(self):
        for p in self.processes:
            if p.poll() is None:
                p.kill()
        if self.env:
            subprocess.run(["bash", WINE_ENV, "down"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for p in self.processes:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        self.processes = []
        if self.updates:
            self.updates.stop()
            self.updates = None
        if self.env:
            # The X server is not this process's child: wait until it has gone.
            xvfb = self.env["XVFB_PID"]
            self.wait_for(lambda: not os.path.exists(f"/proc/{xvfb}") or _is_zombie(xvfb), 10, 0.1)
            self.env = None

    def _lay_out_install(self):
        out = os.path.join(self.build, "out")
        shutil.copytree(out, self.install)
        stand_in = os.path.join(self.build, "virtual_display", self.stand_in + ".dll")
        shutil.copy2(stand_in, os.path.join(self.install, self.stand_in + ".dll"))
        for folder in ("Termivox", "TermivoxWin7"):
            self.write_server_config(folder, self.csv_rows, self.period_ms)

    def write_server_config(self, folder, rows, period_ms=None):
        base = os.path.join(self.install, folder)
        with open(os.path.join(base, "curve.csv"), "w") as f:
            f.write("# temperature, second reading\n")
            for t, s in rows:
                f.write(f"{t}, {s}\n")
        with open(os.path.join(base, "OpenTermivoxServer.ini"), "w") as f:
            f.write("source = csv\ncsv = curve.csv\n")
            if period_ms:
                f.write(f"period_ms = {period_ms}\n")

    # ---- the update server -------------------------------------------------------------------------------
    def _start_update_server(self):
        self.reset_updates()
        self.updates = UpdateServer(self.update_root, os.path.join(self.work, "update-server")).start()
        code, _ = self.tool(os.path.join("tests", "TrustCertificate.exe"), _linux_to_wine(self.updates.der))
        if code != 0:
            raise RuntimeError("the update server's certificate could not be trusted in the prefix")
        self.set_update_server(self.updates.base_url)

    def set_update_server(self, url):
        """Names the update server in the prefix's machine-wide value, as an administrator would."""
        subprocess.run([WINE, "reg", "add", MACHINE_KEY, "/v", "UpdateServer", "/t", "REG_SZ", "/d", url, "/f",
                        "/reg:64"],
                       env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=30, check=True)

    def reset_updates(self):
        """Nothing newer on the server: what the build's release serves for the running version (the tree
        packaging/update_tree.py lays out in <build>/release/update-server/, as scripts/release.sh does), and no
        firmware is offered."""
        shutil.rmtree(self.update_root, ignore_errors=True)
        shutil.copytree(os.path.join(self.build, "release", "update-server"), self.update_root)

    def offer_software(self, version, installer=None):
        """Offers software version; installer (a Windows program's path) becomes its package's installer, laid out
        and signed as a release is (packaging/update_tree.py), with the build's test key."""
        if installer:
            update_tree.lay_out(self.update_root, "software", version, installer,
                                os.path.join(self.build, "update-key", "test-key.pem"))
        else:
            self._put(f"{SOFTWARE_FOLDER}/version", version)

    def offer_firmware(self, model, version):
        self._put(f"{FIRMWARE_FOLDERS[model]}/version", version)

    def update_requests(self):
        """The paths the update server was asked for, exactly as sent."""
        return self.updates.requests() if self.updates else []

    def _put(self, relative, text):
        path = os.path.join(self.update_root, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)

    # ---- programs -------------------------------------------------------------------------------------
    def start_program(self, relative, args=(), extra_env=None, stderr_path=None):
        """stderr_path: a file that receives the program's standard error (wine's traces), else discarded."""
        env = dict(self.env)
        env.update(extra_env or {})
        stderr = open(stderr_path, "ab") if stderr_path else subprocess.DEVNULL
        try:
            p = subprocess.Popen([WINE, os.path.join(self.install, relative), *args], env=env,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
        finally:
            if stderr_path:
                stderr.close()
        self.processes.append(p)
        return p

    def start_calidra(self, extra_env=None, stderr_path=None):
        return self.start_program("Calidra.exe", extra_env=extra_env, stderr_path=stderr_path)

    def tool(self, relative_to_build, *args, timeout=30):
        """Runs a Windows tool from the build folder in this prefix and returns (exit code, stdout)."""
        r = subprocess.run([WINE, os.path.join(self.build, relative_to_build), *args], env=self.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        return r.returncode, r.stdout.decode("utf-8", "replace").replace("\r", "")

    def ctl(self, *args, timeout=30):
        return self.tool(os.path.join("virtual_display", "VirtualDisplayCtl.exe"), *args, timeout=timeout)

    def display_state(self):
        """{"K1": {...}, "K2": {...}} parsed from the control program's state lines."""
        _, text = self.ctl("state")
        states = {}
        for line in text.splitlines():
            parts = line.split()
            if not parts:
                continue
            states[parts[0]] = dict(p.split("=", 1) for p in parts[1:] if "=" in p)
        return states

    def wait_for(self, predicate, timeout=GIVE_UP_S, interval=0.2):
        """The scripts' one way to wait for something to happen: the first true value of predicate(), or its
        last value once timeout seconds have passed."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() >= deadline:
                return value
            time.sleep(interval)

    def processes_named(self, name):
        """Linux pids of this session's wine processes running an executable of that name (any letter case)."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
                with open(f"/proc/{entry}/environ", "rb") as f:
                    environ = f.read()
            except OSError:
                continue
            if argv0.replace("\\", "/").lower().endswith("/" + name.lower()) and \
                    ("WINEPREFIX=" + self.prefix).encode() in environ:
                pids.append(int(entry))
        return pids

    def machine_folder(self):
        """Calidra's machine-wide folder in the prefix (its logs, and the folder each update runs from)."""
        return os.path.join(self.prefix, "drive_c", "ProgramData", "Kelvaro-DIG")

    def program_log(self):
        """The text of the user's Calidra log in the prefix's machine-wide folder ("" while there is none)."""
        paths = glob.glob(os.path.join(self.machine_folder(), "Logs", "Calidra-S-*.log"))
        if not paths:
            return ""
        with open(paths[0], encoding="utf-8", errors="replace") as f:
            return f.read()

    # ---- registry -------------------------------------------------------------------------------------
    def setting(self, name):
        r = subprocess.run([WINE, "reg", "query", SETTINGS_KEY, "/v", name], env=self.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        m = re.search(name + r"\s+REG_SZ\s+(\S*)", r.stdout.decode("utf-8", "replace"))
        return m.group(1) if m else None

    # ---- the X display ----------------------------------------------------------------------------------
    def xdotool(self, *args):
        r = subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                           capture_output=True, timeout=30)
        return r.stdout.decode().strip()

    def window(self, name):
        """(x, y, width, height) of the visible X window with that title, or None."""
        return self._geometry(self.xdotool("search", "--onlyvisible", "--name", "^" + re.escape(name) + "$"))

    def popup_menu(self, program="Calidra.exe"):
        """(x, y, width, height) of a menu the program shows (a visible X window of it without a title), or
        None."""
        ids = self.xdotool("search", "--onlyvisible", "--classname", "^" + re.escape(program.lower()) + "$")
        return self._geometry(" ".join(i for i in ids.split() if not self.xdotool("getwindowname", i)))

    def _geometry(self, window_ids):
        ids = window_ids.split()
        if not ids:
            return None
        geometry = self.xdotool("getwindowgeometry", "--shell", ids[-1])
        values = dict(l.split("=", 1) for l in geometry.splitlines() if "=" in l)
        if not all(k in values for k in ("X", "Y", "WIDTH", "HEIGHT")):
            return None  # it went away meanwhile
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y, button=1):
        # With the pointer already there, "mousemove --sync" waits 15 s for a motion that never comes.
        if self.xdotool("getmouselocation", "--shell").splitlines()[:2] != [f"X={x}", f"Y={y}"]:
            self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", str(button))

    def click_panel(self, x, y):
        w = self.window(CALIDRA_TITLE)
        if not w:
            raise AssertionError("the panel is not on screen")
        self.click(w[0] + x, w[1] + y)

    def click_tray_icon(self, button=1):
        # The icon comes a moment after the program has started.
        tray = self.wait_for(lambda: self.window("Wine System Tray"))
        if not tray:
            raise AssertionError("the notification area is not on screen")
        self.click(tray[0] + 10, tray[1] + 10, button)

    def screenshot(self, name):
        path = os.path.join(self.artefacts, name + ".png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], capture_output=True, timeout=30)
        return path

    def key(self, *keys):
        self.xdotool("key", *keys)
