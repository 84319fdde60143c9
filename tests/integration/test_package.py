"""The Debian package as a user gets it: installed with dpkg (as root), a
notification shown by an ordinary user on Xvfb from the installed files, and
removed again without a trace.

Needs root (it installs the package and runs the program as another user,
made for the test when missing). ZB_DEB names the package file. Run by the
test command after the build's own tests.
"""

import os
import pwd
import shutil
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402

PACKAGE = "zettelblick"
USER = "zettelblick-test"
DATA = "/usr/share/zettelblick"
SHIPPED = ["/usr/bin/zettelblick", DATA + "/thebat.jpg", DATA + "/message.wav",
           DATA + "/zettelblick.ini", "/usr/share/man/man1/zettelblick.1.gz"]


def run(*args):
    return subprocess.run(args, capture_output=True, text=True)


def installed():
    status = run("dpkg-query", "-W", "-f=${Status}", PACKAGE)
    return status.returncode == 0 and "installed" in status.stdout.split()


class PackageTest(apprun.AppTest):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("installing a package needs root")
        cls.deb = os.environ["ZB_DEB"]
        cls.made_user = run("getent", "passwd", USER).returncode != 0
        if cls.made_user:
            subprocess.run(["useradd", "--system", "--user-group", "--no-create-home",
                            "--home-dir", "/nonexistent", "--shell", "/usr/sbin/nologin", USER],
                           check=True)
        cls.user = pwd.getpwnam(USER)
        cls.install = run("dpkg", "-i", cls.deb)
        super().setUpClass()
        if cls.install.returncode == 0:
            cls.program = apprun.Installed(cls.user.pw_uid, cls.user.pw_gid)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if installed():
            run("dpkg", "-r", PACKAGE)
        if cls.made_user:
            run("userdel", USER)

    def user_folder(self, name, mode):
        path = os.path.join(self.root, name)
        os.makedirs(path, mode=mode)
        os.chown(path, self.user.pw_uid, self.user.pw_gid)
        return path

    def test_install_show_as_a_user_and_remove(self):
        self.assertEqual(self.install.returncode, 0, self.install.stderr)
        files = run("dpkg", "-L", PACKAGE).stdout.split()
        for path in SHIPPED:
            self.assertIn(path, files)

        # The user's own folders, in a root folder the user can enter; no
        # settings file yet and no session bus.
        os.chmod(self.root, 0o755)
        home = self.user_folder("home", 0o755)
        runtime = self.user_folder("run", 0o700)
        env = {name: value for name, value in self.env.items()
               if not name.startswith(("XDG_", "DBUS_"))}
        env.update(HOME=home, XDG_RUNTIME_DIR=runtime)

        # The window shows with the installed picture (a missing one would be
        # a failure report instead), the lock in the user's private lock
        # folder on this machine.
        locks = apprun.user_lock_folder(self.user.pw_uid)
        self.addCleanup(shutil.rmtree, locks, True)
        shown = self.show("/usr/bin", ["/place:Paket"], env=env)
        lock = os.path.join(locks, "zettelblick_Text1_Paket.tmp")
        self.assertEqual(os.stat(lock).st_uid, self.user.pw_uid)
        self.assertEqual(stat.S_IMODE(os.stat(locks).st_mode), 0o700)
        self.assertEqual(stat.S_IMODE(os.stat(lock).st_mode), 0o600)
        self.click(shown.window)
        self.finish(shown)
        self.assertEqual((shown.status, shown.boxes, shown.err), (0, 0, ""))
        self.assertFalse(os.path.exists(lock))
        # The position went into the user's settings folder, made private.
        folder = os.path.join(home, ".config", "zettelblick")
        self.assertEqual(stat.S_IMODE(os.stat(folder).st_mode), 0o700)
        lines = apprun.read_bytes(os.path.join(folder, "zettelblick.ini")).decode().splitlines()
        self.assertIn("left= 3495", lines)
        self.assertIn("top= 3495", lines)
        # Nothing was written beside the installed files.
        self.assertEqual(sorted(os.listdir(DATA)), ["message.wav", "thebat.jpg", "zettelblick.ini"])
        self.assertEqual([p for p in os.listdir("/usr/bin") if p.startswith("zettelblick")],
                         ["zettelblick"])

        result = run("dpkg", "-r", PACKAGE)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertFalse(installed())
        self.assertEqual([p for p in files if os.path.isfile(p)], [])
        self.assertFalse(os.path.exists(DATA))


if __name__ == "__main__":
    unittest.main()
