"""Whole-program test of an accepted download from a server that holds the package: the display's reports go
on while the request waits at the server (simulators/update_server/update_server.py, its /_hold/ paths). Mixed into
WholeProgram (test_whole_program.py), whose session, running program and helpers it uses; it runs in its order,
as scenario 27.
"""
import os
import zipfile


class SlowDownload:
    def test_27_reports_go_on_while_an_accepted_download_waits_for_the_server(self):
        """The accepted download runs in an update job too: the display has reports while the server holds
        the package request. The package's signature is then refused, so nothing is installed."""
        self.s.offer_software("1.0.0.6", installer=os.path.join(self.s.build, "tests", "InstallerProbe.exe"))
        with zipfile.ZipFile(os.path.join(self.s.update_root, "display-K", "K1K2", "software",
                                          "Software-1.0.0.6.zip"), "w") as z:
            z.write(os.path.join(self.s.build, "tests", "ServerProbe.exe"), "Software-1.0.0.6.exe")
        package = "/_hold/display-K/K1K2/software///Software-1.0.0.6.zip"
        self.s.set_update_server(self.s.updates.base_url + "_hold/")  # holds each package until released
        try:
            log = self.restart_with_probe_log()
            offer = self.accept_offer("27-offer")
            held = self.s.wait_for(lambda: package in self.s.updates.held_packages() and self.reports())
            self.assertTrue(held, f"the server holds no package request: {self.s.update_requests()}")
            # The reports are read first: a report counted here came while the request was still held.
            self.assertTrue(self.s.wait_for(lambda: self.reports() >= held + 2
                                            and package in self.s.updates.held_packages()),
                            "no reports while the download waited for the server")
            self.s.updates.release_held()
            self.dismiss_notice(offer, "27-not-installed")
            self.assertIn("Update not installed: the signature does not match the package", self.log_of_this_run())
            self.wait_reports(self.reports() + 2)
            self.assertIsNone(self.calidra.poll())
            self.assertFalse(os.path.exists(log), "an installer ran")
        finally:
            self.s.set_update_server(self.s.updates.base_url)
            self.s.updates.release_held()
            self.s.reset_updates()
