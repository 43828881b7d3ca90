"""Drives Appuntello under Wine as a person would, and reads what they would see.

Input goes through X: xdotool moves the pointer, clicks and types into the
Wine virtual desktop. What is on screen is read two ways: e2e_probe.exe, a
helper running in the same Wine prefix, tells where the windows, menus, dialog
controls and tray slots are and what the notes hold; screenshots tell what is
painted (the tray icon, the colour of a note). Nothing here calls into the
program or sends it messages, except that the bench may post the exit command.

Every wait polls a condition against a time limit and fails with what it was
waiting for; no step relies on a sleep alone.
"""

import os
import re
import select
import shutil
import subprocess
import sys
import time

# The tray menu and the note menu, item by item: 'T' text, '-' separator,
# '>' text that opens a submenu. Positions are the program's own.
TRAY_MENU = "T->-TT-T-T-T"
NOTE_MENU = "TTT>"
TRAY_NEW_NOTE, TRAY_NOTE_LIST, TRAY_SHOW_ALL, TRAY_HIDE_ALL = 0, 2, 4, 5
TRAY_DELETE_ALL, TRAY_OPTIONS, TRAY_EXIT = 7, 9, 11
NOTE_DELETE, NOTE_HIDE, NOTE_TITLE, NOTE_VOICE = 0, 1, 2, 3
VOICE_MENU = "TTT"
VOICE_PLAY, VOICE_RECORD, VOICE_DISCARD = 0, 1, 2

EXIT_COMMAND = 40003  # what "E&sci" sends to the controller window


class Failure(AssertionError):
    """A check of the program that did not hold."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(what, condition, timeout, interval=0.05):
    """Polls condition() until it returns something true, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def unescape(field):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "r": "\r", "n": "\n"}.get(m.group(1), m.group(1)), field)


def drawn_icon(size):
    """The program icon's picture for this size as res/make_icon.py draws it:
    rows of (red, green, blue), None where it is transparent."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res"))
    import make_icon
    check(size in make_icon.LAYOUTS, f"the icon has no picture of {size} pixels")
    layout = make_icon.LAYOUTS[size]
    return [[None if make_icon.pixel(layout, x, y) is None else make_icon.PALETTE[make_icon.pixel(layout, x, y)]
             for x in range(size)] for y in range(size)]


class Rect:
    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = int(x), int(y), int(w), int(h)

    @property
    def centre(self):
        return self.x + self.w // 2, self.y + self.h // 2

    def __eq__(self, other):
        return (self.x, self.y, self.w, self.h) == (other.x, other.y, other.w, other.h)

    def __repr__(self):
        return f"{self.w}x{self.h}+{self.x}+{self.y}"


class Window:
    def __init__(self, hwnd, pid):
        self.hwnd, self.pid = hwnd, int(pid)


class Note(Window):
    def __init__(self, f):
        super().__init__(f[1], f[2])
        self.visible = f[3] == "1"
        self.rect = Rect(*f[4:8])
        self.client = Rect(*f[8:12])
        self.title = unescape(f[12])
        self.text = unescape(f[13]) if len(f) > 13 else None

    def __repr__(self):
        return f"note {self.title!r} {self.rect}{'' if self.visible else ' hidden'} text {self.text!r}"


class State:
    """One look at the desktop. Notes, menus and dialogs are in z-order, top first."""

    def __init__(self, lines):
        self.notes, self.menus, self.dialogs, self.controllers, self.slots = [], [], [], [], []
        self.recorders = []
        self.taskbar_window, self.taskbar, self.tray_tooltips, self.foreground = None, None, 0, None
        for f in lines:
            kind = f[0]
            if kind == "screen":
                self.screen = (int(f[1]), int(f[2]))
            elif kind == "foreground":
                self.foreground = f[1]
            elif kind == "taskbar":
                self.taskbar_window, self.taskbar, self.tray_tooltips = f[1], Rect(*f[2:6]), int(f[6])
            elif kind == "trayslot":
                self.slots.append(Rect(*f[2:6]))
            elif kind == "controller":
                self.controllers.append(Window(f[1], f[2]))
            elif kind == "note":
                self.notes.append(Note(f))
            elif kind == "menu":
                menu = Window(f[1], f[2])
                menu.rect = Rect(*f[3:7])
                self.menus.append(menu)
            elif kind == "dialog":
                dialog = Window(f[1], f[2])
                dialog.owner, dialog.rect, dialog.title = f[3], Rect(*f[4:8]), unescape(f[8])
                self.dialogs.append(dialog)
            elif kind == "recorder":
                recorder = Window(f[1], f[2])
                recorder.owner, recorder.visible = f[3], f[4] == "1"
                recorder.rect, recorder.title = Rect(*f[5:9]), unescape(f[9])
                self.recorders.append(recorder)

    def notes_of(self, pid):
        return [n for n in self.notes if n.pid == pid]

    def note(self, hwnd):
        return next((n for n in self.notes if n.hwnd == hwnd), None)

    def dialog(self, title=None, owner=None):
        return next((d for d in self.dialogs
                     if (title is None or d.title == title) and (owner is None or d.owner == owner)), None)


class Probe:
    """e2e_probe.exe, kept running: one request, one answer."""

    def __init__(self, loader, exe, env=None):
        self.process = subprocess.Popen([loader, exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        self.pending = b""

    def ask(self, request, timeout=30):
        self.process.stdin.write(request.encode() + b"\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + timeout
        lines = []
        fd = self.process.stdout.fileno()
        while True:
            while b"\n" not in self.pending:
                left = deadline - time.monotonic()
                check(left > 0, f"the probe did not answer {request!r} within {timeout} s")
                ready, _, _ = select.select([fd], [], [], left)
                if ready:
                    chunk = os.read(fd, 1 << 16)
                    check(chunk, "the probe ended")
                    self.pending += chunk
            line, self.pending = self.pending.split(b"\n", 1)
            text = line.rstrip(b"\r").decode("cp1252", errors="replace")
            if text == ".":
                return lines
            lines.append(text.split("\t"))

    def one(self, request, kind):
        """The answer's single line of this kind; its error otherwise."""
        lines = self.ask(request)
        for f in lines:
            if f[0] == kind:
                return f
        raise Failure(f"probe: {request!r} answered {lines!r}")

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.flush()
            self.process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()


class Pixels:
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


class Screen:
    """The X display: pointer, keyboard and screenshots, in Windows coordinates."""

    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.origin = (0, 0)
        root = subprocess.run(["xwininfo", "-root"], capture_output=True, text=True, check=True).stdout
        self.size = (int(re.search(r"Width: (\d+)", root).group(1)), int(re.search(r"Height: (\d+)", root).group(1)))

    def desktops(self):
        return subprocess.run(["xdotool", "search", "--name", " - Wine desktop$"],
                              capture_output=True, text=True).stdout.split()

    def use_desktop(self, window):
        """The X window into which Wine draws its virtual desktop places Windows' (0, 0)."""
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
        self.origin = (int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1)),
                       int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1)))

    def _x(self, x, y):
        return str(x + self.origin[0]), str(y + self.origin[1])

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, timeout=60)

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True, text=True,
                             check=True, timeout=60).stdout
        return re.search(r"X=(-?\d+)", out).group(1), re.search(r"Y=(-?\d+)", out).group(1)

    def move(self, x, y):
        # --sync waits for the pointer to arrive, and for ever if it is there already.
        if self.pointer() != self._x(x, y):
            self.xdotool("mousemove", "--sync", *self._x(x, y))

    def click(self, x, y, button=1, count=1):
        self.move(x, y)
        self.xdotool("click", "--repeat", str(count), "--delay", "120", str(button))

    def type(self, text):
        self.xdotool("type", "--delay", "40", "--", text)

    def start_typing(self, text, delay=40):
        """Types in the background; the running xdotool, for its end to be awaited."""
        return subprocess.Popen(["xdotool", "type", "--delay", str(delay), "--", text])

    def key(self, *keys, repeat=1):
        self.xdotool("key", "--delay", "30", "--repeat", str(repeat), *keys)

    def grab(self):
        width, height = self.size
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                              capture_output=True, check=True, timeout=60).stdout
        check(len(data) == width * height * 3, "a screenshot of unexpected size")
        return Pixels(width, height, data)

    def pixel(self, pixels, x, y):
        return pixels.at(x + self.origin[0], y + self.origin[1])

    def screenshot(self, name):
        path = os.path.join(self.out_dir, name)
        subprocess.run(["import", "-window", "root", path], check=True, timeout=60)
        return path


def settled_desktop(probe, screen, steady=2.0, timeout=60):
    """Wine closes a desktop 1 s after its last program has ended, and the next
    program brings up a new one: a run that starts just then sees the old one
    go. Settled is one desktop window and one taskbar, the same for longer
    than that. Returns the desktop's X window."""
    seen = {"key": None, "since": 0.0}

    def settled():
        windows = screen.desktops()
        key = (tuple(windows), State(probe.ask("state")).taskbar_window)
        now = time.monotonic()
        if len(windows) != 1 or key[1] is None or key != seen["key"]:
            seen.update(key=key, since=now)
            return None
        return windows[0] if now - seen["since"] >= steady else None
    return wait_until("one settled Wine desktop with its taskbar", settled, timeout, 0.2)


class Program:
    """One start of a program file under Wine; its store lies beside it."""

    def __init__(self, session, exe):
        self.session, self.exe = session, exe
        self.process = None
        self.started = None  # time.monotonic() at the start
        self.pid = None  # the Windows process id, once its controller window exists
        self.env = None  # its environment, when not this one's

    @property
    def folder(self):
        return os.path.dirname(self.exe)

    @property
    def store(self):
        return os.path.splitext(self.exe)[0] + ".ini"

    def start(self):
        log = open(os.path.join(self.session.out_dir, "wine.log"), "ab")
        self.process = subprocess.Popen([self.session.loader, self.exe], cwd=self.folder, stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=log, env=self.env)
        log.close()
        self.started = time.monotonic()
        return self

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_end(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program was still running {timeout} s later") from None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()


class Layout:
    """Item places of a popup menu, relative to its window, as the system lays it out."""

    def __init__(self, lines):
        check(lines and lines[0][0] == "layout", f"probe: no menu layout: {lines!r}")
        self.window = Rect(*lines[0][1:5])
        self.items = [Rect(*f[1:5]) for f in lines[1:]]


class Session:
    def __init__(self, bin_dir, out_dir):
        self.loader = os.environ["WINELOADER"]
        self.bin_dir, self.out_dir = bin_dir, out_dir
        os.makedirs(out_dir, exist_ok=True)
        # The probe's first question brings up the desktop if Wine has closed
        # it, and the probe running keeps it up for the session.
        self.probe = Probe(self.loader, os.path.join(bin_dir, "e2e_probe.exe"))
        self.screen = Screen(out_dir)
        self.screen.use_desktop(settled_desktop(self.probe, self.screen))
        self.layouts = {}
        self.programs = []

    def close(self):
        try:
            for program in self.programs:
                program.kill()
        finally:
            self.probe.close()

    # ---- Programs ----

    def program_in(self, name, exe="Appuntello.exe", store=None):
        """A copy of the program in a folder of its own under the output folder;
        store: the bytes its store starts with, or None for no store at all."""
        folder = os.path.join(self.out_dir, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        path = os.path.join(folder, os.path.basename(exe))
        shutil.copy(os.path.join(self.bin_dir, exe), path)
        program = Program(self, path)
        if store is not None:
            with open(program.store, "wb") as f:
                f.write(store)
        return program

    def start(self, program):
        self.programs.append(program)
        return program.start()

    def stop_programs(self):
        """Ends whatever a failed scenario left running, and waits for its windows to go."""
        for program in self.programs:
            program.kill()
        self.programs = []
        self.check_no_program("a program's windows stay after it was ended")

    def check_no_program(self, message):
        try:
            wait_until("no program window", lambda: not self.state().controllers, 30, 0.1)
        except Failure:
            raise Failure(message) from None

    # ---- Looking ----

    def state(self, texts=False):
        return State(self.probe.ask("state texts" if texts else "state"))

    def wait(self, what, condition, timeout=20, texts=False):
        """Polls the state until condition(state) gives something true."""
        last = []

        def look():
            state = self.state(texts)
            last[:] = [state]
            return condition(state)
        try:
            return wait_until(what, look, timeout, 0.1)
        except Failure as failure:
            if last:
                state = last[0]
                details = "; ".join(repr(n) for n in state.notes) or "no notes"
                details += f"; menus {len(state.menus)}; dialogs {[d.title for d in state.dialogs]}"
                raise Failure(f"{failure} (seen: {details})") from None
            raise

    def tray_icons(self, state, pixels=None):
        """Which tray slots have an icon painted in them: an icon slot is drawn on
        the taskbar's background, and its 2-pixel border always stays that colour."""
        pixels = pixels or self.screen.grab()
        drawn = []
        for index, slot in enumerate(state.slots):
            background = self.screen.pixel(pixels, slot.x, slot.y)
            painted = any(self.screen.pixel(pixels, x, y) != background
                          for y in range(slot.y + 2, slot.y + slot.h - 2)
                          for x in range(slot.x + 2, slot.x + slot.w - 2))
            if painted:
                drawn.append(index)
        return drawn

    def tray_icon_mismatches(self, state, pixels=None):
        """Pixels of the icon in the first tray slot that differ from the picture
        drawn for the slot's size, inside its border; transparent ones show the
        taskbar. None differs where the tray shows that picture unstretched."""
        slot = state.slots[0]
        picture = drawn_icon(slot.w - 4)
        pixels = pixels or self.screen.grab()
        background = self.screen.pixel(pixels, slot.x, slot.y)
        return sum((colour or background) != self.screen.pixel(pixels, slot.x + 2 + x, slot.y + 2 + y)
                   for y, row in enumerate(picture) for x, colour in enumerate(row))

    def wait_ready(self, program, notes, timeout=60):
        """Started: its controller window exists, its tray icon is painted in the
        first slot, and this many of its notes are shown."""
        def ready(state):
            if len(state.controllers) != 1 or not state.slots:
                return None
            pid = state.controllers[0].pid
            if len([n for n in state.notes_of(pid) if n.visible]) != notes:
                return None
            if 0 not in self.tray_icons(state):
                return None
            program.pid = pid
            return state
        return self.wait(f"the program's tray icon and {notes} shown notes", ready, timeout, texts=True)

    # ---- Menus ----

    def layout(self, kinds):
        """Measured once per kind of menu, while no other menu is open."""
        if kinds not in self.layouts:
            self.layouts[kinds] = Layout(self.probe.ask(f"layout {kinds}"))
        return self.layouts[kinds]

    def measure_menus(self, list_lengths=range(1, 6)):
        self.layout(TRAY_MENU)
        self.layout(NOTE_MENU)
        for n in list_lengths:
            self.layout("T" * n)

    def wait_menu(self, program, known=()):
        """A shown popup menu of the program that is not among the known ones."""
        return self.wait("a popup menu to open",
                         lambda s: next((m for m in s.menus if m.pid == program.pid and m.hwnd not in known), None))

    def choose(self, menu, kinds, index):
        """Clicks item index of an open menu, found from the menu window's own
        rectangle and the places the system gives the items of such a menu."""
        layout = self.layout(kinds)
        check(menu.rect.h == layout.window.h,
              f"the menu is {menu.rect.h} pixels high, a menu of items {kinds!r} would be {layout.window.h}")
        item = layout.items[index]
        self.screen.click(menu.rect.x + menu.rect.w // 2, menu.rect.y + item.y + item.h // 2)

    def wait_menus_closed(self, program):
        self.wait("the menus to close", lambda s: not [m for m in s.menus if m.pid == program.pid])

    def open_tray_menu(self, program):
        state = self.state()
        slot = state.slots[0]
        self.screen.click(*slot.centre)
        return self.wait_menu(program)

    def tray_command(self, program, index):
        menu = self.open_tray_menu(program)
        self.choose(menu, TRAY_MENU, index)
        self.wait_menus_closed(program)

    def note_command(self, program, note, index):
        x, y = self.caption_point(note)
        self.screen.click(x, y, button=3)
        menu = self.wait_menu(program)
        self.choose(menu, NOTE_MENU, index)
        self.wait_menus_closed(program)

    def open_voice_menu(self, program, note):
        """The note's menu opened on its caption and its voice submenu opened
        from it; the submenu's window."""
        x, y = self.caption_point(note)
        self.screen.click(x, y, button=3)
        menu = self.wait_menu(program)
        self.choose(menu, NOTE_MENU, NOTE_VOICE)
        return self.wait_menu(program, known=[menu.hwnd])

    def menu_item_enabled(self, menu, kinds, index):
        """Whether an item of an open menu is drawn enabled: its text in the
        menu text colour (black), not greyed. Needs the pointer off the item."""
        layout = self.layout(kinds)
        item = layout.items[index]
        pixels = self.screen.grab()
        return any(self.screen.pixel(pixels, menu.rect.x + x, menu.rect.y + y) == (0, 0, 0)
                   for y in range(item.y + 2, item.y + item.h - 2)
                   for x in range(item.x + 4, min(item.x + item.w, layout.window.w) - 4))

    # ---- Windows ----

    def caption_point(self, window):
        f = self.probe.one(f"caption {window.hwnd}", "caption")
        return int(f[1]), int(f[2])

    def client_point(self, window):
        f = self.probe.one(f"spot {window.hwnd}", "spot")
        return int(f[1]), int(f[2])

    def control(self, dialog, control_id, cls=None):
        """A child control by id; with a class, one of that class at any depth."""
        f = self.probe.one(f"control {dialog.hwnd} {control_id}" + (f" {cls}" if cls else ""), "control")
        control = Window(f[1], dialog.pid)
        control.cls, control.rect, control.enabled, control.text = f[2], Rect(*f[3:7]), f[7] == "1", unescape(f[8])
        control.position = int(f[9]) if len(f) > 9 else None
        return control

    def focus(self, window):
        return self.probe.one(f"focus {window.hwnd}", "focus")[1]

    def window_at(self, x, y):
        """The top-level window that a click at this point reaches."""
        return self.probe.one(f"at {x} {y}", "at")[2]

    def drag(self, start, end):
        """Presses the left button at start, moves in steps to end, releases."""
        self.screen.move(*start)
        self.screen.xdotool("mousedown", "1")
        for step in range(1, 6):
            self.screen.move(start[0] + (end[0] - start[0]) * step // 5, start[1] + (end[1] - start[1]) * step // 5)
        self.screen.xdotool("mouseup", "1")

    def uncover(self, window, point):
        """Moves the notes that lie over this point of the window out of the way,
        by their captions, as a person would before clicking there."""
        for _ in range(10):
            over = self.window_at(*point)
            if over == window.hwnd:
                return
            note = self.state().note(over)
            check(note is not None, f"a window that is no note covers {point} of {window.hwnd}")
            grip = self.caption_point(note)
            shift = point[0] - note.rect.x + 30
            self.drag(grip, (grip[0] + shift, grip[1]))
            self.wait("a note to move aside", lambda st: st.note(note.hwnd).rect.x == note.rect.x + shift)
        raise Failure(f"could not uncover {point} of {window.hwnd}")

    def click_control(self, dialog, control_id):
        point = self.control(dialog, control_id).rect.centre
        self.uncover(dialog, point)
        self.screen.click(*point)

    def set_trackbar(self, dialog, control_id, target):
        """Moves a slider with the keyboard as a person would: Tab to it, Home,
        Page Down while a whole page fits, then the arrow keys; each key press
        is checked against the position the slider reports."""
        slider = self.control(dialog, control_id)
        for _ in range(10):
            if self.focus(dialog) == slider.hwnd:
                break
            self.screen.key("Tab")
        check(self.focus(dialog) == slider.hwnd, f"Tab did not reach slider {control_id}")

        def position():
            return self.control(dialog, control_id).position

        def press(keys, repeat, expect):
            """Presses the keys; the new position, once it is expect (any new one for None)."""
            before = now
            self.screen.key(*keys, repeat=repeat)

            def arrived():
                p = position()
                return p if p == expect or (expect is None and p != before) else None
            return wait_until(f"slider {control_id} at {expect}" if expect else f"slider {control_id} to move",
                              arrived, 10)

        now = position()
        if now != 40:
            now = press(["Home"], 1, 40)
        page = None
        for _ in range(40):
            if now == target:
                return
            if page is None:
                moved = press(["Next"], 1, None)
                page, now = moved - now, moved
            elif target - now >= page:
                now = press(["Next"], 1, now + page)
            elif now < target:
                now = press(["Right"], target - now, target)
            else:
                now = press(["Left"], now - target, target)
        raise Failure(f"slider {control_id} did not reach {target}")


def read_store(path):
    """The store as sections of keys, in the program's code page."""
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    sections, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.rstrip().endswith("]"):
            current = sections.setdefault(line.strip()[1:-1], {})
        elif current is not None and "=" in line:
            key, value = line.split("=", 1)
            current[key] = value
    return sections


def read_store_if_there(path):
    """The store's sections, or None while there is no store file."""
    try:
        return read_store(path)
    except FileNotFoundError:
        return None


def sound_streams(kind):
    """The sound server's streams of a kind, "sink-inputs" (playing) or
    "source-outputs" (recording), as pactl lists them."""
    env = dict(os.environ, HOME=os.path.join(os.environ["XDG_RUNTIME_DIR"], "home"))
    out = subprocess.run(["pactl", "list", "short", kind], capture_output=True, text=True, env=env, timeout=30)
    check(out.returncode == 0, f"pactl list {kind} failed: {out.stderr.strip()}")
    return out.stdout.split("\n")[:-1] if out.stdout else []


def stored_notes(sections):
    """(title, text, voice path) of the note sections "0", "1", ... in order."""
    notes = []
    while str(len(notes)) in sections:
        s = sections[str(len(notes))]
        notes.append((s.get("TITOLO"), s.get("MESSAGE"), s.get("AUDIO")))
    return notes


def store_bytes(settings, notes):
    """A store as the program writes one: settings (width, height, colour) and
    notes of (title, text with CR LF, voice path)."""
    width, height, colour = settings
    lines = ["[OPZIONI]", f"LARGHEZZA={width}", f"ALTEZZA={height}", f"COLORE={colour}"]
    for i, (title, text, voice) in enumerate(notes):
        lines += [f"[{i}]", f"TITOLO={title}", "MESSAGE=" + text.replace("\r\n", "#@"), f"AUDIO={voice}"]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")
