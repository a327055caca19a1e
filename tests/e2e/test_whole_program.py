"""Whole-program tests: Calidra.exe installed as a user would have it (with the virtual display beneath the real
hidapi.dll and the sensor server replaying a scripted curve), driven through the X server like a person would.
CALIDRA_VIRTUAL_DISPLAY=hidapi runs them with the stand-in hidapi.dll in the real one's place instead.

    python3 -m unittest tests/e2e/test_whole_program.py     (BUILD_DIR in the environment, default build/)

Screenshots of each step stay in BUILD_DIR/e2e/artefacts/.
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, HERE)
from calidra_session import CALIDRA_TITLE, STAND_IN_HID, Session  # noqa: E402
from panel_without_mouse import PanelWithoutMouse  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
SERVER = "OpenTermivoxServer.exe"
SCREEN_W, SCREEN_H = 1024, 768
PROBE = os.path.join(BUILD, "tests", "ServerProbe.exe")  # records its command line in CALIDRA_PROBE_LOG
INSTALLER = os.path.join(BUILD, "tests", "InstallerProbe.exe")  # records how it was started, likewise


def read_text(png):
    """The text in a screenshot region, read by OCR after enlarging it."""
    big = png[:-4] + "-big.png"
    subprocess.run(["convert", png, "-colorspace", "Gray", "-resize", "400%", big], check=True, timeout=30)
    r = subprocess.run(["tesseract", big, "-", "--psm", "6"], capture_output=True, timeout=60)
    text = r.stdout.decode("utf-8", "replace")
    # OCR reads a lone "1" before a word as "|", "l" or "I".
    return re.sub(r"(^|\s)[|lI](?= Device)", r"\g<1>1", text, flags=re.M)


def read_utf16(path):
    """What a probe wrote there (UTF-16), or "" when there is no such file yet."""
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-16-le")
    except OSError:
        return ""


def installer_runs(path):
    """The installer probe's records: one {"command": ..., "folder": ..., "temp": ..., "beside": ...} a start."""
    runs = []
    for block in read_utf16(path).split("\n\n"):
        fields = dict(line.split(": ", 1) for line in block.splitlines() if ": " in line)
        if fields:
            runs.append(fields)
    return runs


class WholeProgram(PanelWithoutMouse, unittest.TestCase):
    s = None
    calidra = None

    @classmethod
    def setUpClass(cls):
        cls.s = Session(BUILD, os.path.join(BUILD, "e2e"), csv_rows=((45, 37),))
        cls.s.start()
        cls.s.ctl("plug", "K1")
        cls.started_at = time.monotonic()
        cls.calidra = cls.s.start_calidra()

    @classmethod
    def tearDownClass(cls):
        cls.s.stop()

    # ---- helpers ----------------------------------------------------------------------------------------
    def k(self, name="K1"):
        return self.s.display_state().get(name, {})

    def wait_shown(self, timeout=3.0, display="K1", **expected):
        def matches():
            state = self.k(display)
            return state if all(state.get(key) == value for key, value in expected.items()) else None

        state = self.s.wait_for(matches, timeout)
        self.assertTrue(state, f"{display} did not show {expected} within {timeout} s: {self.k(display)}")
        return state

    def reports(self, display="K1"):
        return int(self.k(display).get("reports", "0"))

    def ensure_running(self):
        if self.calidra is None or self.calidra.poll() is not None:
            type(self).calidra = self.s.start_calidra()
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE), 30), "no panel on screen")
        # The panel shows from its creation; the icon follows once the start-up has registered the logon task.
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray"), 10), "no tray icon")

    def exit_through_menu(self):
        self.open_tray_menu()
        self.s.key("Up", "Return")  # the last item, "Exit"
        self.assertEqual(self.calidra.wait(timeout=20), 0)

    def open_tray_menu(self):
        self.s.click_tray_icon(button=3)
        time.sleep(1.0)

    def shell_event(self, event):
        code, _ = self.s.tool(os.path.join("tests", "ShellEvents.exe"), event)
        self.assertEqual(code, 0, f"ShellEvents {event} failed")

    def opens(self, display="K1"):
        """How often the vendor interface of the display has been opened."""
        return int(self.k(display).get("opens", "0/0").split("/")[0])

    def status_line(self, name):
        """The panel's status line (right of the title), read by OCR."""
        x, y, _, _ = self.s.window(CALIDRA_TITLE)
        shot = self.s.screenshot(name)
        region = shot[:-4] + "-status.png"
        subprocess.run(["convert", shot, "-crop", f"212x24+{x + 140}+{y + 16}", "+repage", "-negate", region],
                       check=True, timeout=30)
        big = region[:-4] + "-big.png"
        subprocess.run(["convert", region, "-colorspace", "Gray", "-resize", "400%", big], check=True, timeout=30)
        r = subprocess.run(["tesseract", big, "-", "--psm", "7"], capture_output=True, timeout=60)
        return r.stdout.decode("utf-8", "replace").strip()

    def wait_status(self, pattern, name, timeout=6.0):
        text = self.s.wait_for(lambda: (lambda t: t if re.search(pattern, t) else None)(self.status_line(name)),
                               timeout, interval=0.5)
        self.assertTrue(text, f"the status line never matched {pattern!r}: {self.status_line(name)!r}")

    def message_box(self, timeout=20):
        """(x, y, w, h) of the program's message box once it has been centred, or None."""
        return self.s.wait_for(lambda: (self.s.window("MessageBox") or (0, 0))[0] > 0 and self.s.window("MessageBox"),
                               timeout)

    def message_box_ids(self):
        return self.s.xdotool("search", "--onlyvisible", "--name", "^MessageBox$").split()

    def box_text(self, box, name):
        shot = self.s.screenshot(name)
        region = shot[:-4] + "-box.png"
        subprocess.run(["convert", shot, "-crop", f"380x200+{box[0]}+{box[1]}", "+repage", region], check=True)
        return read_text(region)

    def restart_with_probe_log(self):
        """Calidra started afresh, with the probe's log (for an installer that is the probe) in its environment."""
        if self.calidra is not None and self.calidra.poll() is None:
            self.ensure_running()
            self.wait_shown(timeout=10, display="K1")  # up and running, its tray icon too
            self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray"), 10), "no tray icon")
            self.exit_through_menu()
        log = os.path.join(self.s.work, "installer.log")
        if os.path.exists(log):
            os.remove(log)
        type(self).calidra = self.s.start_calidra(extra_env={"CALIDRA_PROBE_LOG": "Z:" + log.replace("/", "\\")})
        return log

    def focus_panel(self):
        # Without a window manager a click does not move the X keyboard focus: give it to the panel as one would.
        panel = self.s.xdotool("search", "--onlyvisible", "--name", "^" + CALIDRA_TITLE + "$").split()[-1]
        self.s.xdotool("windowfocus", "--sync", panel)

    def log_of_this_run(self):
        """The program log from the last start on."""
        log = self.s.program_log()
        return log[log.rfind(" started from "):] if " started from " in log else ""

    def menu_text(self, name):
        tray = self.s.window("Wine System Tray")
        shot = self.s.screenshot(name)
        region = shot[:-4] + "-menu.png"
        x, y = tray[0] + 10, tray[1] + 10  # the menu opens at the cursor
        subprocess.run(["convert", shot, "-crop", f"240x90+{x}+{y}", "+repage", region], check=True, timeout=30)
        return read_text(region)

    # ---- the checks, in the order a user meets them -----------------------------------------------------
    def test_01_display_shows_the_scripted_readings_within_3_seconds(self):
        self.wait_shown(timeout=max(0.5, 3.0 - (time.monotonic() - self.started_at)), shown="045", second="037",
                        unit="C", light="on")
        self.ensure_running()
        self.s.screenshot("01-started")
        if self.s.stand_in == STAND_IN_HID:
            self.assertTrue(filecmp.cmp(os.path.join(self.s.install, "hidapi.dll"),
                                        os.path.join(BUILD, "out", "hidapi.dll"), shallow=False),
                            "the installed hidapi.dll is not the one the build ships")

    def test_02_unit_switch_converts_and_is_stored(self):
        self.ensure_running()
        self.s.click_panel(250, 160)
        self.wait_shown(shown="113", unit="F", second="037")
        self.assertEqual(self.s.setting("tempe_type"), "1")
        self.s.screenshot("02-fahrenheit")
        self.s.click_panel(250, 160)
        self.wait_shown(shown="045", unit="C")
        self.assertEqual(self.s.setting("tempe_type"), "0")

    def test_03_light_switch_blanks_the_digits_and_is_stored(self):
        self.ensure_running()
        self.s.click_panel(250, 100)
        self.wait_shown(shown="000", second="000", light="off")
        _, log = self.s.ctl("log")
        last = [l for l in log.splitlines() if " K1 report " in l][-1].split()
        self.assertEqual(last[4:7], ["length=65", "wire=65", "result=65"])
        self.assertEqual(last[7:15], ["07", "00", "00", "00", "00", "00", "00", "00"])
        self.assertEqual(self.s.setting("led_switch"), "2")
        self.s.screenshot("03-light-off")
        self.s.click_panel(250, 100)
        self.wait_shown(shown="045", light="on")
        self.assertEqual(self.s.setting("led_switch"), "1")

    def test_04_close_hides_and_tray_click_brings_the_panel_back(self):
        self.ensure_running()
        self.s.click_panel(370, 25)
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None, 5), "panel still shown")
        self.s.screenshot("04-hidden")
        self.s.click_tray_icon()
        geometry = self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE), 5)
        self.assertEqual(geometry, (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.s.screenshot("04-shown-again")

    def test_05_tray_menu_counts_displays_and_both_get_reports(self):
        self.ensure_running()
        self.open_tray_menu()
        text = self.menu_text("05-menu-one")
        self.s.key("Escape")
        self.assertIn("Version: 1.0.0.5", text)
        self.assertIn("1 Device", text)

        self.s.ctl("plug", "K2")
        self.wait_shown(display="K2", timeout=5, shown="045")
        k1_before = self.reports("K1")
        time.sleep(2.5)
        self.assertGreater(self.reports("K1"), k1_before, "K1 stopped getting reports after K2 arrived")
        self.open_tray_menu()
        text = self.menu_text("05-menu-two")
        self.s.key("Escape")
        self.assertIn("2 Device", text)

        self.s.ctl("unplug", "K1")
        time.sleep(1.2)  # one refresh at most
        k1_after_unplug = self.reports("K1")
        k2_after_unplug = self.reports("K2")
        time.sleep(2.5)
        self.assertEqual(self.reports("K1"), k1_after_unplug, "K1 still gets reports after it was unplugged")
        self.assertGreater(self.reports("K2"), k2_after_unplug)
        self.s.ctl("plug", "K1")
        self.s.ctl("unplug", "K2")
        self.wait_shown(timeout=5, shown="045")

    def test_06_second_start_ends_with_zero_and_brings_the_first_ones_panel_back_to_the_corner(self):
        self.ensure_running()
        self.s.click_panel(370, 25)
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None, 5), "panel still shown")
        second = self.s.start_calidra()
        self.assertEqual(second.wait(timeout=30), 0)
        geometry = self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE), 5)
        self.assertEqual(geometry, (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.assertIsNone(self.calidra.poll())

    def test_07_exit_leaves_the_server_which_the_next_start_replaces(self):
        self.ensure_running()
        servers = self.s.wait_for(lambda: self.s.processes_named(SERVER), 10)
        self.assertTrue(servers, "no sensor server running")
        self.exit_through_menu()
        time.sleep(1)
        self.assertIsNone(self.s.window("Wine System Tray"), "the tray icon is still shown")
        self.assertEqual(self.s.processes_named(SERVER), servers, "the sensor server did not keep running")
        self.ensure_running()
        replaced = self.s.wait_for(lambda: [p for p in self.s.processes_named(SERVER) if p not in servers], 10)
        self.assertTrue(replaced, "no new sensor server")
        self.assertEqual([p for p in self.s.processes_named(SERVER) if p in servers], [], "the old server survived")

    def test_08_watchdog_restarts_a_silent_server_but_not_a_dead_one(self):
        self.ensure_running()
        self.exit_through_menu()
        for pid in self.s.processes_named(SERVER):
            os.kill(pid, 9)
        # A server that never publishes: the probe only records that it was started.
        probe = os.path.join(BUILD, "tests", "ServerProbe.exe")
        log = os.path.join(self.s.work, "starts.log")
        saved = {}
        for folder in ("Termivox", "TermivoxWin7"):
            exe = os.path.join(self.s.install, folder, SERVER)
            saved[exe] = exe + ".real"
            shutil.move(exe, saved[exe])
            shutil.copy2(probe, exe)
        try:
            wine_log = "Z:" + log.replace("/", "\\")
            type(self).calidra = self.s.start_calidra(extra_env={"CALIDRA_PROBE_LOG": wine_log})
            self.ensure_running()
            # The start at initialisation, then two watchdog ticks (5 s apart) that start it again.
            def starts():
                try:
                    with open(log, "rb") as f:
                        return f.read().decode("utf-16-le").count("\n")
                except OSError:
                    return 0
            self.assertGreaterEqual(self.s.wait_for(lambda: starts() >= 3, 16) and starts(), 3)
            self.exit_through_menu()
        finally:
            for exe, real in saved.items():
                shutil.move(real, exe)

        # A server that published and was then killed is left alone; the display keeps the last values.
        type(self).calidra = self.s.start_calidra()
        self.ensure_running()
        self.wait_shown(timeout=10, shown="045", second="037")
        for pid in self.s.processes_named(SERVER):
            os.kill(pid, 9)
        time.sleep(6)  # past the next watchdog tick
        self.assertEqual(self.s.processes_named(SERVER), [], "a killed server that had published was restarted")
        before = self.reports()
        self.wait_shown(timeout=3, shown="045", second="037")
        self.assertTrue(self.s.wait_for(lambda: self.reports() > before, 3))

    def test_09_message_box_answers(self):
        # Run from the install folder, where the skin and the library are.
        probe = os.path.join(self.s.install, "MessageBoxProbe.exe")
        shutil.copy2(os.path.join(BUILD, "tests", "MessageBoxProbe.exe"), probe)

        def ask(action):
            p = subprocess.Popen(["wine", probe, "A newer version is ready. Detected the latest version:v1.0.0.6, "
                                                  "update now?", "Software Updates", "4"],
                                 env=self.s.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            # Created at 0,0 and then centred: wait until it has moved.
            box = self.s.wait_for(lambda: (self.s.window("MessageBox") or (0, 0))[0] > 0 and self.s.window("MessageBox"), 20)
            self.assertTrue(box, "no centred message box on screen")
            self.assertEqual(box[2:], (380, 200))
            action(box)
            return p.wait(timeout=20)

        def screenshot_then_yes(box):
            time.sleep(1.0)
            shot = self.s.screenshot("09-message-box")
            region = shot[:-4] + "-box.png"
            subprocess.run(["convert", shot, "-crop", f"380x200+{box[0]}+{box[1]}", "+repage", region], check=True)
            text = read_text(region)
            self.assertIn("Software Updates", text)
            self.assertIn("YES", text)
            self.assertIn("NO", text)
            self.s.click(box[0] + 120, box[1] + 175)

        self.assertEqual(ask(screenshot_then_yes), 1)
        self.assertEqual(ask(lambda box: self.s.click(box[0] + 260, box[1] + 175)), 2)

        def alt_f4(box):
            self.s.click(box[0] + 190, box[1] + 60)  # focus, away from the buttons
            self.s.key("alt+F4")
        self.assertEqual(ask(alt_f4), 0)

    def test_10_settings_survive_a_restart(self):
        self.ensure_running()
        self.wait_shown(timeout=10, shown="045")
        self.s.click_panel(250, 160)
        self.s.click_panel(250, 100)
        self.wait_shown(light="off")
        self.exit_through_menu()
        type(self).calidra = self.s.start_calidra()
        self.ensure_running()
        self.wait_shown(timeout=10, light="off", shown="000")
        self.assertEqual(self.s.setting("tempe_type"), "1")
        self.assertEqual(self.s.setting("led_switch"), "2")
        self.s.screenshot("10-after-restart")
        self.s.click_panel(250, 100)  # light on again: the unit kept is Fahrenheit
        self.wait_shown(light="on", unit="F", shown="113")

    def test_11_log_tells_the_start_the_refused_task_and_the_display(self):
        self.ensure_running()
        # Wine's Task Scheduler refuses logon triggers: the registration fails, the program runs on.
        log = self.s.wait_for(lambda: (lambda t: t if "Display found: K1" in t else None)(self.s.program_log()), 10)
        self.assertTrue(log, "no log, or no display in it: " + self.s.program_log())
        stamp = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} "
        self.assertRegex(log, stamp + r"Calidra 1\.0\.0\.5 started from .*\(process \d+\)\n")
        self.assertRegex(log, stamp + r"Failed to create trigger with HRESULT: 0x80004001\n")
        self.assertIn('Autostart task "Kelvaro-DIG StartupTask" not registered', log)
        self.assertRegex(log, r"Sensor server started \(attempt 0, process \d+\): .*OpenTermivoxServer\.exe")
        self.assertTrue(self.s.window(CALIDRA_TITLE))

    def test_12_icon_comes_back_after_a_shell_restart_and_answers_clicks(self):
        self.ensure_running()
        self.s.click_panel(370, 25)
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None, 5), "panel still shown")
        self.shell_event("forget-icon")
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray") is None, 5), "icon not gone")
        self.shell_event("taskbar-created")
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray"), 5), "icon not added again")
        self.s.click_tray_icon()
        self.assertEqual(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE), 5),
                         (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.assertIn("The shell was restarted: tray icon added again", self.s.program_log())

    def test_13_resume_and_a_late_arrival_open_the_displays_again(self):
        self.ensure_running()
        self.wait_shown(timeout=10, light="on")
        before = self.opens()
        self.shell_event("resume")
        self.assertTrue(self.s.wait_for(lambda: self.opens() > before, 5), "no rescan after the resume")
        reports = self.reports()
        self.assertTrue(self.s.wait_for(lambda: self.reports() > reports, 3), "no reports after the rescan")

        # An arrival rescans at once and once more a few seconds later.
        self.s.ctl("plug", "K2")
        self.wait_shown(display="K2", timeout=5, light="on")
        time.sleep(1)
        settled = self.opens("K2")
        self.assertTrue(self.s.wait_for(lambda: self.opens("K2") > settled, 5), "no late rescan")
        self.s.ctl("unplug", "K2")

    def test_14_status_line_shows_what_the_displays_show(self):
        self.ensure_running()
        self.s.click_panel(250, 100)  # light off
        self.wait_shown(light="off")
        self.wait_status(r"^K1\W+light off$", "14-light-off")
        self.s.click_panel(250, 100)
        if self.wait_shown(light="on")["unit"] != "F":
            self.s.click_panel(250, 160)
        # The reading and its unit, whatever OCR makes of the degree sign.
        shown = str(int(self.wait_shown(light="on", unit="F")["shown"])) + r"\s*\S?F$"
        self.wait_status(r"^K1\W+" + shown, "14-one")
        self.s.ctl("plug", "K2")
        self.wait_status(r"^K1 \+ K2\W+" + shown, "14-two")
        self.s.ctl("unplug", "all")
        self.wait_status(r"^No display connected$", "14-none")
        self.s.ctl("plug", "K1")
        self.wait_status(r"^K1\W+" + shown, "14-back")

    def test_15_alt_f4_on_the_panel_ends_the_run_with_1_and_leaves_no_server_or_tray_icon(self):
        self.ensure_running()
        self.assertTrue(self.s.wait_for(lambda: self.s.processes_named(SERVER), 10), "no sensor server running")
        self.assertTrue(self.s.window("Wine System Tray"), "no tray icon")
        self.focus_panel()
        self.s.key("alt+F4")
        self.assertEqual(self.calidra.wait(timeout=20), 1)
        self.s.wait_for(lambda: not self.s.processes_named(SERVER), 5)
        self.assertEqual(self.s.processes_named(SERVER), [], "the sensor server was left running")
        self.assertIsNone(self.s.window("Wine System Tray"), "the tray icon is still shown")

    def test_16_a_server_of_that_name_from_another_folder_survives_the_start(self):
        self.ensure_running()
        self.exit_through_menu()
        # The decoy is the only process of that name when Calidra starts.
        for pid in self.s.processes_named(SERVER):
            os.kill(pid, 9)
        self.assertTrue(self.s.wait_for(lambda: not self.s.processes_named(SERVER), 10))
        decoy_exe = os.path.join(self.s.work, "decoy", SERVER)
        os.makedirs(os.path.dirname(decoy_exe), exist_ok=True)
        shutil.copy2(PROBE, decoy_exe)
        decoy = subprocess.Popen(["wine", decoy_exe, "--wait", "60000"], env=self.s.env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(self.s.wait_for(lambda: self.decoy_pids(decoy_exe), 10), "the decoy did not start")
            decoys = self.decoy_pids(decoy_exe)
            type(self).calidra = self.s.start_calidra()
            self.assertTrue(self.s.wait_for(lambda: [p for p in self.s.processes_named(SERVER) if p not in decoys], 20),
                            "Calidra started no server of its own")
            self.assertIsNone(decoy.poll(), "the decoy was ended")
            self.assertEqual(self.decoy_pids(decoy_exe), decoys)
        finally:
            decoy.kill()
            decoy.wait(timeout=10)
            for pid in self.decoy_pids(decoy_exe):
                os.kill(pid, 9)

    def decoy_pids(self, exe):
        """Linux pids of this prefix's processes that run exe (with arguments)."""
        wanted = ("Z:" + exe.replace("/", "\\")).lower()
        pids = []
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode("utf-8", "replace").lower()
                with open(f"/proc/{entry}/environ", "rb") as f:
                    ours = ("WINEPREFIX=" + self.s.prefix).encode() in f.read()
            except OSError:
                continue
            if ours and wanted in command:
                pids.append(int(entry))
        return pids

    def test_17_a_folder_others_may_change_gets_no_logon_task_and_the_panel_says_why(self):
        self.ensure_running()
        self.exit_through_menu()
        mode = os.stat(self.s.install).st_mode
        os.chmod(self.s.install, mode | 0o002)  # wine reports that as "Everyone may change it"
        try:
            type(self).calidra = self.s.start_calidra()
            self.ensure_running()
            refused = 'Autostart task "Kelvaro-DIG StartupTask" not registered or refreshed: '
            log = self.s.wait_for(lambda: (lambda t: t if "Sensor server started" in t else None)(self.log_of_this_run()),
                                  20)
            self.assertTrue(log, "no start in the log: " + self.s.program_log())
            self.assertIn(refused + "Z:" + self.s.install.replace("/", "\\") + " can be changed by Everyone", log)
            self.assertNotIn("Failed to create trigger", log, "the registration was tried")
            self.wait_status(r"^Autostart off\W+folder writable$", "17-unprotected")
            self.exit_through_menu()
        finally:
            os.chmod(self.s.install, mode)

    # ---- updates: a local HTTPS server named in the prefix's machine-wide "UpdateServer" value -------------
    def test_21_accepted_update_runs_its_installer_from_a_folder_of_its_own_and_the_program_ends(self):
        self.s.offer_software("1.0.0.6", installer=INSTALLER)  # laid out and signed as a release is
        # Where update files once were, in a folder the user's processes can write: a DLL an installer would
        # load from beside itself. And a per-user "open" command for programs that the shell would consult.
        user = next(n for n in os.listdir(os.path.join(self.s.prefix, "drive_c", "users")) if n != "Public")
        old_temp = os.path.join(self.s.prefix, "drive_c", "users", user, "AppData", "Local", "Kelvaro-DIG Files", "temp")
        os.makedirs(old_temp, exist_ok=True)
        shutil.copy2(PROBE, os.path.join(old_temp, "version.dll"))
        hijack = "Z:" + INSTALLER.replace("/", "\\")
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Classes\exefile\shell\open\command", "/ve", "/d",
                        f'"{hijack}" "%1"', "/f"], env=self.s.env, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=30, check=True)
        try:
            log = self.restart_with_probe_log()
            box = self.message_box()
            self.assertTrue(box, "no update offer")
            time.sleep(1.0)
            text = self.box_text(box, "21-offer")
            self.assertIn("Software Updates", text)
            self.assertIn("1.0.0.6", text)
            self.s.click(box[0] + 120, box[1] + 175)  # YES
            self.assertEqual(self.calidra.wait(timeout=30), 0)
            self.assertIn("/display-K/K1K2/software///Software-1.0.0.6.zip", self.s.update_requests())
            self.assertIn("/display-K/K1K2/software///Software-1.0.0.6.zip.sig", self.s.update_requests())
            runs = self.s.wait_for(lambda: installer_runs(log), 10)
            self.assertEqual(len(runs or []), 1, f"the installer did not run once, directly: {runs}")
            folder = runs[0]["folder"].rstrip("\\")
            self.assertRegex(folder, r"^C:\\ProgramData\\Kelvaro-DIG\\Update-[0-9A-F]{8}$")
            self.assertEqual(runs[0]["command"], f'"{folder}\\Software-1.0.0.6.exe"')
            self.assertEqual(runs[0]["temp"], folder)
            self.assertNotIn("version.dll", runs[0]["beside"])
            self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray") is None, 5),
                            "the tray icon is still shown")
            # The next start removes the folder the installer ran from.
            left = os.path.join(self.s.machine_folder(), folder.rsplit("\\", 1)[1])
            self.assertTrue(os.path.isdir(left))
            self.s.reset_updates()
            type(self).calidra = self.s.start_calidra()
            self.assertTrue(self.s.wait_for(lambda: not os.path.exists(left), 30), "the update folder was left")
        finally:
            self.s.reset_updates()
            subprocess.run(["wine", "reg", "delete", r"HKCU\Software\Classes\exefile", "/f"], env=self.s.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
            shutil.rmtree(os.path.dirname(old_temp), ignore_errors=True)

    def test_22_declined_update_fetches_nothing_and_the_program_runs_on(self):
        self.s.offer_software("1.0.0.6", installer=INSTALLER)
        try:
            log = self.restart_with_probe_log()
            asked_before = len(self.s.update_requests())
            box = self.message_box()
            self.assertTrue(box, "no update offer")
            self.s.click(box[0] + 260, box[1] + 175)  # NO
            self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None, 5))
            before = self.reports()
            time.sleep(2.5)
            self.assertIsNone(self.calidra.poll())
            self.assertGreater(self.reports(), before)
            self.assertFalse([r for r in self.s.update_requests()[asked_before:] if r.endswith(".zip")])
            self.assertFalse(os.path.exists(log))
        finally:
            self.s.reset_updates()

    def test_23_a_missing_or_tampered_package_or_an_installer_that_does_not_start_is_reported(self):
        swapped = os.path.join(self.s.update_root, "display-K", "K1K2", "software", "Software-1.0.0.6.zip")
        broken = os.path.join(self.s.work, "no-program.exe")
        with open(broken, "wb") as f:
            f.write(b"MZ but no program")
        cases = (("1.0.0.7", None, None, "no package from"),  # nothing on the server: 404
                 # A sound package with another installer in place of the signed one, its signature left.
                 ("1.0.0.6", INSTALLER, swapped, "the signature does not match the package"),
                 # Signed, but its installer is no program.
                 ("1.0.0.8", broken, None, "the installer did not start"))
        for version, installer, package, reason in cases:
            with self.subTest(version):
                self.s.offer_software(version, installer=installer)
                if package:
                    with zipfile.ZipFile(package, "w") as z:
                        z.write(PROBE, f"Software-{version}.exe")
                try:
                    log = self.restart_with_probe_log()
                    box = self.message_box()
                    self.assertTrue(box, "no update offer")
                    offer = self.message_box_ids()
                    self.s.click(box[0] + 120, box[1] + 175)  # YES
                    # The notice is a box of its own, in the same place.
                    self.assertTrue(self.s.wait_for(lambda: [i for i in self.message_box_ids() if i not in offer], 20),
                                    "no notice that the update could not be installed")
                    notice = self.message_box()
                    time.sleep(1.0)
                    self.assertIn("could not be installed", self.box_text(notice, f"23-not-installed-{version}"))
                    self.s.click(notice[0] + 190, notice[1] + 175)  # OK
                    self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None, 5))
                    before = self.reports()
                    time.sleep(2.5)
                    self.assertIsNone(self.calidra.poll())
                    self.assertGreater(self.reports(), before)
                    self.assertIn(f"/display-K/K1K2/software///Software-{version}.zip", self.s.update_requests())
                    self.assertIn("Update not installed: " + reason, self.log_of_this_run())
                    self.assertFalse(os.path.exists(log), "an installer ran")
                finally:
                    self.s.reset_updates()

    def test_24_without_an_update_server_the_first_report_comes_within_2_seconds(self):
        self.ensure_running()
        self.exit_through_menu()
        self.s.set_update_server("https://localhost:1/")  # nobody listens there
        try:
            before = self.reports()
            started = time.monotonic()
            type(self).calidra = self.s.start_calidra()
            code, _ = self.s.ctl("wait", "K1", str(before + 1), "5000")
            took = time.monotonic() - started
            self.assertEqual(code, 0, "no report")
            self.assertLess(took, 2.0, f"the first report came after {took:.1f} s")
            time.sleep(2)
            self.assertIsNone(self.s.window("MessageBox"))
        finally:
            self.s.set_update_server(self.s.updates.base_url)

    def test_25_newer_firmware_is_offered_for_the_virtual_k1(self):
        self.s.ctl("firmware", "K1", "0x0102")
        self.s.offer_firmware("K1", "103")
        try:
            self.restart_with_probe_log()
            box = self.message_box()
            self.assertTrue(box, "no firmware offer")
            time.sleep(1.0)
            text = self.box_text(box, "25-firmware-offer")
            self.assertIn("Firmware Updates", text)
            self.assertIn("103", text)
            self.s.click(box[0] + 260, box[1] + 175)  # NO
            self.assertIn("/display-K/K1K2/firmware-K1/version", self.s.update_requests())
            self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None, 5))
            self.assertIsNone(self.calidra.poll())
        finally:
            self.s.reset_updates()


if __name__ == "__main__":
    unittest.main()
