"""The Windows installer under Wine, driven as a user would on an X server of the test's own:
a whole installation into a folder outside the ANSI code page up to the started product, an
install folder it refuses, closing during a slow download, dragging the window, the
agreement box from the keyboard, the English texts, and DLLs planted under the names of those
the program imports, which must never load."""

import base64
import os
import shutil
import tempfile
import unittest

import winedriver as wd
from winedriver import Ctl

# A blank, CJK, and letters outside both code pages the tests run under (936 and 1252).
UNICODE_PARENT = "C:\\Program Files\\测试 Ωğ"


class WineE2e(unittest.TestCase):
    def setUp(self):
        self.display = wd.Display()
        self.addCleanup(self.display.close)
        self.server = wd.Server()
        self.addCleanup(self.server.close)
        # Cleanups run last-in first-out: the prefix's processes end before the display goes.
        self.addCleanup(wd.stop_server)
        self.installer = None
        self.window = None

    def launch(self, ini=None, runtime=True, args=(), env=None, title=wd.MAIN_TITLE):
        wd.set_runtime_installed(self.display, runtime)
        self.installer = wd.Installer(ini or wd.install_ini(self.server.url))
        self.addCleanup(self.installer.close)
        self.installer.start(self.display, args, env)
        found = []
        wd.wait_until(lambda: self.installer.proc.poll() is not None
                      or found.append(self.display.find(title, 0)) or found[-1], 60, 0.3)
        self.window = found[-1] if found else None
        self.assertIsNotNone(self.window, f"no window titled {title}; log:\n"
                             + self.installer.log_text())
        self.assertTrue(wd.wait_until(lambda: self.window.geometry()[2:] == (640, 400), 10),
                        f"main window is {self.window.geometry()}")

    def unfold(self):
        if self.window.height() != 445:
            self.window.click(Ctl.BTN_EXTEND)
            self.assertTrue(wd.wait_until(lambda: self.window.height() == 445, 10),
                            "the custom panel did not unfold")

    def type_dir(self, path):
        self.unfold()
        self.window.click(Ctl.EDIT_PATH)
        self.display.keys("ctrl+a")
        self.display.type(path)

    def wait_for_page(self, page, seconds):
        shot = []

        def shows():
            shot[:] = [self.window.shot()]
            return wd.page_of(shot[0]) == page

        if not wd.wait_until(shows, seconds, 0.3):
            shot[0].save(f"{self.id()}-not-{page}")
            self.fail(f"the window shows the {wd.page_of(shot[0])} page, not the {page} page; "
                      f"log:\n{self.installer.log_text()}")

    def close_within(self, seconds):
        self.window.click(Ctl.BTN_CLOSE)
        return self.installer.exited_within(seconds)

    def own_processes(self):
        return [p for p in wd.prefix_processes() if p[1] in wd.OWN_PROGRAMS]

    def test_whole_installation_into_a_unicode_folder_starts_the_product(self):
        wd.serve_demo(self.server, wd.DEMO_RUNTIME)
        wd.serve_demo(self.server, wd.DEMO_PACKAGE)
        package = wd.demo_file(wd.DEMO_PACKAGE)
        marker = os.path.join(self.work_dir(), "product-ran")
        install_dir = UNICODE_PARENT + "\\Quillora"
        # The installer creates the last level only.
        os.makedirs(wd.unix_path(UNICODE_PARENT), exist_ok=True)
        self.addCleanup(shutil.rmtree, wd.unix_path(UNICODE_PARENT), True)
        # The runtime is missing: the demo runtime installer runs first.
        self.launch(wd.install_ini(self.server.url, "wine-e2e", runtime=wd.DEMO_RUNTIME,
                                   package=wd.DEMO_PACKAGE), runtime=False,
                    args=["--dir", UNICODE_PARENT],
                    env={"QI_DEMO_PRODUCT_MARKER": wd.win_path(marker)})
        self.window.click(Ctl.BTN_INSTALLER)
        self.wait_for_page("finished", 120)

        self.assertTrue(wd.runtime_registered(self.display), "the demo runtime did not register")
        with open(os.path.join(wd.WORK_FOLDER, "QuilloraSetup.exe"), "rb") as f:
            self.assertEqual(f.read(), package, "the package in the working folder")
        self.assertFalse(os.path.exists(os.path.join(self.installer.app, "QuilloraSetup.exe")))
        self.assertTrue(os.path.isfile(wd.unix_path(install_dir + "\\Quillora.exe")))
        with open(wd.unix_path(install_dir + "\\user.ini"), "rb") as f:
            user_ini = f.read().decode("utf-8", "replace").replace("\0", "")
        self.assertIn("channel=wine-e2e", user_ini)

        self.assertTrue(wd.wait_until(lambda: self.server.requested("POST", "/stats"), 20),
                        "no installation report")
        body = next(b for m, p, b in self.server.requests if p == "/stats").decode()
        self.assertTrue(body.startswith("info="), body)
        report = base64.b64decode(body[5:]).decode("utf-8", "replace")
        self.assertIn('"channel" : "wine-e2e"', report)
        self.assertIn('"lang" : "zh_cn"', report)

        # "立即体验" starts the product and ends the installer.
        self.window.click(Ctl.BTN_INSTALLER)
        self.assertTrue(self.installer.exited_within(20), "the installer stayed")
        self.assertEqual(self.installer.proc.returncode, 0, self.installer.log_text())
        self.assertTrue(wd.wait_until(lambda: os.path.exists(marker), 30), "the product did not start")
        with open(marker, encoding="utf-8") as f:
            self.assertEqual(f.read(), install_dir + "\\Quillora.exe\n")
        self.assertIsNotNone(self.display.find(wd.PRODUCT_TITLE, 30), "no window of the product")

    def test_invalid_folder_shows_the_message_box(self):
        self.launch(wd.install_ini("http://127.0.0.1:1"))
        # Two missing levels (only the last one may be created), and a relative path.
        for typed in ("C:\\missing qi dir\\deeper", "relative dir"):
            with self.subTest(typed=typed):
                self.type_dir(typed)
                self.window.click(Ctl.BTN_INSTALLER)
                box = self.display.find(wd.MSGBOX_TITLE, 20)
                self.assertIsNotNone(box, "no message box; log:\n" + self.installer.log_text())
                left, top, w, h = box.geometry()
                self.assertEqual((w, h), (410, 250))
                self.assertEqual((left + w // 2, top + h // 2), (640, 512), "not centred")
                box.click(Ctl.MSGBOX_CONFIRM)
                self.assertTrue(wd.wait_until(lambda: not self.display.shown(wd.MSGBOX_TITLE), 10),
                                "the message box stayed")
                self.wait_for_page("welcome", 10)
        self.assertFalse(os.path.exists(wd.unix_path("C:\\missing qi dir")))
        self.assertNotIn("创建安装线程", self.installer.log_text())
        self.assertTrue(self.close_within(20))
        self.assertEqual(self.installer.proc.returncode, 0)

    def test_closing_during_a_slow_download_ends_everything(self):
        self.server.slow("/pack.exe", 8 << 20, 4096, 0.05)  # 80 KiB/s: far from done
        self.launch()
        self.window.click(Ctl.BTN_INSTALLER)
        self.assertTrue(wd.wait_until(lambda: self.server.requested("GET", "/pack.exe"), 30),
                        "the package was not requested; log:\n" + self.installer.log_text())
        self.assertTrue(wd.wait_until(lambda: self.server.open_connections() > 0, 10))
        self.assertTrue(wd.wait_until(lambda: self.own_processes(), 5))
        self.wait_for_page("progress", 10)

        self.assertTrue(self.close_within(10), "the installer did not end within 10 s")
        self.assertEqual(self.installer.proc.returncode, 0, self.installer.log_text())
        self.assertTrue(wd.wait_until(lambda: not self.own_processes(), 10),
                        f"left running: {self.own_processes()}")
        self.assertTrue(wd.wait_until(lambda: self.server.open_connections() == 0, 10),
                        "the download's connection stayed open")
        # A part of the package under its name would be run by the next start as it is.
        self.assertFalse(os.path.exists(os.path.join(wd.WORK_FOLDER, "QuilloraSetup.exe")))

    def test_dragging_the_caption_moves_the_window(self):
        self.launch(wd.install_ini("http://127.0.0.1:1"))
        left, top, w, h = self.window.geometry()
        self.window.drag(100, 120, 150, -120)  # the teal band beside the logo
        self.assertTrue(wd.wait_until(
            lambda: self.window.geometry() == (left + 150, top - 120, w, h), 10),
            f"from {(left, top)} to {self.window.geometry()[:2]}")
        self.wait_for_page("welcome", 10)

    def test_tab_and_space_tick_the_agreement_box(self):
        self.launch(wd.install_ini("http://127.0.0.1:1"))
        self.window.hover(100, 120)  # keys go to the window; the pointer presses nothing
        self.window.focus()
        ticked = self.steady(Ctl.AGREE)
        # Tab order: install button, agreement box. Reached by the keyboard, the box is
        # outlined; Space unticks it and ticks it again.
        self.display.keys("Tab", "Tab")
        self.assertTrue(wd.wait_until(lambda: self.crop(Ctl.AGREE).differs(ticked) > 0, 10),
                        "no focus outline on the agreement box after Tab")
        focused = self.steady(Ctl.AGREE)
        self.display.keys("space")
        self.assertTrue(wd.wait_until(lambda: self.crop(Ctl.AGREE).differs(focused) > 20, 10),
                        "Space did not untick the agreement box")
        unticked = self.steady(Ctl.AGREE)
        self.display.keys("space")
        self.assertTrue(wd.wait_until(lambda: self.crop(Ctl.AGREE).differs(focused) == 0, 10),
                        "the second Space did not tick the box again")
        # Unticked from the keyboard, the box holds the install button back.
        self.display.keys("space")
        self.assertTrue(wd.wait_until(lambda: self.crop(Ctl.AGREE).differs(unticked) == 0, 10))
        self.window.click(Ctl.BTN_INSTALLER)
        self.assertFalse(self.installer.logged("创建安装线程", 2), "installed without agreement")
        self.wait_for_page("welcome", 5)

    def test_language_2_shows_english(self):
        self.launch(wd.install_ini("http://127.0.0.1:1", language=2),
                    title=wd.MAIN_TITLE_ENGLISH)
        self.assertFalse(self.display.shown(wd.MAIN_TITLE))
        # The English install button's text is not the Chinese one.
        english = self.steady(Ctl.BTN_INSTALLER)
        self.assertTrue(self.close_within(20))
        self.launch(wd.install_ini("http://127.0.0.1:1", language=1))
        chinese = self.steady(Ctl.BTN_INSTALLER)
        self.assertGreater(english.differs(chinese), 100)

    # -------------------------------------------------------------- helpers

    def crop(self, rect):
        return self.window.shot().crop(rect)

    def steady(self, rect):
        """A control's pixels once they stopped changing (hover fades, a caret)."""
        last = [self.crop(rect)]

        def same():
            now = self.crop(rect)
            result = now.rgb == last[0].rgb
            last[0] = now
            return result

        wd.wait_until(same, 5, 0.2)
        return last[0]

    def test_planted_dlls_never_load(self):
        # A DLL named as each one the program or a module imports at start or delays, beside
        # the program and in the current folder. Windows maps the KnownDLLs from System32
        # whatever a folder holds; Wine 8 has none and loads any DLL told to be native from
        # the program's folder, even kernel32 (and the dependencies of its own DLLs), so only
        # the names Windows would search for are preferred as native here.
        names = {n + ".dll" for n in os.environ["QI_WINE_E2E_DELAYED"].split(",")}
        for program in [wd.PROGRAM, *wd.MODULES]:
            names.update(wd.start_up_imports(os.path.join(wd.BIN, program)))
        searched = sorted(names - wd.known_dlls())
        self.assertIn("secur32.dll", searched)
        self.installer = wd.Installer(wd.install_ini(self.server.url, "planted"))
        self.addCleanup(self.installer.close)
        self.installer.cwd = self.work_dir()
        for folder in (self.installer.app, self.installer.cwd):
            for name in names:
                shutil.copy(os.environ["QI_WINE_E2E_PLANTED_DLL"], os.path.join(folder, name))
        markers = self.work_dir()
        env = {"QI_PLANTED_MARKERS": wd.win_path(markers),
               "WINEDLLOVERRIDES": wd.wine_env()["WINEDLLOVERRIDES"] + ";"
               + ",".join(searched) + "=n,b"}

        # The whole installation without a window: both downloads (the runtime is missing),
        # hashing, the children.
        self.server.file("/net4.exe", wd.demo_file(wd.DEMO_RUNTIME))
        self.server.file("/pack.exe", wd.demo_file(wd.DEMO_PACKAGE))
        wd.set_runtime_installed(self.display, False)
        self.installer.start(self.display, ["--silent", "--dir", wd.win_path(self.work_dir())],
                             env)
        self.assertTrue(self.installer.exited_within(120), "the silent run did not end")
        self.assertEqual(self.installer.proc.returncode, 0, self.installer.log_text())
        self.assertTrue(wd.runtime_registered(self.display), "the demo runtime did not run")
        self.assertEqual(os.listdir(markers), [])

        # The window: the renderer with its fonts, images and texts, the input method.
        self.installer.start(self.display, [], env)
        self.window = self.display.find(wd.MAIN_TITLE, 60)
        self.assertIsNotNone(self.window, self.installer.log_text())
        self.wait_for_page("welcome", 20)
        self.assertTrue(self.close_within(20), "the installer stayed")
        self.assertEqual(os.listdir(markers), [])

    def work_dir(self):
        path = tempfile.mkdtemp(prefix="qi-wine-e2e-work-")
        self.addCleanup(shutil.rmtree, path, True)
        return path


if __name__ == "__main__":
    unittest.main()
