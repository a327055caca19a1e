"""Whole-program tests of the panel without a mouse: Tab, Space, Enter and Escape through the X server, and the
panel as an assistive program reads and switches it (tests/support/AccessibleProbe.cpp). Mixed into
WholeProgram (test_whole_program.py), whose session, running program and helpers they use; they run in its
order, as scenarios 18 and 19.
"""
import os
import subprocess

from calidra_session import CALIDRA_TITLE

ACCESSIBLE_PROBE = os.path.join("tests", "AccessibleProbe.exe")  # an assistive program's reading of a window
# MSAA's roles and states (oleacc.h) as the probe prints them.
ROLE_STATIC_TEXT, ROLE_PUSH_BUTTON, ROLE_CHECK_BUTTON = 0x29, 0x2B, 0x2C
STATE_FOCUSED, STATE_CHECKED, STATE_FOCUSABLE = 0x4, 0x10, 0x100000
UNIT_SETTING = {"C": "0", "F": "1"}  # "tempe_type"


class PanelWithoutMouse:
    def accessible_tree(self):
        """The panel as an assistive program reads it (tests/support/AccessibleProbe.cpp): one row per object,
        [id, role, state, "left,top,width,height", name, value, default action], the client object first."""
        code, out = self.s.tool(ACCESSIBLE_PROBE, "tree", CALIDRA_TITLE)
        self.assertEqual(code, 0, f"the probe could not read the panel: {out}")
        return [line.split("\t") for line in out.splitlines()]

    def focused(self):
        """The name of the panel's control that has the keyboard focus, or None."""
        return next((row[4] for row in self.accessible_tree()[1:] if int(row[2], 16) & STATE_FOCUSED), None)

    def test_18_tab_space_enter_and_escape_work_the_panel_without_a_mouse(self):
        self.ensure_running()
        unit = self.wait_shown(timeout=10, light="on")["unit"]
        other_unit = "F" if unit == "C" else "C"
        self.focus_panel()
        # Tab walks the three in this order and wraps; where it starts depends on what was clicked last.
        order = ["Display light", "Temperature unit", "Hide panel"]
        while True:
            before = self.focused()
            after = order[(order.index(before) + 1) % len(order)] if before in order else order[0]
            self.s.key("Tab")
            self.assertTrue(self.s.wait_for(lambda: self.focused() == after, 5), f"Tab from {before} missed {after}")
            if after == order[0]:
                break
        shot = self.s.screenshot("18-focus-on-the-light")
        x, y, w, h = self.s.window(CALIDRA_TITLE)
        subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", shot[:-4] + "-panel.png"],
                       check=True, timeout=30)
        self.s.key("space")
        self.wait_shown(shown="000", light="off")
        self.assertEqual(self.s.setting("led_switch"), "2")
        self.s.key("Return")
        self.wait_shown(light="on")
        self.assertEqual(self.s.setting("led_switch"), "1")
        self.s.key("Tab", "space")
        self.wait_shown(unit=other_unit)
        self.assertEqual(self.s.setting("tempe_type"), UNIT_SETTING[other_unit])
        self.s.key("shift+Tab")
        self.assertTrue(self.s.wait_for(lambda: self.focused() == "Display light", 5), "Shift+Tab went elsewhere")
        self.s.key("Tab", "Return")
        self.wait_shown(unit=unit)
        self.assertEqual(self.s.setting("tempe_type"), UNIT_SETTING[unit])
        self.s.key("Tab")
        self.assertTrue(self.s.wait_for(lambda: self.focused() == "Hide panel", 5), "Tab did not reach the close mark")
        self.s.key("Escape")
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE) is None, 5), "Escape left the panel")
        self.s.click_tray_icon()
        self.assertTrue(self.s.wait_for(lambda: self.s.window(CALIDRA_TITLE), 5), "the panel did not come back")

    def test_19_an_assistive_program_reads_the_panel_and_switches_the_light(self):
        self.ensure_running()
        state = self.wait_shown(timeout=10, light="on")
        shown, unit = state["shown"], state["unit"]
        x, y, _, _ = self.s.window(CALIDRA_TITLE)
        rows = {row[4]: row for row in self.accessible_tree()[1:]}
        unit_name = {"C": "Celsius", "F": "Fahrenheit"}[unit]
        expected = {  # name: role, state bits that must be set, rectangle in the panel, value, default action
            "Display light": (ROLE_CHECK_BUTTON, STATE_CHECKED | STATE_FOCUSABLE, (215, 95, 71, 23), "", "Uncheck"),
            "Temperature unit": (ROLE_PUSH_BUTTON, STATE_FOCUSABLE, (215, 152, 71, 23), unit_name, "Press"),
            "Hide panel": (ROLE_PUSH_BUTTON, STATE_FOCUSABLE, (360, 15, 20, 20), "", "Press"),
        }
        for name, (role, bits, (left, top, width, height), value, action) in expected.items():
            self.assertIn(name, rows, f"no {name!r} among {list(rows)}")
            _, got_role, got_state, rect, _, got_value, got_action = rows[name]
            self.assertEqual((int(got_role, 16), int(got_state, 16) & bits, rect, got_value, got_action),
                             (role, bits, f"{x + left},{y + top},{width},{height}", value, action), name)
        status = [row for row in rows.values() if int(row[1], 16) == ROLE_STATIC_TEXT]
        self.assertEqual(len(status), 1, f"one status line: {list(rows)}")
        self.assertRegex(status[0][4], r"^K1\W+" + str(int(shown)) + " °" + unit + "$")

        code, out = self.s.tool(ACCESSIBLE_PROBE, "act", CALIDRA_TITLE, "Display light")
        self.assertEqual(code, 0, out)
        self.wait_shown(shown="000", second="000", light="off")
        _, log = self.s.ctl("log")
        last = [line for line in log.splitlines() if " K1 report " in line][-1].split()
        self.assertEqual(last[7:15], ["07", "00", "00", "00", "00", "00", "00", "00"])
        self.assertEqual(self.s.setting("led_switch"), "2")
        light = {row[4]: row for row in self.accessible_tree()[1:]}["Display light"]
        self.assertFalse(int(light[2], 16) & STATE_CHECKED, "the light is off but still checked")
        self.assertEqual(self.s.tool(ACCESSIBLE_PROBE, "act", CALIDRA_TITLE, "Display light")[0], 0)
        self.wait_shown(shown=shown, light="on")
        self.assertEqual(self.s.setting("led_switch"), "1")
