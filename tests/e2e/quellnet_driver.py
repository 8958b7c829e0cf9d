"""Drives the real app through AT-SPI in a private Xvfb, session bus and HOME. Waits re-check
their condition on every GLib dispatch (AT-SPI event, X window mapped, file written, app exit)."""

import os
import random
import shutil
import subprocess
import tempfile
from pathlib import Path

from gi.repository import Gio, GLib


def wait_until(predicate, what, timeout=20.0):
    """`predicate`'s first truthy result, checked now and after every main-loop dispatch."""
    context, expired, last_error = GLib.MainContext.default(), [], None
    deadline = GLib.timeout_add(int(timeout * 1000), lambda: expired.append(True))
    try:
        while True:
            try:
                if result := predicate():
                    return result
            except AssertionError:
                raise
            except Exception as error:  # the tree changes under us while it is read
                last_error = error
            if expired:
                raise AssertionError(f"timed out waiting for {what} (last error: {last_error})")
            context.iteration(True)
            while context.pending():  # one check per burst of events
                context.iteration(False)
    finally:
        if not expired:
            GLib.source_remove(deadline)


def _wake_on_output(fd):
    def drain(_fd, condition):
        return bool(os.read(fd, 65536)) if condition & GLib.IO_IN else False
    GLib.io_add_watch(fd, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, drain)


def _window(*search):
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", *search],
                         capture_output=True, text=True).stdout.split()
    return ids[0] if ids else None


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=60)


class Session:
    """A private display, bus and home for one test; ends all it started. `real_system`: the
    platform enforces on this computer's own /etc (only inside the whole-system test's private
    namespace), not on a stand-in folder."""

    def __init__(self, real_system=False):
        # Set by ctest; DEVICE_PLATFORM_ENFORCE_WRITER (the build's test writer) too.
        self.app_path, self.device_settings_path, self.seed_path = (
            os.environ[v] for v in ("QUELLNET_APP", "DEVICE_SETTINGS", "E2E_SEED_BLOCKLIST"))
        self.root = tempfile.mkdtemp(prefix="quellnet-e2e-")
        self.env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                        QT_ACCESSIBILITY="1", NO_AT_BRIDGE="0")
        self.env.pop("QT_QUICK_BACKEND", None)
        self._processes = []
        try:
            self._start_display()
            for variable in ("HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                             "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
                self.env[variable] = os.path.join(self.root, variable.lower())
                os.makedirs(self.env[variable], mode=0o700)
            if not real_system:  # "this computer", with the module installed
                system = Path(self.root, "system")
                (system / "etc").mkdir(parents=True)
                (system / "etc/nsswitch.conf").write_text(
                    "hosts: quellnet [NOTFOUND=return] files dns\n")
                self.env["DEVICE_PLATFORM_SYSTEM_ROOT"] = str(system)
            self._start_bus()
        except BaseException:
            self.close()
            raise

    def _start(self, args, **kwargs):
        self._processes.append(subprocess.Popen(args, env=self.env, **kwargs))
        return self._processes[-1]

    def _start_display(self):
        # An explicit number makes Xvfb take its lock file before it opens any socket, so
        # parallel tests never share one. -noreset: else the server resets when its last
        # client leaves and drops an app connecting meanwhile.
        first = random.randrange(200, 900)
        for number in range(first, first + 50):
            read_end, write_end = os.pipe()
            xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0",
                 "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            with os.fdopen(read_end) as pipe:
                if pipe.readline().strip():  # written once the server accepts clients
                    break
            xvfb.wait(timeout=10)  # that number is taken: try the next
        else:
            raise AssertionError("Xvfb did not start")
        self._processes.append(xvfb)
        self.env["DISPLAY"] = os.environ["DISPLAY"] = f":{number}"
        self.env.pop("XAUTHORITY", None)
        # Top-level windows being mapped wake the waits for X windows.
        watcher = self._start(["xev", "-root", "-event", "substructure"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        _wake_on_output(watcher.stdout.fileno())

    def _start_bus(self):
        # Shared by the app's AT-SPI bridge and this driver; pyatspi connects when imported.
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[variable] = self.env[variable]
        global pyatspi
        import pyatspi  # noqa: F401  (python3-pyatspi, Debian's)
        # The app sends only events someone listens to; every change the waits look for is one.
        pyatspi.Registry.registerEventListener(lambda _event: None, "object", "window")
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

    def seed_blocklist(self, *names):
        subprocess.run([self.seed_path, *names], env=self.env, check=True, capture_output=True)

    def device_settings(self, *args):
        done = subprocess.run([self.device_settings_path, *args], env=self.env,
                              capture_output=True, text=True)
        assert done.returncode == 0, f"device-settings {args} failed: {done.stderr.strip()}"
        return done.stdout

    def wait_for_file(self, path, what):
        monitor = Gio.File.new_for_path(path).monitor_file(Gio.FileMonitorFlags.NONE, None)
        monitor.connect("changed", lambda *args: None)
        try:
            return wait_until(lambda: os.path.exists(path) and Path(path).read_text(), what)
        finally:
            monitor.cancel()

    def launch(self, path=None, kind=None, **options):
        """The app, or the program at `path` driven as a `kind` of App."""
        process = self._start([path or self.app_path], stdout=subprocess.PIPE)
        _wake_on_output(process.stdout.fileno())  # its closing, as the app exits, wakes a wait
        return (kind or App)(self, process, **options)


class App:
    def __init__(self, session, process, shown=("page tab", None)):
        """Once the process is on the accessibility bus and shows `shown` (role, name)."""
        self.session, self.process = session, process

        def find():
            assert process.poll() is None, f"the app exited with {process.returncode}"
            desktop = pyatspi.Registry.getDesktop(0)
            return next((c for c in map(desktop.getChildAtIndex, range(desktop.childCount))
                         if c is not None and c.get_process_id() == process.pid), None)
        self.accessible = wait_until(find, "the app on the accessibility bus")
        self.wait_for(*shown)

    def quit(self):
        self.process.terminate()
        self.process.wait(timeout=30)

    def find(self, role=None, name=None, description=None):
        """Every showing object with this role, name and description, in tree order."""
        def walk(obj):
            for child in map(obj.getChildAtIndex, range(obj.childCount)):
                if child is not None and child.getState().contains(pyatspi.STATE_SHOWING):
                    yield child
                    yield from walk(child)
        return [o for o in walk(self.accessible) if (role is None or o.getRoleName() == role)
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

    def press(self, obj):
        action = obj.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names or not action.doAction(names.index("press")):
            raise AssertionError(f"cannot press {obj.getRoleName()} {obj.name!r}")

    def select_tab(self, title):
        self.press(self.wait_for("page tab", title))
        self.wait_selected(title)

    def wait_selected(self, title):
        wait_until(lambda: (title, "", True) in self.tabs(), f"tab {title!r} selected")

    def save_preferences(self):
        self.select_tab("Settings")
        self.press(self.wait_for("push button", "Save preferences", ""))
        self.wait_for("list item", "Preferences saved!", "")

    def expect_status(self, enabled):
        self.select_tab("Status")
        self.wait_for("list item", f"DNS protection is {'en' if enabled else 'dis'}abled", "")

    def bring_to_front(self, leaving=None):
        """Gives the app the input focus: sheets only appear on a foreground-active window. With
        `leaving` (another App): until that one has seen itself inactive, which Qt decides a
        moment after the focus went, so that going back to it is a return."""
        xdotool("windowfocus",
                wait_until(lambda: _window("--pid", str(self.process.pid)), "the app's window"))
        wait_until(self.is_active, "the app to become active")
        if leaving is not None:
            wait_until(lambda: not leaving.is_active(), "the app left to become inactive")

    def leave_and_return(self):
        """Another X window takes the input focus, then the app gets it back."""
        self.session._start(["xmessage", "-name", "quellnet-e2e-focus", "-geometry", "+900+10",
                             "focus"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xdotool("windowfocus", wait_until(lambda: _window("--classname", "quellnet-e2e-focus"),
                                          "the focus helper window"))
        wait_until(lambda: not self.is_active(), "the app to become inactive")
        self.bring_to_front()

    def keys(self, *names):
        xdotool("key", "--clearmodifiers", *names)

    def type_keys(self, text):
        xdotool("type", "--delay", "30", text)

    def focused_is(self, role, name):
        focused = self.session.focused
        return (focused is not None and focused.getRoleName() == role and focused.name == name
                and focused.getState().contains(pyatspi.STATE_FOCUSED))

    def wait_focused(self, role, name):
        wait_until(lambda: self.focused_is(role, name), f"keyboard focus on {role} {name!r}")

    def key_until_focused(self, key, role, name, limit=80):
        for _ in range(limit):
            if self.focused_is(role, name):
                return
            before = self.session.focused
            self.keys(key)
            wait_until(lambda: self.session.focused is not before or self.focused_is(role, name),
                       f"the focus to move on with {key}")
        self.wait_focused(role, name)

    def type_into(self, field, text):
        """Types as a keyboard would (X events, not accessibility calls)."""
        x, y, width, height = field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")
        self.keys("ctrl+a", "BackSpace")
        self.type_keys(text)
        wait_until(lambda: field.queryText().getText(0, -1) == text, f"{text!r} typed")
