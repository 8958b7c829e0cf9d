"""Drives the real app through AT-SPI in a private Xvfb, session bus and HOME. Waits re-check
their condition on every GLib dispatch (AT-SPI event, X window mapped, file written, app exit)."""

import os
import random
import shutil
import subprocess
import tempfile
from pathlib import Path

from gi.repository import Gio, GLib

DEFAULT_TIMEOUT = 20.0
# Every change the waits look for arrives as one of these; the app sends only events that
# someone listens to.
EVENTS = ("object", "window")
E2EError = AssertionError


def wait_until(predicate, what, timeout=DEFAULT_TIMEOUT):
    """`predicate`'s first truthy result, checked now and after every main-loop dispatch."""
    context, expired, last_error = GLib.MainContext.default(), [], None
    deadline = GLib.timeout_add(int(timeout * 1000), lambda: expired.append(True))
    try:
        while True:
            try:
                if result := predicate():
                    return result
            except E2EError:
                raise
            except Exception as error:  # the tree changes under us while it is read
                last_error = error
            if expired:
                raise E2EError(f"timed out waiting for {what} (last error: {last_error})")
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


def _required_path(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        raise E2EError(f"{variable} must name the built executable (got {path!r})")
    return path


def _xdotool_search(*args):
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", *args],
                         capture_output=True, text=True).stdout.split()
    return ids[0] if ids else None


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=60)


class Session:
    """A private display, bus and home for one test; ends all it started."""

    def __init__(self, real_system=False):
        """`real_system`: the platform enforces on this computer's own /etc (only inside the
        whole-system test's private namespace), not on a stand-in folder."""
        self.app_path, self.device_settings_path, self.seed_path = map(
            _required_path, ("QUELLNET_APP", "DEVICE_SETTINGS", "E2E_SEED_BLOCKLIST"))
        self.root = tempfile.mkdtemp(prefix="quellnet-e2e-")
        self.env = dict(os.environ)
        self._processes = []
        try:
            self._start_display()
            for variable in ("HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                             "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
                self.env[variable] = os.path.join(self.root, variable.lower())
                os.makedirs(self.env[variable], mode=0o700, exist_ok=True)
            # "This computer" for the platform: its own nsswitch.conf with the module installed
            # and the build's test writer (DEVICE_PLATFORM_ENFORCE_WRITER, set by ctest).
            if not real_system:
                system_root = os.path.join(self.root, "system")
                os.makedirs(os.path.join(system_root, "etc"))
                with open(os.path.join(system_root, "etc", "nsswitch.conf"), "w") as nsswitch:
                    nsswitch.write("hosts: quellnet [NOTFOUND=return] files dns\n")
                self.env["DEVICE_PLATFORM_SYSTEM_ROOT"] = system_root
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
        # servers started at once by parallel tests never share a number. -noreset: else the
        # server resets when its last client leaves and drops an app connecting meanwhile.
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
        # Shared by the app's AT-SPI bridge and this driver; pyatspi connects when imported.
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[variable] = self.env[variable]
        global pyatspi
        import pyatspi  # noqa: F401  (python3-pyatspi, Debian's)
        pyatspi.Registry.registerEventListener(lambda _event: None, *EVENTS)
        pyatspi.Registry.registerEventListener(self._focus_moved, "object:state-changed:focused")
        self.focused = None

    def _focus_moved(self, event):
        if event.detail1:
            self.focused = event.source

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        for process in reversed(self._processes):  # apps first, Xvfb last
            process.terminate()
            process.wait(timeout=10)
            if process.stdout:
                process.stdout.close()
        shutil.rmtree(self.root, ignore_errors=True)

    # The world outside the app -------------------------------------------------------------

    def seed_blocklist(self, *names):
        subprocess.run([self.seed_path, *names], env=self.env, check=True, capture_output=True)

    def device_settings(self, *args):
        done = subprocess.run([self.device_settings_path, *args], env=self.env,
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise E2EError(f"device-settings {' '.join(args)} failed: {done.stderr.strip()}")
        return done.stdout

    def focus_helper_window(self):
        """A plain X window to take the input focus: the app becomes inactive."""
        self._start(["xmessage", "-name", "quellnet-e2e-focus", "-geometry", "+900+10", "focus"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return wait_until(lambda: _xdotool_search("--classname", "quellnet-e2e-focus"),
                          "the focus helper window")

    def wait_for_file(self, path, what, until=bool):
        """The file's text once it exists and `until(text)` holds."""
        monitor = Gio.File.new_for_path(path).monitor_file(Gio.FileMonitorFlags.NONE, None)
        monitor.connect("changed", lambda *args: None)
        def ready():
            text = os.path.exists(path) and Path(path).read_text()
            return text if text and until(text) else None
        try:
            return wait_until(ready, what)
        finally:
            monitor.cancel()

    def launch(self):
        process = self._start([self.app_path], stdout=subprocess.PIPE)
        _wake_on_output(process.stdout.fileno())  # its closing, as the app exits, wakes a wait
        app = App(self, process)
        app.wait_started()
        return app


class App:
    def __init__(self, session, process):
        self.session = session
        self.process = process

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
        """Ends the app as the system would; records are saved at every change."""
        self.process.terminate()
        self.process.wait(timeout=30)

    # Reading the tree --------------------------------------------------------------------

    def find(self, role=None, name=None, description=None):
        """Every showing object with this role, name and description, in tree order."""
        def walk(obj):
            for child in (obj.getChildAtIndex(i) for i in range(obj.childCount)):
                if child is not None and child.getState().contains(pyatspi.STATE_SHOWING):
                    yield child
                    yield from walk(child)
        return [o for o in walk(self.accessible)
                if (role is None or o.getRoleName() == role)
                and (name is None or o.name == name)
                and (description is None or o.description == description)]

    def wait_for(self, role, name, description=None):
        return wait_until(lambda: self.find(role, name, description), f"{role} {name!r}")[0]

    def wait_gone(self, role, name):
        wait_until(lambda: not self.find(role, name), f"{role} {name!r} to go")

    def tabs(self):
        return [(o.name, o.description, o.getState().contains(pyatspi.STATE_SELECTED))
                for o in self.find("page tab")]

    def is_active(self):
        frames = self.find("frame") or [self.accessible.getChildAtIndex(0)]
        return any(f.getState().contains(pyatspi.STATE_ACTIVE) for f in frames if f)

    # Acting ------------------------------------------------------------------------------

    def press(self, obj):
        action = obj.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names or not action.doAction(names.index("press")):
            raise E2EError(f"cannot press {obj.getRoleName()} {obj.name!r}")

    def select_tab(self, title):
        self.press(self.wait_for("page tab", title))
        self.wait_selected(title)

    def wait_selected(self, title):
        wait_until(lambda: (title, True) in [(t[0], t[2]) for t in self.tabs()],
                   f"tab {title!r} selected")

    def window(self):
        """The app's X window id."""
        return wait_until(lambda: _xdotool_search("--pid", str(self.process.pid)),
                          "the app's window")

    def bring_to_front(self):
        """Gives the app the input focus: sheets only appear on a foreground-active window."""
        xdotool("windowfocus", self.window())
        wait_until(self.is_active, "the app to become active")

    def leave_and_return(self):
        xdotool("windowfocus", self.session.focus_helper_window())
        wait_until(lambda: not self.is_active(), "the app to become inactive")
        self.bring_to_front()

    def keys(self, *names):
        """Presses keys (xdotool names, e.g. "Tab", "shift+Tab", "ctrl+f") on the focused window."""
        xdotool("key", "--clearmodifiers", *names)

    def type_keys(self, text):
        """Types `text` as a keyboard would, into whatever has the keyboard focus."""
        xdotool("type", "--delay", "30", text)

    def focused_is(self, role, name):
        focused = self.session.focused
        return (focused is not None and focused.getRoleName() == role and focused.name == name
                and focused.getState().contains(pyatspi.STATE_FOCUSED))

    def wait_focused(self, role, name):
        wait_until(lambda: self.focused_is(role, name), f"keyboard focus on {role} {name!r}")

    def key_until_focused(self, key, role, name, limit=80):
        """Presses `key` until the keyboard focus is on `role` `name`, one focus move at a time."""
        for _ in range(limit):
            if self.focused_is(role, name):
                return
            before = self.session.focused
            self.keys(key)
            wait_until(lambda: self.session.focused is not before or self.focused_is(role, name),
                       f"the focus to move on with {key}")
        self.wait_focused(role, name)

    def type_into(self, field, text, submit=False):
        """Types as a keyboard would (X events, not accessibility calls)."""
        x, y, width, height = field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")
        xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
        xdotool("type", "--delay", "30", text)
        wait_until(lambda: field.queryText().getText(0, -1) == text, f"{text!r} in {field.name!r}")
        if submit:
            xdotool("key", "Return")
