"""Drives the real Quellnet app through its accessibility tree (AT-SPI), as a user would.

What works on this machine (Debian 12, Qt 6.4, at-spi2-core 2.46), and why the helpers do what
they do:

- Each session starts its own Xvfb (no window manager) with `-noreset`, on a display number of
  its own taken through Xvfb's lock file. `xvfb-run -a` was tried first and failed now and then:
  without `-noreset` the server resets whenever its last client leaves (pyatspi and helper
  tools connect briefly), and an app connecting during that reset is dropped at once. A DISPLAY already set is ignored: focus
  changes would disturb a real desktop.
- An AT-SPI bus needs a session D-Bus. `Session` starts its own with
  `dbus-daemon --session --fork --print-address=1 --print-pid=1` and exports
  DBUS_SESSION_BUS_ADDRESS to the app and to this driver (pyatspi is imported only afterwards,
  since it connects when imported); the a11y bus launcher is started by that daemon on demand.
  `dbus-run-session` is not used: the app and the driver must share the one bus, and the daemon
  is stopped by its pid at the end.
- The app runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and QT_QPA_PLATFORM=xcb.
- HOME and every XDG folder point at one temporary folder, shared by the app, the seeding helper
  and `device-settings`, so the blocklist and the platform's DNS store are the test's own.
- Without a window manager, `xdotool windowfocus --sync` moves X input focus. Focusing another
  window (an `xmessage`) makes Qt's application state inactive, focusing the app's window makes
  it active again: a real scene-phase change. The frame's AT-SPI "active" state tells when each
  step has landed.
- Nothing waits for a fixed time: every wait polls the accessibility tree until a deadline.

Use from a test:

    with Session() as session:
        session.seed_blocklist("a.example")
        app = session.launch()
        app.select_tab("Settings")
        app.press(app.wait_for("push button", "Save preferences"))
        app.wait_for("list item", "Preferences saved!")
"""

import os
import random
import shutil
import signal
import subprocess
import tempfile
import time

DEFAULT_TIMEOUT = 20.0
POLL_INTERVAL = 0.1
ROW_ROLES = ("list item", "push button", "label", "text")


class E2EError(AssertionError):
    pass


def wait_until(predicate, what, timeout=DEFAULT_TIMEOUT):
    """Polls `predicate` until it returns something truthy; fails with `what` at the deadline."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except E2EError:
            raise
        except Exception as error:  # the tree changes under us while it is read
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise E2EError(f"timed out waiting for {what}{detail}")
        time.sleep(POLL_INTERVAL)


def _required_path(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        raise E2EError(f"{variable} must name the built executable (got {path!r})")
    return path


class Session:
    """A private home, session bus and focus helper window for one test; closes all it started."""

    def __init__(self):
        self.app_path = _required_path("QUELLNET_APP")
        self.device_settings_path = _required_path("DEVICE_SETTINGS")
        self.seed_path = _required_path("E2E_SEED_BLOCKLIST")
        self.root = tempfile.mkdtemp(prefix="quellnet-e2e-")
        self.env = dict(os.environ)
        self._xvfb = None
        self._dbus_pid = None
        self._focus_helper = None
        self._apps = []
        self._start_display()
        for variable, sub in (("HOME", ""), ("XDG_DATA_HOME", "data"),
                              ("XDG_CONFIG_HOME", "config"), ("XDG_STATE_HOME", "state"),
                              ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime")):
            path = os.path.join(self.root, sub)
            os.makedirs(path, exist_ok=True)
            self.env[variable] = path
        os.chmod(self.env["XDG_RUNTIME_DIR"], 0o700)
        self.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                        QT_ACCESSIBILITY="1", NO_AT_BRIDGE="0")
        self.env.pop("QT_QUICK_BACKEND", None)
        try:
            self._start_bus()
        except BaseException:
            self.close()
            raise

    def _start_display(self):
        # An explicit number makes Xvfb take its lock file before it opens any socket, so
        # servers started at once by parallel tests never share a number.
        first = random.randrange(200, 900)
        for number in range(first, first + 50):
            read_end, write_end = os.pipe()
            xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0",
                 "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            with os.fdopen(read_end) as pipe:
                ready = pipe.readline().strip()  # written once the server accepts clients
            if ready:
                self._xvfb = xvfb
                self.env["DISPLAY"] = f":{number}"
                os.environ["DISPLAY"] = self.env["DISPLAY"]
                self.env.pop("XAUTHORITY", None)
                return
            xvfb.wait(timeout=10)  # that number is taken: try the next
        raise E2EError("Xvfb did not start")

    def _start_bus(self):
        out = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
            env=self.env, capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self._dbus_pid = int(out[1])
        # pyatspi connects when imported: the driver joins the same bus first.
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[variable] = self.env[variable]
        global pyatspi
        import pyatspi  # noqa: F401  (python3-pyatspi, Debian's)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        for app in self._apps:
            app.kill()
        if self._focus_helper and self._focus_helper.poll() is None:
            self._focus_helper.terminate()
            self._focus_helper.wait(timeout=10)
        if self._dbus_pid:
            try:
                os.kill(self._dbus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        if self._xvfb and self._xvfb.poll() is None:
            self._xvfb.terminate()
            self._xvfb.wait(timeout=10)
        shutil.rmtree(self.root, ignore_errors=True)

    # The world outside the app -------------------------------------------------------------

    def seed_blocklist(self, *names):
        """Stores records through the blocklist's own code, as the app would have."""
        subprocess.run([self.seed_path, *names], env=self.env, check=True,
                       capture_output=True, text=True)

    def device_settings(self, *args):
        """The phone's Settings app, e.g. device_settings("dns", "enable", "Quellnet")."""
        done = subprocess.run([self.device_settings_path, *args], env=self.env,
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise E2EError(f"device-settings {' '.join(args)} failed: {done.stderr.strip()}")
        return done.stdout

    def focus_helper_window(self):
        """A plain X window to hand the input focus to (started once per session)."""
        if self._focus_helper is None:
            self._focus_helper = subprocess.Popen(
                ["xmessage", "-name", "quellnet-e2e-focus", "-geometry", "+900+10", "focus"],
                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return wait_until(lambda: _xdotool_search("--classname", "quellnet-e2e-focus"),
                          "the focus helper window")

    def launch(self):
        process = subprocess.Popen([self.app_path], env=self.env)
        app = App(self, process)
        self._apps.append(app)
        app.wait_started()
        return app


def _xdotool_search(*args):
    done = subprocess.run(["xdotool", "search", "--onlyvisible", *args],
                          capture_output=True, text=True, env=os.environ)
    ids = done.stdout.split()
    return ids[0] if ids else None


def _focus(window_id):
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True,
                   capture_output=True, timeout=30)


class App:
    """One running app process and its accessibility tree."""

    def __init__(self, session, process):
        self.session = session
        self.process = process
        self.accessible = None

    # Life --------------------------------------------------------------------------------

    def wait_started(self):
        def find():
            if self.process.poll() is not None:
                raise E2EError(f"the app exited with {self.process.returncode}")
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                candidate = desktop.getChildAtIndex(i)
                if candidate is not None and candidate.get_process_id() == self.process.pid:
                    return candidate
            return None
        self.accessible = wait_until(find, "the app on the accessibility bus")
        wait_until(lambda: self.find("page tab"), "the tab bar")

    def quit(self):
        """Ends the process as the system ends a phone app; records are saved at every change."""
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)

    def window_id(self):
        return wait_until(lambda: _xdotool_search("--pid", str(self.process.pid)),
                          "the app's window")

    # Reading the tree --------------------------------------------------------------------

    def _walk(self, obj, skip_roles=()):
        for i in range(obj.childCount):
            child = obj.getChildAtIndex(i)
            if child is None:
                continue
            state = child.getState()
            if not state.contains(pyatspi.STATE_SHOWING):
                continue
            role = child.getRoleName()
            if role in skip_roles:
                continue
            yield child
            yield from self._walk(child, skip_roles)

    def find(self, role=None, name=None, description=None, skip_roles=()):
        """Every showing object matching the given role name, name and description."""
        return [o for o in self._walk(self.accessible, skip_roles)
                if (role is None or o.getRoleName() == role)
                and (name is None or o.name == name)
                and (description is None or o.description == description)]

    def wait_for(self, role, name, description=None, timeout=DEFAULT_TIMEOUT):
        """The first showing object with this role and name, once it is there."""
        found = wait_until(lambda: self.find(role, name, description),
                           f"{role} {name!r}", timeout)
        return found[0]

    def wait_gone(self, role, name, timeout=DEFAULT_TIMEOUT):
        wait_until(lambda: not self.find(role, name), f"{role} {name!r} to go", timeout)

    def rows(self):
        """(role, name, description) of every row and header the current screen shows, in
        tree order, without the tab bar."""
        return [(o.getRoleName(), o.name, o.description)
                for o in self._walk(self.accessible, skip_roles=("page tab list",))
                if o.getRoleName() in ROW_ROLES and o.name]

    def tabs(self):
        """(title, symbol name, selected) of every tab, left to right."""
        return [(o.name, o.description, o.getState().contains(pyatspi.STATE_SELECTED))
                for o in self.find("page tab")]

    def is_active(self):
        frames = self.find("frame") or [self.accessible.getChildAtIndex(0)]
        return any(f.getState().contains(pyatspi.STATE_ACTIVE) for f in frames if f)

    # Acting ------------------------------------------------------------------------------

    def press(self, obj):
        """Performs the object's Press action, as assistive technology would."""
        action = obj.queryAction()
        for i in range(action.nActions):
            if action.getName(i).lower() == "press":
                if not action.doAction(i):
                    raise E2EError(f"Press refused by {obj.name!r}")
                return
        raise E2EError(f"{obj.getRoleName()} {obj.name!r} offers no Press action")

    def select_tab(self, title):
        self.press(self.wait_for("page tab", title))
        wait_until(lambda: any(t[0] == title and t[2] for t in self.tabs()),
                   f"tab {title!r} selected")

    def leave_and_return(self):
        """The user switches to another window and back: inactive, then active again."""
        helper = self.session.focus_helper_window()
        app_window = self.window_id()
        _focus(helper)
        wait_until(lambda: not self.is_active(), "the app to become inactive")
        _focus(app_window)
        wait_until(self.is_active, "the app to become active")
