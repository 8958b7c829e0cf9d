"""Drives the real Quellnet app through its accessibility tree (AT-SPI), as a user would.

A Session owns an Xvfb (`-noreset`: else the server resets when its last client leaves and
drops an app connecting meanwhile; no window manager), a session D-Bus shared by the app's
AT-SPI bridge and this driver (pyatspi connects when imported, so only then), and a private
HOME for the app, the seeding helper and `device-settings`. Focusing an `xmessage` window
makes the app inactive, focusing its own window active again: a real scene-phase change.
Nothing waits for a fixed time: `wait_until` re-checks its condition whenever the GLib main
loop dispatches something (an AT-SPI event, an X window mapped, a watched file written, the
app's exit) until its deadline.
"""

import os
import random
import shutil
import signal
import subprocess
import tempfile

from gi.repository import Gio, GLib

DEFAULT_TIMEOUT = 20.0
# Every change the waits look for arrives as one of these; the app sends only events that
# someone listens to.
EVENTS = ("object", "window")


class E2EError(AssertionError):
    pass


def wait_until(predicate, what, timeout=DEFAULT_TIMEOUT):
    """`predicate`'s first truthy result, checked now and after every main-loop dispatch."""
    context = GLib.MainContext.default()
    expired = []
    deadline = GLib.timeout_add(int(timeout * 1000), lambda: expired.append(True))
    last_error = None
    try:
        while True:
            try:
                result = predicate()
                if result:
                    return result
            except E2EError:
                raise
            except Exception as error:  # the tree changes under us while it is read
                last_error = error
            if expired:
                detail = f" (last error: {last_error})" if last_error else ""
                raise E2EError(f"timed out waiting for {what}{detail}")
            context.iteration(True)
            while context.pending():  # one check per burst of events
                context.iteration(False)
    finally:
        if not expired:
            GLib.source_remove(deadline)


def _wake_on_output(fd):
    """Lets output on (or the closing of) `fd` wake a wait."""
    def drain(_fd, condition):
        return bool(os.read(fd, 65536)) if condition & GLib.IO_IN else False
    GLib.io_add_watch(fd, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, drain)


def _on_event(_event):
    pass  # being dispatched is what wakes a wait


def _required_path(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        raise E2EError(f"{variable} must name the built executable (got {path!r})")
    return path


class Session:
    """A private display, bus, home and focus helper window for one test; closes all it started."""

    def __init__(self):
        self.app_path = _required_path("QUELLNET_APP")
        self.device_settings_path = _required_path("DEVICE_SETTINGS")
        self.seed_path = _required_path("E2E_SEED_BLOCKLIST")
        self.root = tempfile.mkdtemp(prefix="quellnet-e2e-")
        self.env = dict(os.environ)
        self._processes = []
        self._dbus_pid = None
        self._focus_helper = None
        self._apps = []
        try:
            self._start_display()
            for variable, sub in (("HOME", ""), ("XDG_DATA_HOME", "data"),
                                  ("XDG_CONFIG_HOME", "config"), ("XDG_STATE_HOME", "state"),
                                  ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime")):
                self.env[variable] = os.path.join(self.root, sub)
                os.makedirs(self.env[variable], mode=0o700, exist_ok=True)
            self.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                            QT_ACCESSIBILITY="1", NO_AT_BRIDGE="0")
            self.env.pop("QT_QUICK_BACKEND", None)
            self._start_bus()
        except BaseException:
            self.close()
            raise

    def _start(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self._processes.append(process)
        return process

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
                self._processes.append(xvfb)
                self.env["DISPLAY"] = os.environ["DISPLAY"] = f":{number}"
                self.env.pop("XAUTHORITY", None)
                # Top-level windows being mapped wake the waits for X windows.
                watcher = self._start(["xev", "-root", "-event", "substructure"],
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                _wake_on_output(watcher.stdout.fileno())
                return
            xvfb.wait(timeout=10)  # that number is taken: try the next
        raise E2EError("Xvfb did not start")

    def _start_bus(self):
        out = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
            env=self.env, capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self._dbus_pid = int(out[1])
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[variable] = self.env[variable]
        global pyatspi
        import pyatspi  # noqa: F401  (python3-pyatspi, Debian's)
        pyatspi.Registry.registerEventListener(_on_event, *EVENTS)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        for app in self._apps:
            app.kill()
        for process in reversed(self._processes):  # Xvfb last
            if process.poll() is None:
                process.terminate()
                process.wait(timeout=10)
        if self._dbus_pid:
            try:
                os.kill(self._dbus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.root, ignore_errors=True)

    # The world outside the app -------------------------------------------------------------

    def seed_blocklist(self, *names):
        """Stores records through the blocklist's own code, as the app would have."""
        subprocess.run([self.seed_path, *names], env=self.env, check=True, capture_output=True)

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
            self._focus_helper = self._start(
                ["xmessage", "-name", "quellnet-e2e-focus", "-geometry", "+900+10", "focus"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return wait_until(lambda: _xdotool_search("--classname", "quellnet-e2e-focus"),
                          "the focus helper window")

    def wait_for_file(self, path, what):
        """The file's text once it has some; a file monitor wakes the wait."""
        monitor = Gio.File.new_for_path(path).monitor_file(Gio.FileMonitorFlags.NONE, None)
        monitor.connect("changed", lambda *args: None)

        def text():
            if os.path.exists(path):
                with open(path) as file:
                    return file.read()
        try:
            return wait_until(text, what)
        finally:
            monitor.cancel()

    def launch(self):
        # The app alone holds the write end of this pipe: its closing wakes a wait.
        read_end, write_end = os.pipe()
        process = subprocess.Popen([self.app_path], env=self.env, pass_fds=(write_end,))
        os.close(write_end)
        app = App(self, process)
        app.exit_pipe = os.fdopen(read_end, "rb", buffering=0)
        _wake_on_output(read_end)
        self._apps.append(app)
        app.wait_started()
        return app


def _xdotool_search(*args):
    done = subprocess.run(["xdotool", "search", "--onlyvisible", *args],
                          capture_output=True, text=True)
    ids = done.stdout.split()
    return ids[0] if ids else None


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=60)


class App:
    """One running app process and its accessibility tree."""

    def __init__(self, session, process):
        self.session = session
        self.process = process
        self.accessible = None

    def wait_started(self):
        def find():
            if self.process.poll() is not None:
                raise E2EError(f"the app exited with {self.process.returncode}")
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                candidate = desktop.getChildAtIndex(i)
                if candidate is not None and candidate.get_process_id() == self.process.pid:
                    return candidate
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
            if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
                continue
            if child.getRoleName() in skip_roles:
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
        return wait_until(lambda: self.find(role, name, description),
                          f"{role} {name!r}", timeout)[0]

    def wait_gone(self, role, name, timeout=DEFAULT_TIMEOUT):
        wait_until(lambda: not self.find(role, name), f"{role} {name!r} to go", timeout)

    def rows(self):
        """(role, name, description) of every row and header the current screen shows, in
        tree order, without the tab bar."""
        return [(o.getRoleName(), o.name, o.description)
                for o in self._walk(self.accessible, skip_roles=("page tab list",))
                if o.getRoleName() in ("list item", "push button", "label", "text") and o.name]

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
        wait_until(lambda: (title, True) in [(t[0], t[2]) for t in self.tabs()],
                   f"tab {title!r} selected")

    def bring_to_front(self):
        """Gives the app the input focus: sheets only appear on a foreground-active window."""
        xdotool("windowfocus", self.window_id())
        wait_until(self.is_active, "the app to become active")

    def leave_and_return(self):
        """The user switches to another window and back: inactive, then active again."""
        xdotool("windowfocus", self.session.focus_helper_window())
        wait_until(lambda: not self.is_active(), "the app to become inactive")
        self.bring_to_front()

    def type_into(self, field, text, submit=False):
        """Clicks the field and types as a keyboard would (X events, not accessibility calls)."""
        x, y, width, height = field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")
        xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
        xdotool("type", "--delay", "30", text)
        wait_until(lambda: field.queryText().getText(0, -1) == text, f"{text!r} in {field.name!r}")
        if submit:
            xdotool("key", "Return")
