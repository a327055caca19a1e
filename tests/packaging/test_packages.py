"""The release packages of one width: the stripped binaries and their debug files, the portable zip, and the
setup program installed, run and uninstalled silently under wine, in a prefix and on an Xvfb display of its own.

    BUILD_DIR=build CALIDRA_ARCH=x64 CALIDRA_VERSION=1.0.0.5 OBJDUMP=x86_64-w64-mingw32-objdump \\
        python3 -m unittest tests/packaging/test_packages.py
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "packaging"))
from calidra_session import WINE, Session  # noqa: E402
import update_signing  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
ARCH = os.environ.get("CALIDRA_ARCH", "x64")
VERSION = os.environ.get("CALIDRA_VERSION", "1.0.0.5")
OBJDUMP = os.environ.get("OBJDUMP", "x86_64-w64-mingw32-objdump")
OBJCOPY = OBJDUMP.replace("objdump", "objcopy")

RELEASE = os.path.join(BUILD, "release")
STAGE = os.path.join(RELEASE, f"Calidra-{VERSION}-{ARCH}")
PORTABLE_ZIP = os.path.join(RELEASE, f"Calidra-{VERSION}-{ARCH}.zip")
DEBUG_ZIP = os.path.join(RELEASE, f"Calidra-{VERSION}-{ARCH}-debug.zip")
SETUP = os.path.join(RELEASE, f"Calidra-Setup-{VERSION}-{ARCH}.exe")
# What the update server serves for this version, signed with the build's test key.
UPDATE_SOFTWARE = os.path.join(RELEASE, "update-server", "display-K", "K1K2", "software")
UPDATE_KEY = os.path.join(BUILD, "update-key", "test-key.pem")

BINARIES = ["Calidra.exe", "CalidraUpdate.exe", "Tessel.dll", "hidapi.dll",
            "Termivox/OpenTermivoxServer.exe", "TermivoxWin7/OpenTermivoxServer.exe"]
SKINS = sorted("skins/theme1/" + n for n in os.listdir(os.path.join(ROOT, "skins", "theme1")))
LICENCES = ["Licenses/" + n + ".txt" for n in ("hidapi", "zlib", "minizip", "OpenSans", "Apache-2.0")]
INSTALL_LAYOUT = sorted(BINARIES + SKINS + LICENCES)
BINARY_NAMES = sorted({os.path.basename(b) for b in BINARIES if b.endswith(".exe")})
PE_MACHINE_X86 = 0x14C
PE_MACHINE = {"x64": 0x8664, "x86": PE_MACHINE_X86}[ARCH]

TASK_NAME = "Kelvaro-DIG StartupTask"
SETTINGS_KEY = r"HKCU\Software\Kelvaro-DIG"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Calidra"


def pe_machine(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if head[offset:offset + 4] != b"PE\0\0":
        raise AssertionError(f"{path} is not a PE image")
    return struct.unpack_from("<H", head, offset + 4)[0]


def section_names(path):
    out = subprocess.run([OBJDUMP, "-h", path], capture_output=True, check=True, timeout=60).stdout.decode()
    return set(re.findall(r"^\s*\d+\s+(\S+)", out, flags=re.M))


class ReleaseFiles(unittest.TestCase):
    """The files of the packages, read without running them."""

    def test_binaries_are_stripped_and_linked_to_their_debug_information(self):
        for relative in BINARIES:
            with self.subTest(relative):
                binary = os.path.join(STAGE, relative)
                debug = binary + ".debug"
                sections = section_names(binary)
                self.assertFalse({s for s in sections if s.startswith(".debug")}, "debug sections left in")
                self.assertIn(".gnu_debuglink", sections)
                self.assertIn(".debug_info", section_names(debug))
                # The link names the file beside the binary and carries its CRC-32, as debuggers check it.
                with tempfile.TemporaryDirectory() as tmp:
                    dumped = os.path.join(tmp, "link")
                    # objcopy rewrites its input unless given an output file.
                    subprocess.run([OBJCOPY, "--dump-section", ".gnu_debuglink=" + dumped, binary,
                                    os.path.join(tmp, "copy")], check=True)
                    with open(dumped, "rb") as f:
                        link = f.read()
                name = link.split(b"\0", 1)[0].decode()
                self.assertEqual(name, os.path.basename(debug))
                with open(debug, "rb") as f:
                    self.assertEqual(struct.unpack_from("<I", link, len(link) - 4)[0], zlib.crc32(f.read()))
                self.assertEqual(pe_machine(binary), PE_MACHINE)

    def test_binaries_import_only_system_dlls_tessel_and_hidapi(self):
        r = subprocess.run([os.path.join(ROOT, "tests", "check_imports.sh"), OBJDUMP,
                            *(os.path.join(STAGE, b) for b in BINARIES)], capture_output=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stdout.decode() + r.stderr.decode())

    def test_portable_zip_holds_the_install_layout_with_the_licences(self):
        with zipfile.ZipFile(PORTABLE_ZIP) as z:
            self.assertEqual(sorted(z.namelist()), INSTALL_LAYOUT)
            self.assertIsNone(z.testzip())
            for relative in BINARIES:
                with open(os.path.join(STAGE, relative), "rb") as f:
                    self.assertEqual(z.read(relative), f.read(), f"{relative} in the zip is not the stripped one")
            self.assertIn(b"Redistribution and use in source and binary forms", z.read("Licenses/hidapi.txt"))
            self.assertIn(b"Apache License", z.read("Licenses/Apache-2.0.txt"))
        with zipfile.ZipFile(DEBUG_ZIP) as z:
            self.assertEqual(sorted(z.namelist()), sorted(b + ".debug" for b in BINARIES))

    def test_setup_program_is_a_program_of_this_width(self):
        # A 64-bit setup program cannot start on 32-bit Windows, where the x64 files would not run either.
        self.assertEqual(pe_machine(SETUP), PE_MACHINE)

    def test_update_server_tree_holds_the_signed_package_for_this_version(self):
        package = f"Software-{VERSION}.zip"
        self.assertEqual(sorted(os.listdir(UPDATE_SOFTWARE)), sorted(["version", package, package + ".sig"]))
        with open(os.path.join(UPDATE_SOFTWARE, "version")) as f:
            self.assertEqual(f.read(), VERSION)
        with zipfile.ZipFile(os.path.join(UPDATE_SOFTWARE, package)) as z, tempfile.TemporaryDirectory() as tmp:
            self.assertEqual(z.namelist(), [f"Software-{VERSION}.exe"])
            # The update installer starts on either width (and runs the setup program that fits).
            self.assertEqual(pe_machine(z.extract(f"Software-{VERSION}.exe", tmp)), PE_MACHINE_X86)
        with open(os.path.join(UPDATE_SOFTWARE, package), "rb") as f:
            statement = update_signing.statement("display-K/K1K2/software/", package, VERSION, f.read())
        with open(os.path.join(UPDATE_SOFTWARE, package + ".sig"), "rb") as f:
            self.assertTrue(update_signing.verify(UPDATE_KEY, statement, f.read()))
        # The shipped update job checks packages against the key that signed them.
        r = subprocess.run([sys.executable, update_signing.__file__, "embedded", UPDATE_KEY,
                            os.path.join(STAGE, "CalidraUpdate.exe")], capture_output=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr.decode())


class PackageSession(Session):
    """A prefix and display with nothing installed: the test installs the product itself."""

    def _lay_out_install(self):
        pass

    def windows_path(self, linux_path):
        """C:\\... for a path inside the prefix's drive C."""
        relative = os.path.relpath(linux_path, os.path.join(self.prefix, "drive_c"))
        return "C:\\" + relative.replace("/", "\\")

    def run(self, *args, timeout=120):
        return subprocess.run([WINE, *args], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout)

    def registry_has(self, key, value=None):
        view = "/reg:64" if ARCH == "x64" else "/reg:32"
        r = self.run("reg", "query", key, *(["/v", value] if value else []), view, timeout=30)
        return r.returncode == 0

    def use_virtual_display(self, folder):
        """The virtual display in place of the real HID library, and the scripted sensor curve."""
        self.install = folder
        shutil.copy2(os.path.join(self.build, "virtual_display", "hidapi.dll"), os.path.join(folder, "hidapi.dll"))
        for server_folder in ("Termivox", "TermivoxWin7"):
            self.write_server_config(server_folder, self.csv_rows)


class SetupUnderWine(unittest.TestCase):
    """Silent install, the installed program at work, silent uninstall, and the portable zip, in that order."""

    s = None

    @classmethod
    def setUpClass(cls):
        if ARCH == "x86":
            r = subprocess.run([WINE, "--can-run-x86"], capture_output=True, text=True)
            if r.returncode != 0:
                raise unittest.SkipTest("the x86 setup program cannot run here: " + r.stdout.strip())
        cls.s = PackageSession(BUILD, os.path.join(BUILD, "packaging-test"), csv_rows=((45, 37),))
        cls.s.start()
        drive_c = os.path.join(cls.s.prefix, "drive_c")
        program_files = "Program Files" if ARCH == "x64" else "Program Files (x86)"
        cls.folder = os.path.join(drive_c, program_files, "Calidra")
        cls.shortcut = os.path.join(drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                    "Calidra.lnk")
        user = next(n for n in os.listdir(os.path.join(drive_c, "users")) if n != "Public")
        cls.user_data = os.path.join(drive_c, "users", user, "AppData", "Local", "Kelvaro-DIG Files")
        cls.task_file = os.path.join(drive_c, "windows", "system32", "tasks", TASK_NAME)

    @classmethod
    def tearDownClass(cls):
        cls.s.stop()

    # ---- helpers ----------------------------------------------------------------------------------------
    def install(self, setup=SETUP):
        r = self.s.run(setup, "/S")
        self.assertEqual(r.returncode, 0, "silent setup failed")

    def uninstall(self, *options):
        """Runs the uninstaller silently and waits until its copy in the temporary folder has finished."""
        self.s.run(os.path.join(self.folder, "Uninstall.exe"), "/S", *options)
        self.assert_removed(self.folder)

    def assert_removed(self, folder):
        finished = self.s.wait_for(lambda: not self.uninstaller_running() and not os.path.exists(folder), 60)
        left = sorted(os.path.relpath(os.path.join(d, n), folder) for d, _, names in os.walk(folder) for n in names)
        self.assertTrue(finished, f"the uninstaller still runs ({self.uninstaller_running()}) or left {left} and "
                                  f"{[n for n in BINARY_NAMES if self.s.processes_named(n)]} running")

    def uninstaller_running(self):
        # The uninstaller copies itself to %TEMP%\~nsu*.tmp\ and runs from there.
        return any(p for p in os.listdir("/proc") if p.isdigit() and self._is_uninstaller(p))

    def _is_uninstaller(self, pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
            with open(f"/proc/{pid}/environ", "rb") as f:
                ours = ("WINEPREFIX=" + self.s.prefix).encode() in f.read()
        except OSError:
            return False
        return ours and "~nsu" in argv0.lower()

    def wait_for_reports(self, more_than):
        def shown():
            k1 = self.s.display_state().get("K1", {})
            return k1 if k1.get("shown") == "045" and int(k1.get("reports", "0")) > more_than else None

        state = self.s.wait_for(shown, 45)
        self.assertTrue(state, f"no report showing 45 °C: {self.s.display_state()}")
        return int(state["reports"])

    def stop_calidra(self):
        for pid in self.s.processes_named("Calidra.exe"):
            os.kill(pid, 9)
        self.s.wait_for(lambda: not self.s.processes_named("Calidra.exe"), 10)

    # ---- the checks, in the order a user meets them -----------------------------------------------------
    def test_01_silent_install_lays_out_the_program_folder(self):
        self.install()
        installed = sorted(os.path.relpath(os.path.join(d, n), self.folder).replace(os.sep, "/")
                           for d, _, names in os.walk(self.folder) for n in names)
        self.assertEqual(installed, sorted(INSTALL_LAYOUT + ["Uninstall.exe"]))
        self.assertTrue(os.path.isfile(self.shortcut), "no start-menu entry")
        self.assertTrue(self.s.registry_has(UNINSTALL_KEY, "QuietUninstallString"), "no uninstall entry")

    def test_02_installed_program_sends_reports_to_the_display(self):
        self.s.use_virtual_display(self.folder)
        self.s.ctl("plug", "K1")
        self.s.start_calidra()
        self.wait_for_reports(0)
        self.assertTrue(self.s.processes_named("OpenTermivoxServer.exe"), "no sensor server")

    def test_03_silent_uninstall_removes_program_and_task_and_keeps_settings(self):
        self.assertEqual(self.s.setting("led_switch"), "1", "the program did not store its light setting")
        os.makedirs(self.user_data, exist_ok=True)
        with open(os.path.join(self.user_data, "Calidra.log"), "w") as f:
            f.write("kept\n")
        # The running program registers the task where the system supports it; make sure one exists.
        task_xml = os.path.join(self.s.prefix, "drive_c", "task.xml")
        with open(task_xml, "w") as f:
            f.write('<?xml version="1.0"?><Task version="1.2" '
                    'xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Actions><Exec>'
                    f"<Command>{self.s.windows_path(self.folder)}\\Calidra.exe</Command></Exec></Actions></Task>")
        self.s.run("schtasks", "/create", "/xml", self.s.windows_path(task_xml), "/tn", TASK_NAME)
        self.assertTrue(os.path.exists(self.task_file), "could not create the task for the test")

        self.uninstall()
        self.assertFalse(self.s.processes_named("Calidra.exe"), "the program still runs")
        self.assertFalse(self.s.processes_named("OpenTermivoxServer.exe"), "the sensor server still runs")
        self.assertFalse(os.path.exists(self.task_file), "the logon task is still registered")
        self.assertFalse(os.path.exists(self.shortcut), "the start-menu entry is still there")
        self.assertFalse(self.s.registry_has(UNINSTALL_KEY), "the uninstall entry is still there")
        self.assertEqual(self.s.setting("led_switch"), "1", "the settings were removed")
        self.assertTrue(os.path.isfile(os.path.join(self.user_data, "Calidra.log")), "the user data were removed")

    def test_04_portable_zip_unpacks_and_runs(self):
        folder = os.path.join(self.s.prefix, "drive_c", "Portable Calidra")
        with zipfile.ZipFile(PORTABLE_ZIP) as z:
            z.extractall(folder)
        self.s.use_virtual_display(folder)
        before = int(self.s.display_state().get("K1", {}).get("reports", "0"))
        self.s.start_calidra()
        self.wait_for_reports(before)
        self.stop_calidra()

    def test_05_update_installer_installs_and_uninstall_removes_settings_when_asked_and_without_a_task(self):
        # The installer of the update server's package runs the setup program it carries, with its arguments.
        updates = os.path.join(self.s.prefix, "drive_c", "update")
        with zipfile.ZipFile(os.path.join(UPDATE_SOFTWARE, f"Software-{VERSION}.zip")) as z:
            installer = z.extract(f"Software-{VERSION}.exe", updates)
        self.install(installer)
        self.assertTrue(os.path.isfile(os.path.join(self.folder, "Calidra.exe")), "the update installed nothing")
        self.assertFalse(os.path.exists(self.task_file))
        self.uninstall("/RemoveSettings")
        self.assertIsNone(self.s.setting("led_switch"), "the settings were kept")
        self.assertFalse(os.path.exists(self.user_data), "the user data folder was kept")

    def test_06_a_folder_chosen_with_d_gets_the_rules_of_program_files(self):
        # A folder every user may change (wine shows the mode bit for others as "Everyone may change it"):
        # the setup program makes it one only administrators can change, so the program registers its
        # logon task from it. The program is uninstalled while its update job waits on a server that never
        # answers: the uninstaller ends the job and still removes the whole folder.
        folder = os.path.join(self.s.prefix, "drive_c", "Tools", "Calidra")
        os.makedirs(folder)
        os.chmod(folder, 0o777)
        r = self.s.run(SETUP, "/S", "/D=C:\\Tools\\Calidra")
        self.assertEqual(r.returncode, 0, "silent setup failed")
        self.assertEqual(os.stat(folder).st_mode & 0o002, 0, "others may still change the install folder")
        self.s.use_virtual_display(folder)
        self.s.set_update_server(self.s.updates.base_url + "_stall/")  # reads each request, never answers
        self.addCleanup(self.s.set_update_server, self.s.updates.base_url)
        self.s.start_calidra()
        started = "started from C:\\Tools\\Calidra\\"
        log = self.s.wait_for(lambda: (lambda t: t[t.rfind(started):] if started in t and "Sensor server started" in
                                       t[t.rfind(started):] else None)(self.s.program_log()), 45)
        self.assertTrue(log, "no start from the chosen folder in the log: " + self.s.program_log())
        self.assertNotIn("not registered or refreshed", log)
        asked = "/_stall/display-K/K1K2/software/version"
        self.assertTrue(self.s.wait_for(lambda: asked in self.s.update_requests()), "no software check began")
        self.assertTrue(self.s.processes_named("CalidraUpdate.exe"), "the update job is not running")
        self.stop_calidra()
        self.s.run(os.path.join(folder, "Uninstall.exe"), "/S")
        self.assert_removed(folder)


if __name__ == "__main__":
    unittest.main()
