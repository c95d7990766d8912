"""kestrin end to end, with private ini files (ODBCSYSINI, ODBCINI and HOME
point into a temporary folder per test).

Where kestrin asks for a key or the driver draws its dialog, kestrin runs on
a pseudo-terminal of its own (pty_session). Everywhere else it runs without
a controlling terminal, so nothing can wait for a user.
"""

import configparser
import os
import shutil
import subprocess
import tempfile
import unittest

import e2e_support as e2e
from pty_session import PtySession

KESTRIN = os.environ.get("KESTRIN", "kestrin")
BANNER = "KESTRIN - to register or unregister ODBC driver\n\n"
CAPTION = "Orvelo Cloud VKL ODBC Driver Configuration"
DRIVER_NAME = "VKL Setup Test"
TIMEOUT = 30


class KestrinCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorn-kestrin-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.env = dict(os.environ)
        self.env.update(ODBCSYSINI=self.dir, ODBCINI=self.user_ini(), HOME=self.dir,
                        VORN_E2E_WORKDIR=self.dir)
        self.env.pop("ODBCSEARCH", None)

    def user_ini(self):
        return os.path.join(self.dir, "user-odbc.ini")

    def system_ini(self):
        return os.path.join(self.dir, "odbc.ini")

    def kestrin(self, *args, stdin="", env=None):
        """kestrin without a terminal; returns (status, output)."""
        proc = subprocess.run([KESTRIN] + list(args), input=stdin, capture_output=True,
                              text=True, env=dict(self.env, **(env or {})), cwd=self.dir,
                              timeout=TIMEOUT, start_new_session=True)
        return proc.returncode, proc.stdout + proc.stderr

    def on_terminal(self, *args, rows=24, cols=80):
        session = PtySession([KESTRIN] + list(args), self.env, rows=rows, cols=cols,
                             cwd=self.dir)
        self.addCleanup(session.close)
        return session

    def install(self):
        driver_dir, driver_file = os.path.split(e2e.driver_path())
        status, out = self.kestrin("/i", DRIVER_NAME, driver_file, driver_dir)
        self.assertEqual(0, status, out)
        self.assertIn("%s installed/registered successfully\n" % DRIVER_NAME, out)

    def read_ini(self, path):
        parser = configparser.ConfigParser(interpolation=None, strict=False)
        parser.optionxform = str
        parser.read(path)
        return parser

    def write(self, name, text):
        with open(os.path.join(self.dir, name), "w") as f:
            f.write(text)


class KestrinDriver(KestrinCase):
    def test_install_twice_then_uninstall_removes_both(self):
        self.install()
        self.install()
        ini = self.read_ini(os.path.join(self.dir, "odbcinst.ini"))
        library = os.path.realpath(e2e.driver_path())
        self.assertEqual({"Driver": library, "Setup": library, "UsageCount": "2"},
                         dict(ini[DRIVER_NAME]))

        status, out = self.kestrin("-U", DRIVER_NAME)
        self.assertEqual(0, status, out)
        self.assertEqual(BANNER + "Proceeding to un-register... \n\n  driver: %s\n\n"
                         "%s unregistered successfully (2)\n" % (DRIVER_NAME, DRIVER_NAME), out)
        ini = self.read_ini(os.path.join(self.dir, "odbcinst.ini"))
        self.assertFalse(ini.has_section(DRIVER_NAME))

    def test_uninstall_of_an_unknown_driver_says_nothing_more(self):
        status, out = self.kestrin("/u", "No Such Driver")
        self.assertEqual(0, status, out)
        self.assertEqual(BANNER + "Proceeding to un-register... \n\n  driver: No Such Driver\n\n",
                         out)

    def test_install_with_the_defaults_from_the_current_folder(self):
        driver_dir = os.path.dirname(e2e.driver_path())
        proc = subprocess.run([KESTRIN, "/I"], capture_output=True, text=True, env=self.env,
                              cwd=driver_dir, timeout=TIMEOUT, start_new_session=True)
        self.assertEqual(0, proc.returncode, proc.stdout)
        self.assertIn("     dll: libvornodbc.so\n    path: %s\n\n"
                      "General ODBC Driver 0 installed/registered successfully\n"
                      % driver_dir, proc.stdout)

    def test_install_failures(self):
        driver_dir, driver_file = os.path.split(e2e.driver_path())
        not_found = "Error: Could not locate driver DLL %s/nolib.so\n" % self.dir
        rows = [
            (self.dir, "nolib.so", {}, not_found),
            (self.dir + "/", "nolib.so", {}, not_found),
            (driver_dir, driver_file, {"ODBCSYSINI": os.path.join(self.dir, "missing")},
             "Registration failed, error no.: 6\nError details: Unable to find component name\n"),
        ]
        for folder, library, env, tail in rows:
            with self.subTest(folder=folder):
                status, out = self.kestrin("/i", DRIVER_NAME, library, folder, env=env)
                self.assertEqual(255, status, out)
                self.assertTrue(out.endswith(tail), out)


class KestrinRefusals(KestrinCase):
    def test_refusals(self):
        long_name = "d" * 256
        dsn = ('Error: "%s" cannot be a data source name: the installer takes 1 to 32 bytes, '
               "none of []{}(),;?*=!@\\, no control character and no blank at either end\n")
        driver = ('Error: "%s" cannot be a driver name: it must not be empty, hold [, ], = or ;, '
                  "a control character, or a blank at either end\n")
        self.write("bad.cfg", "[ODBC]\nDRIVER=VKL\nHOST=a\x01b\n")
        rows = [
            (("/d", "only-a-name"), -1, "DataSource name or ini file not given."),
            # A name is refused before the (missing) file or library is looked at.
            (("/d", "a]b", "missing.ini"), -1, dsn % "a]b"),
            (("/s", "n" * 33, "missing.ini"), -1, dsn % ("n" * 33)),
            (("/d", "a;b", "missing.ini"), -1, dsn % "a;b"),
            (("/d", " lead", "missing.ini"), -1, dsn % " lead"),
            (("/s", "trail ", "missing.ini"), -1, dsn % "trail "),
            (("/d", "a\nb", "missing.ini"), -1, dsn % "a\\nb"),
            (("/d", "\u00e9" * 17, "missing.ini"), -1, dsn % ("\u00e9" * 17)),
            (("/d", "vkl", "bad.cfg"), -1, "Attribute to be register are:\nDRIVER = VKL\n"
             "Error: the value of HOST in %s/bad.cfg holds a control character or a blank at "
             "either end.\n" % self.dir),
            (("/i", "VKL\nx", "nolib.so"), -1, driver % "VKL\\nx"),
            (("/u", "VKL "), -1, driver % "VKL "),
            (("/i", "A]B", "nolib.so"), -1, driver % "A]B"),
            (("/u", "A=B"), -1, driver % "A=B"),
            (("/i", ""), -1, driver % ""),
            (("/s", "name", "missing.ini"), -1, "File not exist."),
            (("/r",), -1, "DataSource name  not given."),
            (("/r", long_name), -1, "Error: argument 2 is longer than 255 characters.\n"),
            (("/i", long_name), -1, "Error: argument 2 is longer than 255 characters.\n"),
            (("/x",), 0, "USAGE: KESTRIN /i driver-name dll-name dll-path     ( to install )\n"
                         "       KESTRIN /u driver-name                       ( to uninstall )\n"),
        ]
        for args, status, tail in rows:
            with self.subTest(args=args[:2]):
                got_status, out = self.kestrin(*args)
                self.assertEqual(status & 0xFF, got_status, out)
                self.assertEqual(BANNER + tail, out)
        self.assertEqual([], [f for f in os.listdir(self.dir) if f.endswith(".ini")])


class KestrinRemove(KestrinCase):
    def test_remove_user_system_and_unknown(self):
        self.write("user-odbc.ini", "[mine]\nDriver=%s\nHOST=h\n" % DRIVER_NAME)
        self.write("odbc.ini", "[shared]\nDriver=%s\nHOST=h\n\n[MINE]\nHOST=kept\n"
                   % DRIVER_NAME)
        rows = [
            ("mine", 0, "Success\n", "user-odbc.ini"),
            ("shared", 0, "Success\n", "odbc.ini"),
            ("nosuch", 255, "Remove datasource failed.\n", None),
        ]
        for name, expected, line, where in rows:
            with self.subTest(name=name):
                status, out = self.kestrin("/r", name)
                self.assertEqual(expected, status, out)
                self.assertEqual(BANNER + "Remove datasource.\n" + line, out)
                if where:
                    self.assertFalse(self.read_ini(os.path.join(self.dir, where))
                                     .has_section(name))
        # The user's data source went; the system one of the same name stayed.
        self.assertEqual("kept", self.read_ini(self.system_ini())["MINE"]["HOST"])


class KestrinAddDataSource(KestrinCase):
    """kestrin /d and /s through the installer, the driver's ConfigDSN and its
    dialog; isql then connects through the saved data source."""

    def setUp(self):
        super().setUp()
        self.install()
        self.project = e2e.project_for(self)
        e2e.Emulator().reset(self.project)
        keys = e2e.aksk_keys(self.project)
        keys.update(DRIVER=DRIVER_NAME, PORT="1", SVCNAME="VKL", CONFFILE="/dev/null")
        self.keys = keys
        # A key with an empty value counts as absent.
        self.write("ds.ini", "[ODBC]\nQUEUENAME=\n"
                   + "".join("%s=%s\n" % kv for kv in keys.items()))

    def confirm(self, switch, answer, rows=24, cols=80):
        session = self.on_terminal(switch, "vkl_added", "ds.ini", rows=rows, cols=cols)
        session.expect("Confirm(y/n)")
        session.send(answer)
        return session

    def test_user_data_source_cancelled(self):
        session = self.confirm("/d", "n")
        session.expect("Cancelled.")
        self.assertEqual(0, session.wait())
        self.assertFalse(os.path.exists(self.user_ini()))
        printed = session.text()
        self.assertIn("Attribute to be register are:\r\nDRIVER = %s\r\n" % DRIVER_NAME,
                      printed)
        self.assertIn("PROJECTID = ****\r\n", printed)
        self.assertIn("SK = ****\r\n", printed)
        self.assertNotIn("QUEUENAME", printed)

    def test_system_data_source_cancelled(self):
        session = self.confirm("/s", "N")
        session.expect("Cancelled.")
        self.assertEqual(0, session.wait())
        self.assertFalse(os.path.exists(self.system_ini()))

    def saved_and_usable(self, path):
        saved = self.read_ini(path)["vkl_added"]
        expected = {k: v for k, v in self.keys.items() if k != "DRIVER"}
        expected.update(Driver=DRIVER_NAME, DSN="vkl_added")
        self.assertEqual(expected, {k: v for k, v in saved.items() if v != ""})
        result = e2e.run_isql("vkl_added", ["select id, name from customers where id = 4"],
                              self.env)
        self.assertEqual(0, result.rc, result)
        self.assertEqual(["id|name", "4|Bob"], result.lines())

    def test_user_data_source_confirmed_in_the_dialog(self):
        # A terminal large enough for the dialog's own layout.
        session = self.confirm("/d", "y", rows=45, cols=120)
        session.expect(CAPTION)
        session.expect("PORT=1;SVCNAME=VKL;")
        session.send("\r")
        self.assertEqual(0, session.wait(), session.report("kestrin failed"))
        self.assertFalse(os.path.exists(self.system_ini()))
        self.saved_and_usable(self.user_ini())

    def test_system_data_source_confirmed_in_the_dialog(self):
        # 80 x 24: the controls go one per line.
        session = self.confirm("/s", "y")
        session.expect(CAPTION)
        session.expect("PORT=1;SVCNAME=VKL;")
        session.send("\r")
        self.assertEqual(0, session.wait(), session.report("kestrin failed"))
        self.assertFalse(os.path.exists(self.user_ini()))
        self.saved_and_usable(self.system_ini())

    def test_enter_on_cancel_saves_nothing(self):
        session = self.confirm("/d", "y")
        session.expect("Enter: OK (on Cancel: Cancel)")
        session.send("\t\r")  # from OK, which has the focus first, to Cancel
        self.assertEqual(255, session.wait(), session.report("kestrin failed"))
        self.assertEqual([], self.read_ini(self.user_ini()).sections())

    def test_a_name_the_installer_cannot_store_keeps_the_dialog_open_on_it(self):
        self.env["LC_ALL"] = "C.UTF-8"
        session = self.confirm("/d", "y")
        session.expect("Ctrl-C or F10: close")
        typed = "]" + "\u00e9" * 12
        session.send("\t\t%s\x1b[Z\x1b[Z\r" % typed)  # "vkl_added]éé…", then back to OK
        session.expect('"vkl_added%s" cannot be' % typed)  # the whole line, however many bytes
        session.send("\r")
        session.expect("Ctrl-C or F10: close")
        session.send("\x7f" * len(typed) + "\r")  # erased in the name field, which has the focus
        self.assertEqual(0, session.wait(), session.report("kestrin failed"))
        self.saved_and_usable(self.user_ini())

    def test_a_write_the_installer_refuses_is_a_failure(self):
        self.env["ODBCINI"] = os.path.join(self.dir, "missing", "odbc.ini")
        session = self.confirm("/d", "y")
        session.expect("Ctrl-C or F10: close")
        session.send("\r")
        session.expect("is not saved")
        session.send("\r")
        session.expect("Ctrl-C or F10: close")  # still open
        session.send("\x03")
        session.expect("error code: 11\r\nWrite odbc datasource name failed.")
        self.assertEqual(255, session.wait())

    def test_without_a_terminal_the_dialog_fails_at_once(self):
        for switch in ("/d", "/s"):
            with self.subTest(switch=switch):
                status, out = self.kestrin(switch, "vkl_added", "ds.ini", stdin="y")
                self.assertEqual(255, status, out)
                self.assertIn("Confirm(y/n)\n", out)
                self.assertIn("error code: 11\nThe data-source dialog cannot be shown", out)
                self.assertFalse(os.path.exists(self.user_ini()))
                self.assertFalse(os.path.exists(self.system_ini()))


if __name__ == "__main__":
    unittest.main()
