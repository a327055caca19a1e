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
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, HERE)
from calidra_session import CALIDRA_TITLE, GIVE_UP_S, STAND_IN_HID, WINE, Session  # noqa: E402
from panel_without_mouse import PanelWithoutMouse  # noqa: E402
from slow_download import SlowDownload  # noqa: E402

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


class WholeProgram(PanelWithoutMouse, SlowDownload, unittest.TestCase):
    s = None
    calidra = None

    @classmethod
    def setUpClass(cls):
        cls.s = Session(BUILD, os.path.join(BUILD, "e2e"), csv_rows=((45, 37),))
        cls.s.start()
        cls.s.ctl("plug", "K1")
        cls.calidra = cls.s.start_calidra()

    @classmethod
    def tearDownClass(cls):
        cls.s.stop()

    # ---- helpers ----------------------------------------------------------------------------------------
    def k(self, name="K1"):
        return self.s.display_state().get(name, {})

    def wait_shown(self, display="K1", **expected):
        def matches():
            state = self.k(display)
            return state if all(state.get(key) == value for key, value in expected.items()) else None

        state = self.s.wait_for(matches)
        self.assertTrue(state, f"{display} never showed {expected}: {self.k(display)}")
        return state

    def reports(self, display="K1"):
        return int(self.k(display).get("reports", "0"))

    def wait_reports(self, count, display="K1"):
        """Waits until the display has had count reports in all."""
        self.assertTrue(self.s.wait_for(lambda: self.reports(display) >= count),
                        f"{display} never had {count} reports: {self.k(display)}")

    def ensure_running(self):
        if self.calidra is None or self.calidra.poll() is not None:
            type(self).calidra = self.s.start_calidra()
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE)), "no panel on screen")
        # The panel shows from its creation; the icon follows once the start-up has registered the logon task.
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray")), "no tray icon")

    # The menu is used with the mouse, as a user does. Keys would go to the process wine counts as the one in
    # front, which after a click on the tray icon (the shell's window) need not be Calidra; and a menu left open
    # holds the pointer, so that every later click of the run would go to it.
    def exit_through_menu(self):
        x, y, _, h = self.open_tray_menu()
        self.s.click(x + 30, y + h - 12)  # the last item, "Exit"
        ended = self.s.wait_for(lambda: self.calidra.poll() is not None)
        if not ended:
            self.s.screenshot("exit-not-ended")
            menu = self.s.popup_menu()
            self.calidra.kill()  # the tests after this one start afresh
            self.fail(f"Calidra did not end after Exit (the menu on screen: {menu})")
        self.assertEqual(self.calidra.returncode, 0)

    def open_tray_menu(self):
        """(x, y, w, h) of the tray menu, once a right click on the icon has brought it up."""
        self.s.click_tray_icon(button=3)
        menu = self.s.wait_for(self.s.popup_menu)
        self.assertTrue(menu, "no tray menu on screen")
        return menu

    def close_tray_menu(self):
        """A click beside the open menu closes it."""
        self.s.click(SCREEN_W // 2, 8)
        self.assertTrue(self.s.wait_for(lambda: self.s.popup_menu() is None), "the tray menu stayed open")

    def shell_event(self, event):
        code, _ = self.s.tool(os.path.join("tests", "ShellEvents.exe"), event)
        self.assertEqual(code, 0, f"ShellEvents {event} failed")

    def opens(self, display="K1"):
        """How often the vendor interface of the display has been opened."""
        return int(self.k(display).get("opens", "0/0").split("/")[0])

    def status_line(self, name):
        """The panel's status line (right of the title), read by OCR; empty while no panel is found on screen
        (a search of the X server's windows can come back empty under load, and the callers wait)."""
        panel = self.s.window(CALIDRA_TITLE)
        if panel is None:
            return ""
        x, y, _, _ = panel
        shot = self.s.screenshot(name)
        region = shot[:-4] + "-status.png"
        subprocess.run(["convert", shot, "-crop", f"212x24+{x + 140}+{y + 16}", "+repage", "-negate", region],
                       check=True, timeout=30)
        big = region[:-4] + "-big.png"
        subprocess.run(["convert", region, "-colorspace", "Gray", "-resize", "400%", big], check=True, timeout=30)
        r = subprocess.run(["tesseract", big, "-", "--psm", "7"], capture_output=True, timeout=60)
        return r.stdout.decode("utf-8", "replace").strip()

    def wait_status(self, pattern, name):
        text = self.s.wait_for(lambda: (lambda t: t if re.search(pattern, t) else None)(self.status_line(name)),
                               interval=0.5)
        self.assertTrue(text, f"the status line never matched {pattern!r}: {self.status_line(name)!r}")

    def message_box(self):
        """(x, y, w, h) of the program's message box once it has been centred, or None."""
        return self.s.wait_for(lambda: (self.s.window("MessageBox") or (0, 0))[0] > 0 and self.s.window("MessageBox"))

    def message_box_ids(self):
        return self.s.xdotool("search", "--onlyvisible", "--name", "^MessageBox$").split()

    def box_text(self, box, name):
        shot = self.s.screenshot(name)
        region = shot[:-4] + "-box.png"
        subprocess.run(["convert", shot, "-crop", f"380x200+{box[0]}+{box[1]}", "+repage", region], check=True)
        return read_text(region)

    def box_showing(self, box, name, *texts):
        """The box's text, read by OCR, once it shows all of texts: drawn, and so ready for clicks."""
        text = self.s.wait_for(lambda: (lambda t: t if all(x in t for x in texts) else None)(self.box_text(box, name)),
                               interval=0.5)
        self.assertTrue(text, f"the box never showed {texts}: {self.box_text(box, name)!r}")
        return text

    def restart_with_probe_log(self):
        """Calidra started afresh, with the probe's log (for an installer that is the probe) in its environment."""
        if self.calidra is not None and self.calidra.poll() is None:
            self.ensure_running()
            self.wait_shown(display="K1")  # up and running, its tray icon too
            self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray")), "no tray icon")
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

    def accept_offer(self, name):
        """Says YES to the software offer on screen; the ids of the boxes up before the answer."""
        box = self.message_box()
        self.assertTrue(box, "no update offer")
        self.box_showing(box, name, "Software Updates")
        offer = self.message_box_ids()
        self.s.click(box[0] + 120, box[1] + 175)  # YES
        return offer

    def dismiss_notice(self, offer, name):
        """Waits for the notice that the update was not installed (a box of its own, in the offer's place)
        and closes it."""
        self.assertTrue(self.s.wait_for(lambda: [i for i in self.message_box_ids() if i not in offer]),
                        "no notice that the update could not be installed")
        notice = self.message_box()
        self.box_showing(notice, name, "could not be installed")
        self.s.click(notice[0] + 190, notice[1] + 175)  # OK
        self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None), "the notice stayed")

    def log_of_this_run(self):
        """The program log from the last start on."""
        log = self.s.program_log()
        return log[log.rfind(" started from "):] if " started from " in log else ""

    def menu_text(self, name):
        """The tray menu's text, read by OCR once it shows the version."""
        def read():
            menu = self.s.popup_menu()
            if not menu:
                return ""
            shot = self.s.screenshot(name)
            region = shot[:-4] + "-menu.png"
            subprocess.run(["convert", shot, "-crop", f"240x90+{menu[0]}+{menu[1]}", "+repage", region], check=True,
                           timeout=30)
            return read_text(region)

        text = self.s.wait_for(lambda: (lambda t: t if "Version" in t else None)(read()), interval=0.5)
        self.assertTrue(text, f"the tray menu never showed the version: {read()!r}")
        return text

    # ---- the checks, in the order a user meets them -----------------------------------------------------
    def test_01_display_shows_the_scripted_readings(self):
        self.wait_shown(shown="045", second="037", unit="C", light="on")
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
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None), "panel still shown")
        self.s.screenshot("04-hidden")
        self.s.click_tray_icon()
        geometry = self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE))
        self.assertEqual(geometry, (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.s.screenshot("04-shown-again")

    def test_05_tray_menu_counts_displays_and_both_get_reports(self):
        self.ensure_running()
        self.open_tray_menu()
        text = self.menu_text("05-menu-one")
        self.close_tray_menu()
        self.assertIn("Version: 1.0.0.5", text)
        self.assertIn("1 Device", text)

        self.s.ctl("plug", "K2")
        self.wait_shown(display="K2", shown="045")
        self.wait_reports(self.reports("K1") + 2, "K1")  # K1 keeps getting reports
        self.open_tray_menu()
        text = self.menu_text("05-menu-two")
        self.close_tray_menu()
        self.assertIn("2 Device", text)

        # An unplugged display takes no report from the moment it is gone; the other one goes on getting them.
        self.s.ctl("unplug", "K1")
        k1_after_unplug = self.reports("K1")
        self.wait_reports(self.reports("K2") + 2, "K2")
        self.assertEqual(self.reports("K1"), k1_after_unplug, "K1 still gets reports after it was unplugged")
        self.s.ctl("plug", "K1")
        self.s.ctl("unplug", "K2")
        self.wait_shown(shown="045")

    def test_06_second_start_ends_with_zero_and_brings_the_first_ones_panel_back_to_the_corner(self):
        self.ensure_running()
        self.s.click_panel(370, 25)
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None), "panel still shown")
        second = self.s.start_calidra()
        self.assertEqual(second.wait(timeout=GIVE_UP_S), 0)
        geometry = self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE))
        self.assertEqual(geometry, (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.assertIsNone(self.calidra.poll())

    def test_07_exit_leaves_the_server_which_the_next_start_replaces(self):
        self.ensure_running()
        servers = self.s.wait_for(lambda: self.s.processes_named(SERVER))
        self.assertTrue(servers, "no sensor server running")
        self.exit_through_menu()
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray") is None),
                        "the tray icon is still shown")
        self.assertEqual(self.s.processes_named(SERVER), servers, "the sensor server did not keep running")
        self.ensure_running()
        replaced = self.s.wait_for(lambda: [p for p in self.s.processes_named(SERVER) if p not in servers])
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
            self.assertGreaterEqual(self.s.wait_for(lambda: starts() >= 3) and starts(), 3)
            self.exit_through_menu()
        finally:
            for exe, real in saved.items():
                shutil.move(real, exe)

        # A server that published and was then killed is left alone; the display keeps the last values.
        type(self).calidra = self.s.start_calidra()
        self.ensure_running()
        self.wait_shown(shown="045", second="037")
        for pid in self.s.processes_named(SERVER):
            os.kill(pid, 9)
        # Past the next watchdog tick (5 s) by the program's own clock: six more reports, a second apart.
        self.wait_reports(self.reports() + 6)
        self.assertEqual(self.s.processes_named(SERVER), [], "a killed server that had published was restarted")
        self.wait_shown(shown="045", second="037")

    def test_09_message_box_answers(self):
        # Run from the install folder, where the skin and the library are.
        probe = os.path.join(self.s.install, "MessageBoxProbe.exe")
        shutil.copy2(os.path.join(BUILD, "tests", "MessageBoxProbe.exe"), probe)

        def ask(action):
            p = subprocess.Popen([WINE, probe, "A newer version is ready. Detected the latest version:v1.0.0.6, "
                                                  "update now?", "Software Updates", "4"],
                                 env=self.s.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            # Created at 0,0 and then centred: wait until it has moved, and shows its buttons.
            box = self.message_box()
            self.assertTrue(box, "no centred message box on screen")
            self.assertEqual(box[2:], (380, 200))
            self.box_showing(box, "09-message-box", "Software Updates", "YES", "NO")
            action(box)
            if not self.s.wait_for(lambda: p.poll() is not None):
                box = self.s.window("MessageBox")
                p.kill()  # the tests after this one start without the box
                self.fail(f"the box did not answer (box on screen: {box})")
            return p.returncode

        def yes(box):
            self.s.click(box[0] + 120, box[1] + 175)

        self.assertEqual(ask(yes), 1)
        self.assertEqual(ask(lambda box: self.s.click(box[0] + 260, box[1] + 175)), 2)

        def alt_f4(box):
            # Without a window manager a click does not move the X keyboard focus: give it to the box as one
            # would (its focus event reaches wine before the keys).
            self.s.xdotool("windowfocus", "--sync", self.message_box_ids()[-1])
            self.s.key("alt+F4")
        self.assertEqual(ask(alt_f4), 0)

    def test_10_settings_survive_a_restart(self):
        self.ensure_running()
        self.wait_shown(shown="045")
        self.s.click_panel(250, 160)
        self.s.click_panel(250, 100)
        self.wait_shown(light="off")
        self.exit_through_menu()
        type(self).calidra = self.s.start_calidra()
        self.ensure_running()
        self.wait_shown(light="off", shown="000")
        self.assertEqual(self.s.setting("tempe_type"), "1")
        self.assertEqual(self.s.setting("led_switch"), "2")
        self.s.screenshot("10-after-restart")
        self.s.click_panel(250, 100)  # light on again: the unit kept is Fahrenheit
        self.wait_shown(light="on", unit="F", shown="113")

    def test_11_log_tells_the_start_the_refused_task_and_the_display(self):
        self.ensure_running()
        # Wine's Task Scheduler refuses logon triggers: the registration fails, the program runs on.
        log = self.s.wait_for(lambda: (lambda t: t if "Display found: K1" in t else None)(self.s.program_log()))
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
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None), "panel still shown")
        self.shell_event("forget-icon")
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray") is None), "icon not gone")
        self.shell_event("taskbar-created")
        self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray")), "icon not added again")
        self.s.click_tray_icon()
        self.assertEqual(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE)),
                         (SCREEN_W - 398, SCREEN_H - 251, 396, 249))
        self.assertIn("The shell was restarted: tray icon added again", self.s.program_log())

    def test_13_resume_and_a_late_arrival_open_the_displays_again(self):
        self.ensure_running()
        self.wait_shown(light="on")
        before = self.opens()
        self.shell_event("resume")
        self.assertTrue(self.s.wait_for(lambda: self.opens() > before), "no rescan after the resume")
        self.wait_reports(self.reports() + 1)

        # An arrival rescans at once (once for the USB device, once for the other HID collection and twice for
        # the display's own one) and once more a few seconds later. Every rescan opens K1 again.
        before = self.opens("K1")
        self.s.ctl("plug", "K2")
        self.wait_shown(display="K2", light="on")
        rescans = self.s.wait_for(lambda: (lambda n: n if n >= 5 else None)(self.opens("K1") - before))
        self.assertTrue(rescans, f"no late rescan: {self.opens('K1') - before} rescans after the arrival")
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
        # Hidden, the panel is told nothing; shown again, it tells what the display shows now.
        self.s.click_panel(370, 25)
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None), "panel still shown")
        self.s.ctl("plug", "K1")
        self.wait_shown(display="K1", light="on", unit="F")
        self.s.click_tray_icon()
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE)), "panel not shown again")
        self.wait_status(r"^K1\W+" + shown, "14-back")

    def test_15_alt_f4_on_the_panel_ends_the_run_with_1_and_leaves_no_server_or_tray_icon(self):
        self.ensure_running()
        self.assertTrue(self.s.wait_for(lambda: self.s.processes_named(SERVER)), "no sensor server running")
        self.assertTrue(self.s.window("Wine System Tray"), "no tray icon")
        self.focus_panel()
        self.s.key("alt+F4")
        self.assertEqual(self.calidra.wait(timeout=GIVE_UP_S), 1)
        self.s.wait_for(lambda: not self.s.processes_named(SERVER))
        self.assertEqual(self.s.processes_named(SERVER), [], "the sensor server was left running")
        self.assertIsNone(self.s.window("Wine System Tray"), "the tray icon is still shown")

    def test_16_a_server_of_that_name_from_another_folder_survives_the_start(self):
        self.ensure_running()
        self.exit_through_menu()
        # The decoy is the only process of that name when Calidra starts.
        for pid in self.s.processes_named(SERVER):
            os.kill(pid, 9)
        self.assertTrue(self.s.wait_for(lambda: not self.s.processes_named(SERVER)))
        decoy_exe = os.path.join(self.s.work, "decoy", SERVER)
        os.makedirs(os.path.dirname(decoy_exe), exist_ok=True)
        shutil.copy2(PROBE, decoy_exe)
        decoy = subprocess.Popen([WINE, decoy_exe, "--wait", "60000"], env=self.s.env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(self.s.wait_for(lambda: self.decoy_pids(decoy_exe)), "the decoy did not start")
            decoys = self.decoy_pids(decoy_exe)
            type(self).calidra = self.s.start_calidra()
            self.assertTrue(self.s.wait_for(lambda: [p for p in self.s.processes_named(SERVER) if p not in decoys]),
                            "Calidra started no server of its own")
            self.assertIsNone(decoy.poll(), "the decoy was ended")
            self.assertEqual(self.decoy_pids(decoy_exe), decoys)
        finally:
            decoy.kill()
            decoy.wait(timeout=10)
            for pid in self.decoy_pids(decoy_exe):
                os.kill(pid, 9)

    def decoy_pids(self, exe):
        """Linux pids of this prefix's processes that run exe. A program started by a Windows process shows its
        path as Z:\\..., one started straight through wine's 64-bit loader as it was given."""
        pids = []
        for pid in self.s.processes_named(os.path.basename(exe)):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
            except OSError:
                continue
            if re.sub(r"^[zZ]:", "", argv0.replace("\\", "/")).lower() == exe.lower():
                pids.append(pid)
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
            log = self.s.wait_for(lambda: (lambda t: t if "Sensor server started" in t else None)(self.log_of_this_run()))
            self.assertTrue(log, "no start in the log: " + self.s.program_log())
            self.assertIn(refused + "Z:" + self.s.install.replace("/", "\\") + " can be changed by Everyone", log)
            self.assertNotIn("Failed to create trigger", log, "the registration was tried")
            # Nor does it start update jobs, which would run elevated from that folder.
            self.assertIn("No update checks or installs: the program's folder is not protected: Z:", log)
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
        subprocess.run([WINE, "reg", "add", r"HKCU\Software\Classes\exefile\shell\open\command", "/ve", "/d",
                        f'"{hijack}" "%1"', "/f"], env=self.s.env, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=30, check=True)
        try:
            log = self.restart_with_probe_log()
            box = self.message_box()
            self.assertTrue(box, "no update offer")
            self.box_showing(box, "21-offer", "Software Updates", "1.0.0.6")
            self.s.click(box[0] + 120, box[1] + 175)  # YES
            self.assertEqual(self.calidra.wait(timeout=GIVE_UP_S), 0)
            self.assertIn("/display-K/K1K2/software///Software-1.0.0.6.zip", self.s.update_requests())
            self.assertIn("/display-K/K1K2/software///Software-1.0.0.6.zip.sig", self.s.update_requests())
            runs = self.s.wait_for(lambda: installer_runs(log))
            self.assertEqual(len(runs or []), 1, f"the installer did not run once, directly: {runs}")
            folder = runs[0]["folder"].rstrip("\\")
            self.assertRegex(folder, r"^C:\\ProgramData\\Kelvaro-DIG\\Update-[0-9A-F]{8}$")
            self.assertEqual(runs[0]["command"], f'"{folder}\\Software-1.0.0.6.exe"')
            self.assertEqual(runs[0]["temp"], folder)
            self.assertNotIn("version.dll", runs[0]["beside"])
            self.assertTrue(self.s.wait_for(lambda: self.s.window("Wine System Tray") is None),
                            "the tray icon is still shown")
            # The next start removes the folder the installer ran from.
            left = os.path.join(self.s.machine_folder(), folder.rsplit("\\", 1)[1])
            self.assertTrue(os.path.isdir(left))
            self.s.reset_updates()
            type(self).calidra = self.s.start_calidra()
            self.assertTrue(self.s.wait_for(lambda: not os.path.exists(left)), "the update folder was left")
        finally:
            self.s.reset_updates()
            subprocess.run([WINE, "reg", "delete", r"HKCU\Software\Classes\exefile", "/f"], env=self.s.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
            shutil.rmtree(os.path.dirname(old_temp), ignore_errors=True)

    def test_22_declined_update_fetches_nothing_and_the_program_runs_on(self):
        self.s.offer_software("1.0.0.6", installer=INSTALLER)
        try:
            log = self.restart_with_probe_log()
            asked_before = len(self.s.update_requests())
            box = self.message_box()
            self.assertTrue(box, "no update offer")
            self.box_showing(box, "22-offer", "Software Updates")
            self.s.click(box[0] + 260, box[1] + 175)  # NO
            self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None), "the box stayed")
            self.wait_reports(self.reports() + 2)
            self.assertIsNone(self.calidra.poll())
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
                    self.dismiss_notice(self.accept_offer(f"23-offer-{version}"), f"23-not-installed-{version}")
                    self.wait_reports(self.reports() + 2)
                    self.assertIsNone(self.calidra.poll())
                    self.assertIn(f"/display-K/K1K2/software///Software-{version}.zip", self.s.update_requests())
                    self.assertIn("Update not installed: " + reason, self.log_of_this_run())
                    self.assertFalse(os.path.exists(log), "an installer ran")
                finally:
                    self.s.reset_updates()

    def test_24_without_an_update_server_the_reports_come_and_nothing_is_offered(self):
        # How soon the first report comes is a figure of benchmarks/offline_start.sh.
        self.ensure_running()
        self.exit_through_menu()
        self.s.set_update_server("https://localhost:1/")  # nobody listens there
        try:
            before = self.reports()
            type(self).calidra = self.s.start_calidra()
            self.wait_reports(before + 1)
            # Both update checks end before the first report, and the status line shows a reading only after
            # it: once it does, a box that either check asked for would be on screen.
            self.wait_status(r"^K1\W+" + str(int(self.k()["shown"])) + r"\b", "24-status")
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
            self.box_showing(box, "25-firmware-offer", "Firmware Updates", "103")
            self.s.click(box[0] + 260, box[1] + 175)  # NO
            self.assertIn("/display-K/K1K2/firmware-K1/version", self.s.update_requests())
            self.assertTrue(self.s.wait_for(lambda: self.s.window("MessageBox") is None), "the box stayed")
            self.assertIsNone(self.calidra.poll())
        finally:
            self.s.reset_updates()

    def test_26_a_server_that_accepts_and_stays_silent_holds_no_report(self):
        """The update checks wait for the server on a thread of their own: the first report reaches the display
        while the software check still waits for an answer, and reports go on through both checks."""
        self.ensure_running()
        self.exit_through_menu()
        self.s.set_update_server(self.s.updates.base_url + "_stall/")  # reads each request, never answers
        software = "/_stall/display-K/K1K2/software/version"
        try:
            before = self.reports()
            type(self).calidra = self.s.start_calidra()

            def reports_then_log(at_least, asked):
                # The reports are read first: a report counted here came before the log below was read.
                reports = self.reports()
                if reports < at_least or asked not in self.s.update_requests():
                    return None
                return reports, self.log_of_this_run()

            seen = self.s.wait_for(lambda: reports_then_log(before + 1, software))
            self.assertTrue(seen, f"no report, or no software check at the server: {self.s.update_requests()}")
            first, log = seen
            self.assertNotIn("Software check:", log, "the first report waited for the software check")
            # The firmware check waits behind the software check; two more reports come meanwhile.
            seen = self.s.wait_for(lambda: reports_then_log(first + 2, software))
            self.assertTrue(seen, "the reports stopped")
            self.assertNotIn("Firmware check:", seen[1], "the reports waited for the checks")
            # Both checks end within their limits, offer nothing, and the reports go on.
            ended = self.s.wait_for(lambda: (lambda t: t if "Firmware check:" in t else None)(self.log_of_this_run()))
            self.assertIn("Software check: no version from", ended or "")
            self.assertIn("Firmware check: no version from", ended or "")
            self.assertIn("/_stall/display-K/K1K2/firmware-K1/version", self.s.update_requests())
            self.wait_reports(self.reports() + 1)
            self.assertIsNone(self.s.window("MessageBox"))
            self.assertIsNone(self.calidra.poll())
        finally:
            self.s.set_update_server(self.s.updates.base_url)

    def test_28_the_start_checks_leave_no_network_library_in_the_program_and_no_job_running(self):
        """The checks run in the update job (CalidraUpdate.exe), which ends after each: the program that stays
        maps none of the network, certificate and TLS libraries they load."""
        self.ensure_running()
        self.exit_through_menu()
        type(self).calidra = self.s.start_calidra()
        self.ensure_running()
        ended = self.s.wait_for(lambda: (lambda t: t if "Firmware check:" in t else None)(self.log_of_this_run()))
        self.assertIn("Software check:", ended or "", "the checks did not run")
        self.assertTrue(self.s.wait_for(lambda: not self.s.processes_named("CalidraUpdate.exe")),
                        "the update job still runs")
        pids = self.s.processes_named("Calidra.exe")
        self.assertEqual(len(pids), 1)
        with open(f"/proc/{pids[0]}/maps") as f:
            maps = f.read().lower()
        for library in ("wininet.dll", "crypt32.dll", "secur32.dll", "schannel.dll", "libgnutls"):
            self.assertNotIn(library, maps)


if __name__ == "__main__":
    unittest.main()
