#!/usr/bin/env python3
"""End-to-end scenarios: the real Appuntello.exe under Wine, in the Wine virtual
desktop, driven through the tray icon, menus, notes and dialogs with the mouse
and keyboard. Run by scripts/test after the in-process tests, with the display,
sound server and Wine prefix it has set up:

    run.py --bin BUILD/ARCH/bin --out BUILD/e2e [scenario number...]

Each scenario leaves a screenshot in the output folder. The last line printed
is "N passed, M failed"; the exit status is 1 when any failed.
"""

import argparse
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from driver import (EXIT_COMMAND, NOTE_HIDE, TRAY_EXIT, TRAY_MENU, TRAY_NEW_NOTE, TRAY_NOTE_LIST, TRAY_OPTIONS,
                    VOICE_DISCARD, VOICE_MENU, VOICE_PLAY, VOICE_RECORD, Failure, Probe, Program, Session, State, check,
                    read_store, read_store_if_there, sound_streams, store_bytes, stored_notes, wait_until)
from syncthing import Syncthing

DEFAULT_SETTINGS = {"LARGHEZZA": "160", "ALTEZZA": "120", "COLORE": "65535"}
NEW_TITLE = re.compile(r"Appuntello - (\d\d)/(\d\d)/(\d{4})  (\d\d):(\d\d)$")
YELLOW, PINK = (255, 255, 0), (255, 127, 255)
PINK_COLORREF = 0x00FF7FFF  # third of the colour picker's custom colours
EXIT_LIMIT = 30  # s from "E&sci" until the process has ended


def minute(t):
    return t.replace(second=0, microsecond=0)


def check_new_title(title, before, after):
    """A new note is titled with the local date and time of its creation."""
    m = NEW_TITLE.match(title)
    check(m, f"new note titled {title!r}")
    day, month, year, hour, mins = map(int, m.groups())
    when = datetime.datetime(year, month, day, hour, mins)
    check(minute(before) <= when <= minute(after), f"new note titled {title!r}, created between {before} and {after}")


def new_note(s, program, known):
    """"&Nuovo Memino" from the tray menu; the note that appears."""
    before = datetime.datetime.now()
    s.tray_command(program, TRAY_NEW_NOTE)
    state = s.wait(f"note {len(known) + 1} to appear",
                   lambda st: st if len(st.notes_of(program.pid)) == len(known) + 1 else None)
    after = datetime.datetime.now()
    note = next(n for n in state.notes_of(program.pid) if n.hwnd not in known)
    check(note.visible, "the new note is shown")
    check_new_title(note.title, before, after)
    return note


def exit_program(s, program):
    """"E&sci" from the tray menu, then the process must end with 0 and take
    its tray icon along."""
    s.tray_command(program, TRAY_EXIT)
    code = program.wait_end(EXIT_LIMIT)
    check(code == 0, f"the program ended with {code}")
    wait_until("the tray icon to go", lambda: 0 not in s.tray_icons(s.state()), 10, 0.2)


def check_settings(program, expected):
    settings = read_store(program.store).get("OPZIONI", {})
    for key, value in expected.items():
        check(settings.get(key) == value, f"store: {key}={settings.get(key)!r}, expected {value!r}")


def cascade_position(index):
    return 20 * index, 20 * index


# ---- 1. First start ----

def first_start(s):
    """No store: the tray icon appears; three notes from the tray menu; two lines
    typed into one, another renamed by a double click on its caption, one
    hidden; "E&sci" stores three notes with those titles and texts and the
    default settings."""
    program = s.program_in("scenario-1")
    check(not os.path.exists(program.store), "no store before the first start")
    tooltips = s.state().tray_tooltips
    s.start(program)
    s.wait_ready(program, notes=0)

    # The explorer may paint the icon a moment before it makes the icon's
    # tooltip, which is what tells how many icons it holds.
    def one_more_icon():
        now = s.state()
        return now if now.tray_tooltips > tooltips else None

    try:
        state = wait_until("the taskbar to hold one more tray icon", one_more_icon, 10, 0.2)
    except Failure:
        state = s.state()
    check(state.tray_tooltips == tooltips + 1,
          f"one tray icon was added (the taskbar's icon tooltips went from {tooltips} to {state.tray_tooltips})")
    check(s.tray_icons(state) == [0], f"one tray icon is painted (slots {s.tray_icons(state)})")
    mismatches = s.tray_icon_mismatches(state)
    check(mismatches == 0, f"the tray icon is not the picture drawn for its size ({mismatches} pixels differ)")

    notes = []
    for i in range(3):
        note = new_note(s, program, [n.hwnd for n in notes])
        check((note.rect.x, note.rect.y) == cascade_position(i), f"note {i} at {note.rect}")
        check((note.rect.w, note.rect.h) == (160, 120), f"note {i} is {note.rect}")
        notes.append(note)
    first, second, third = notes

    # Two lines into the newest note, typed right after "&Nuovo Memino": the
    # new note has the keyboard.
    s.screen.type("Comprare il pane")
    s.screen.key("Return")
    s.screen.type("e il caffè")
    text = "Comprare il pane\r\ne il caffè"
    s.wait("the typed text in the note", lambda st: st.note(third.hwnd).text == text, texts=True)

    # Rename the second note: double click on its caption, type, Enter.
    s.screen.click(*s.caption_point(second), count=2)
    dialog = s.wait("the title dialog over the second note",
                    lambda st: st.dialog("Cambia Titolo", owner=second.hwnd))
    check(s.control(dialog, 1000).text == second.title, "the title dialog offers the current title")
    s.screen.type("Telefonare a Lucia")
    s.screen.key("Return")
    s.wait("the second note's new title",
           lambda st: st.note(second.hwnd).title == "Telefonare a Lucia" and not st.dialog("Cambia Titolo"))

    # Hide the first note through its menu, opened on its caption.
    s.note_command(program, first, NOTE_HIDE)
    state = s.wait("the first note to hide", lambda st: st if not st.note(first.hwnd).visible else None, texts=True)
    check([n.visible for n in state.notes_of(program.pid)].count(True) == 2, "two notes stay shown")
    s.screen.screenshot("1-first-start.png")

    exit_program(s, program)
    check_settings(program, DEFAULT_SETTINGS)
    stored = stored_notes(read_store(program.store))
    expected = [(first.title, "", ""), ("Telefonare a Lucia", "", ""), (third.title, "Comprare il pane#@e il caffè", "")]
    check(stored == expected, f"store holds {stored}, expected {expected}, oldest first")


# ---- 2. Start again ----

# What scenario 1 leaves, oldest first: two notes titled at their creation,
# one renamed, the newest with two lines of text.
AGAIN_NOTES = [("Appuntello - 08/12/2026  09:15", ""), ("Telefonare a Lucia", ""),
               ("Appuntello - 08/12/2026  09:16", "Comprare il pane\r\ne il caffè")]


def start_again(s):
    """The three notes come back shown, in cascade, in the same order, with
    their texts; the note list shows them newest first; choosing one brings it
    to the front."""
    expected = AGAIN_NOTES  # oldest first
    program = s.program_in("scenario-2", store=store_bytes(
        (160, 120, 65535), [(title, text, "") for title, text in expected]))
    s.start(program)
    s.wait_ready(program, notes=3)
    arrangement = [(title, text, True, (*cascade_position(i), 160, 120)) for i, (title, text) in enumerate(expected)]

    def restored(st):
        # The newest note lies on top; the stacking settles just after the notes show.
        notes = list(reversed(st.notes_of(program.pid)))
        seen = [(n.title, n.text, n.visible, (n.rect.x, n.rect.y, n.rect.w, n.rect.h)) for n in notes]
        return notes if seen == arrangement else None
    notes = s.wait("the notes back in cascade, oldest at the bottom, with their titles and texts", restored,
                   texts=True)
    oldest_first = notes

    def front(hwnd):
        return lambda st: st.notes_of(program.pid)[0].hwnd == hwnd

    # The list, newest first: entry 2 is the oldest note, entry 0 the newest.
    # Each choice must bring that note over the others.
    for entry, note in ((2, oldest_first[0]), (1, oldest_first[1]), (0, oldest_first[2])):
        tray = s.open_tray_menu(program)
        s.choose(tray, TRAY_MENU, TRAY_NOTE_LIST)
        note_list = s.wait_menu(program, known=[tray.hwnd])
        if entry == 2:
            s.screen.screenshot("2-note-list.png")
        s.choose(note_list, "TTT", entry)  # three entries: the height must match
        s.wait_menus_closed(program)
        s.wait(f"note list entry {entry} ({note.title!r}) to come to the front", front(note.hwnd))

    s.screen.move(700, 400)
    s.screen.screenshot("2-notes.png")
    exit_program(s, program)
    check(stored_notes(read_store(program.store)) == [(t, x.replace("\r\n", "#@"), "") for t, x in expected],
          "the store holds the same notes, oldest first")


# ---- 3. Options ----

def note_colour(s, note):
    """The colour painted at a point of the note's text field, away from text."""
    pixels = s.screen.grab()
    c = note.client
    return s.screen.pixel(pixels, c.x + c.w - 8, c.y + c.h - 8)


def options(s):
    """Notes 320 x 240 and another colour, Apply, OK: the open notes take them,
    a new note has that size; after exit and start the settings are on screen
    and in the store."""
    program = s.program_in("scenario-3", store=store_bytes(
        (160, 120, 65535), [("Prima nota", "uno", ""), ("Seconda nota", "due", "")]))
    s.start(program)
    state = s.wait_ready(program, notes=2)
    top = state.notes_of(program.pid)[0]
    check(note_colour(s, top) == YELLOW, f"the note is painted {note_colour(s, top)}, not yellow")

    s.tray_command(program, TRAY_OPTIONS)
    dialog = s.wait("the Options dialog", lambda st: st.dialog("Opzioni"))
    check((s.control(dialog, 1002).position, s.control(dialog, 1003).position) == (160, 120),
          "the sliders start at the stored size")
    s.set_trackbar(dialog, 1002, 320)
    s.set_trackbar(dialog, 1003, 240)
    state = s.state()
    check(all((n.rect.w, n.rect.h) == (160, 120) for n in state.notes_of(program.pid)),
          "moving the sliders leaves the notes as they are")

    s.click_control(dialog, 1007)
    picker = s.wait("the colour picker", lambda st: st.dialog(owner=dialog.hwnd))
    custom = s.control(picker, 721)  # the custom colours: 2 rows of 8
    cell_w, cell_h = custom.rect.w // 8, custom.rect.h // 2
    s.screen.click(custom.rect.x + 2 * cell_w + (cell_w - 4) // 2, custom.rect.y + (cell_h - 4) // 2)
    s.click_control(picker, 1)
    s.wait("the colour picker to close", lambda st: not st.dialog(owner=dialog.hwnd))

    s.click_control(dialog, 1005)  # A&ggiorna
    s.wait("the open notes at 320 x 240",
           lambda st: all((n.rect.w, n.rect.h) == (320, 240) for n in st.notes_of(program.pid)))
    top = s.state().notes_of(program.pid)[0]
    wait_until("the notes painted pink", lambda: note_colour(s, top) == PINK, 10, 0.2)
    s.click_control(dialog, 1)  # OK
    s.wait("the Options dialog to close", lambda st: not st.dialog("Opzioni"))

    note = new_note(s, program, [n.hwnd for n in s.state().notes_of(program.pid)])
    check((note.rect.x, note.rect.y, note.rect.w, note.rect.h) == (*cascade_position(2), 320, 240),
          f"the new note is at {note.rect}")
    s.screen.move(700, 400)
    check(note_colour(s, note) == PINK, "the new note is pink")
    s.screen.screenshot("3-options.png")
    exit_program(s, program)
    settings = {"LARGHEZZA": "320", "ALTEZZA": "240", "COLORE": str(PINK_COLORREF)}
    check_settings(program, settings)

    s.start(program)
    state = s.wait_ready(program, notes=3)
    check(all((n.rect.w, n.rect.h) == (320, 240) for n in state.notes_of(program.pid)),
          "the notes come back 320 x 240")
    top = state.notes_of(program.pid)[0]
    check(note_colour(s, top) == PINK, f"the notes come back {note_colour(s, top)}, not pink")
    s.tray_command(program, TRAY_OPTIONS)
    dialog = s.wait("the Options dialog", lambda st: st.dialog("Opzioni"))
    check((s.control(dialog, 1002).position, s.control(dialog, 1003).position) == (320, 240),
          "the sliders show the stored size")
    s.screen.key("Escape")
    s.wait("the Options dialog to close", lambda st: not st.dialog("Opzioni"))
    exit_program(s, program)
    check_settings(program, settings)


# ---- 4. Second start ----

def second_start(s):
    """A second start while the first runs ends at once, with 0, and leaves one
    tray icon and the first copy as it was."""
    program = s.program_in("scenario-4", store=store_bytes((160, 120, 65535), [("Unica nota", "testo", "")]))
    s.start(program)
    state = s.wait_ready(program, notes=1)
    note = state.notes_of(program.pid)[0]
    with open(program.store, "rb") as f:
        store = f.read()

    second = s.start(type(program)(s, program.exe))
    code = second.wait_end(15)
    check(code == 0, f"the second start ended with {code}")
    check(time.monotonic() - second.started < 15, "the second start ended at once")
    check(program.running(), "the first copy still runs")
    after = s.state(texts=True)
    check(len(after.controllers) == 1, f"{len(after.controllers)} controller windows")
    check(after.tray_tooltips == state.tray_tooltips, "the second start added no tray icon")
    check(s.tray_icons(after) == [0], f"one tray icon is painted (slots {s.tray_icons(after)})")
    notes = after.notes_of(program.pid)
    check([(n.hwnd, n.title, n.text, n.visible) for n in notes] == [(note.hwnd, note.title, note.text, True)],
          f"the first copy's notes: {notes}")
    with open(program.store, "rb") as f:
        check(f.read() == store, "the second start left the store alone")
    s.screen.screenshot("4-second-start.png")
    exit_program(s, program)
    check(stored_notes(read_store(program.store)) == [("Unica nota", "testo", "")], "the note is stored")


# ---- 5. Autosave ----

SHOPPING = ("latte uova farina zucchero burro lievito sale pepe olio aceto pane pasta riso "
            "caffe tonno pomodori basilico mozzarella parmigiano prosciutto mele pere arance limoni "
            "banane carote patate cipolle aglio sedano zucchine melanzane peperoni insalata "
            "yogurt biscotti cioccolato miele marmellata")
LONGEST_WAIT = 10  # s from the first unsaved key to a save while typing goes on: 5 + 2, and a margin


def whole_store(program, title):
    """The store as it is on disk now; each look must find a whole store, the
    settings and the one note, never a store cut short. None while there is none."""
    sections = read_store_if_there(program.store)
    if sections is None:
        return None
    check(set(DEFAULT_SETTINGS) <= set(sections.get("OPZIONI", {})), f"a store without its settings: {sections}")
    notes = stored_notes(sections)
    check(len(notes) == 1 and notes[0][0] == title, f"a store without its note: {sections}")
    return notes[0]


def autosave(s):
    """Typing into a note reaches the store while the program runs: within
    about 7 s while typing goes on, and about 2 s after the last key.
    Killed then, as in a crash, the program brings the text back at the next
    start."""
    title = "Lista della spesa"
    original = store_bytes((160, 120, 65535), [(title, "", "")])
    program = s.program_in("scenario-5", store=original)
    s.start(program)
    state = s.wait_ready(program, notes=1)
    note = state.notes_of(program.pid)[0]
    check(note.text == "", f"the note starts empty: {note.text!r}")

    # About 10 s of typing; the store is read all the while.
    s.screen.click(*s.client_point(note))
    typing = s.screen.start_typing(SHOPPING, delay=100)
    typing_started = time.monotonic()
    partial = None
    try:
        while typing.poll() is None:
            stored = whole_store(program, title)
            if stored and stored[1] and stored[1] != SHOPPING and partial is None:
                partial = (stored[1], time.monotonic() - typing_started)
            check(time.monotonic() - typing_started < 120, "typing did not end")
            time.sleep(0.1)
    finally:
        if typing.poll() is None:
            typing.kill()
    typed = time.monotonic()
    check(typing.returncode == 0, f"xdotool type ended with {typing.returncode}")
    check(partial is not None, f"nothing reached the store during {typed - typing_started:.1f} s of typing")
    check(SHOPPING.startswith(partial[0]), f"the store held {partial[0]!r} while typing")
    check(partial[1] <= LONGEST_WAIT, f"the first save while typing came {partial[1]:.1f} s after typing began")
    s.wait("the typed text in the note", lambda st: st.note(note.hwnd).text == SHOPPING, texts=True)

    stored = wait_until("the whole text in the store",
                        lambda: (lambda n: n if n and n[1] == SHOPPING else None)(whole_store(program, title)), 10, 0.1)
    saved_after = time.monotonic() - typed
    check(stored[2] == "", f"the note has no voice message in the store: {stored[2]!r}")
    with open(program.store + ".bak", "rb") as f:
        check(f.read() == original, "the .bak file keeps the store as the run found it")
    print(f"[e2e]   autosave: {len(partial[0])} characters stored {partial[1]:.1f} s into "
          f"{typed - typing_started:.1f} s of typing; the whole text {saved_after:.1f} s after the last key",
          flush=True)

    # A crash: the process is killed, no window gets to close.
    program.kill()
    s.check_no_program("the killed program's windows stay")
    s.wait("the killed program's notes to go", lambda st: not st.notes_of(program.pid))
    check(whole_store(program, title)[1] == SHOPPING, "the store still holds the text after the kill")

    s.start(program)
    state = s.wait_ready(program, notes=1)
    s.wait("the typed text back in the note",
           lambda st: len(st.notes_of(program.pid)) == 1 and st.notes_of(program.pid)[0].text == SHOPPING
           and st.notes_of(program.pid)[0].title == title, texts=True)
    s.screen.move(700, 400)
    s.screen.screenshot("5-autosave.png")
    exit_program(s, program)
    check(whole_store(program, title)[1] == SHOPPING, "the store holds the text after exit")


# ---- 6. Voice message ----

RECORD_SECONDS = 2.2  # shown by the recorder before Stop is pressed
RECORD_BUTTON, STOP_BUTTON, TIME_LABEL = 101, 102, 103  # the recorder's controls (voice/recorder.h)


def voice_streams_settle(kind, what, timeout=15):
    wait_until(f"no {what}", lambda: not sound_streams(kind), timeout, 0.1)


def elapsed_seconds(label):
    m = re.fullmatch(r"(\d+):(\d\d)\.(\d)", label)
    check(m, f"the recorder's time reads {label!r}")
    return int(m.group(1)) * 60 + int(m.group(2)) + int(m.group(3)) / 10


def check_voice_items(s, program, note, has_message):
    """Opens the note's voice submenu, checks which items are greyed, and
    leaves it open; the submenu."""
    menu = s.open_voice_menu(program, note)
    wait_until("the voice submenu to be drawn",
               lambda: s.menu_item_enabled(menu, VOICE_MENU, VOICE_RECORD), 10, 0.1)
    for index, name in ((VOICE_PLAY, "&Ascolta Messaggio"), (VOICE_DISCARD, "Cance&lla Messaggio")):
        enabled = s.menu_item_enabled(menu, VOICE_MENU, index)
        check(enabled == has_message,
              f"{name} is {'enabled' if enabled else 'greyed'} on a note {'with' if has_message else 'without'} "
              "a voice message")
    return menu


def close_menus(s, program):
    s.screen.key("Escape", repeat=2)
    s.wait_menus_closed(program)


def plant_dlls(s, program, names):
    """Leaves a DLL that marks its loading beside the program under each name,
    and has Wine look in the program's folder first for them, as Windows does
    for a DLL that is not a known one. Checks that a program importing one
    then loads it; returns a function that tells which were loaded."""
    for name in names:
        shutil.copy(os.path.join(s.bin_dir, "planted", "planted_dll.dll"), os.path.join(program.folder, name))
    overrides = ",".join(os.path.splitext(name)[0] for name in names) + "=n,b"
    program.env = dict(os.environ, WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "") + ";" + overrides)
    loaded = lambda: [n for n in os.listdir(program.folder) if n.lower().endswith(".dll.loaded")]
    importer = os.path.join(program.folder, "importer.exe")  # a test program: it imports winmm
    shutil.copy(os.path.join(s.bin_dir, "voice_test.exe"), importer)
    subprocess.run([s.loader, importer, "--gtest_list_tests"], env=program.env, capture_output=True, timeout=60)
    check(loaded(), f"a program importing winmm did not load the planted one: {os.listdir(program.folder)}")
    for name in loaded() + ["importer.exe"]:
        os.remove(os.path.join(program.folder, name))
    return loaded


def voice(s):
    """A voice message recorded from the note's menu, saved under a typed
    name, played; after exit and start the note still has it. A winmm.dll and
    a comdlg32.dll planted beside the program are never loaded."""
    title, text = "Messaggio per Marco", "Ascolta il messaggio"
    program = s.program_in("scenario-6", store=store_bytes((160, 120, 65535), [(title, text, "")]))
    planted_loaded = plant_dlls(s, program, ["winmm.dll", "comdlg32.dll"])
    s.start(program)
    state = s.wait_ready(program, notes=1)
    note = state.notes_of(program.pid)[0]

    menu = check_voice_items(s, program, note, has_message=False)
    s.choose(menu, VOICE_MENU, VOICE_RECORD)
    s.wait_menus_closed(program)
    recorder = s.wait("the recorder", lambda st: next(
        (r for r in st.recorders if r.owner == note.hwnd and r.visible), None))
    check(recorder.rect.y >= note.rect.y + note.rect.h, f"the recorder {recorder.rect} lies below the note {note.rect}")
    record_button, stop_button = s.control(recorder, RECORD_BUTTON), s.control(recorder, STOP_BUTTON)
    check(record_button.text == "&Registra" and record_button.enabled, "the recorder offers \"&Registra\"")
    check(stop_button.text == "&Ferma" and not stop_button.enabled, "\"&Ferma\" is greyed before recording")

    s.click_control(recorder, RECORD_BUTTON)
    s.wait("the recording to start", lambda st: s.control(recorder, STOP_BUTTON).enabled)
    wait_until("the program to record from the sound server", lambda: sound_streams("source-outputs"), 10, 0.1)
    wait_until(f"the recorder to show {RECORD_SECONDS} s",
               lambda: elapsed_seconds(s.control(recorder, TIME_LABEL).text) >= RECORD_SECONDS, 20, 0.1)
    s.screen.move(700, 400)
    s.screen.screenshot("6-recorder.png")
    s.click_control(recorder, STOP_BUTTON)

    # No earlier message: no question, the Save dialog at once.
    dialog = s.wait("the Save dialog over the recorder", lambda st: st.dialog("Save As", owner=recorder.hwnd))
    check(not [d for d in s.state().dialogs if d.title != "Save As"], "no question before the Save dialog")
    name = s.control(dialog, 0x47C, "Edit")
    check(s.focus(dialog) == name.hwnd, "the Save dialog starts in its file name field")
    wave_path = os.path.join(program.folder, "messaggio.wav")
    typed = "Z:" + os.path.join(program.folder, "messaggio").replace("/", "\\")
    s.screen.type(typed)
    wait_until("the typed file name", lambda: s.control(dialog, 0x47C, "Edit").text == typed, 10, 0.1)
    s.screen.key("Return")
    s.wait("the Save dialog and the recorder to close",
           lambda st: not st.dialog("Save As") and not [r for r in st.recorders if r.visible])
    voice_path = typed + ".wav"

    stored = wait_until("the voice path in the store", lambda: (lambda n: n if n and n[0][2] == voice_path else None)(
        stored_notes(read_store(program.store))), 10, 0.1)
    check(stored == [(title, text, voice_path)], f"the store holds {stored}")
    check(os.path.exists(wave_path), f"no {wave_path}")
    with wave.open(wave_path, "rb") as w:
        rate, channels, width, frames = w.getframerate(), w.getnchannels(), w.getsampwidth(), w.getnframes()
    seconds = frames / rate
    check((rate, channels, width) == (22050, 1, 2), f"the voice file is {rate} Hz, {channels} channels, "
          f"{8 * width} bits")
    check(1.5 <= seconds <= 30, f"the voice file lasts {seconds:.2f} s")

    # Played from the note's menu, to its end.
    voice_streams_settle("sink-inputs", "sound playing before the message")
    menu = check_voice_items(s, program, note, has_message=True)
    s.choose(menu, VOICE_MENU, VOICE_PLAY)
    clicked = time.monotonic()
    wait_until("the message to play", lambda: sound_streams("sink-inputs"), 10, 0.05)
    voice_streams_settle("sink-inputs", "sound once the message has played", timeout=seconds + 15)
    played = time.monotonic() - clicked
    s.wait_menus_closed(program)
    s.wait("the note to answer again", lambda st: st.note(note.hwnd).text == text, texts=True)
    print(f"[e2e]   voice: a {seconds:.2f} s message, played for about {played:.1f} s", flush=True)

    exit_program(s, program)
    check(stored_notes(read_store(program.store)) == [(title, text, voice_path)],
          "the store holds the voice path after exit")

    # At start the program plays the message before it goes on.
    voice_streams_settle("sink-inputs", "sound playing before the start")
    s.start(program)
    wait_until("the stored message to play at start", lambda: sound_streams("sink-inputs"), 30, 0.05)
    voice_streams_settle("sink-inputs", "sound once the stored message has played", timeout=seconds + 15)
    s.wait_ready(program, notes=1)
    state = s.wait("the note back with its text",
                   lambda st: st if [(n.title, n.text) for n in st.notes_of(program.pid)] == [(title, text)] else None,
                   timeout=seconds + 30, texts=True)
    note = state.notes_of(program.pid)[0]
    check_voice_items(s, program, note, has_message=True)
    close_menus(s, program)
    exit_program(s, program)
    check(stored_notes(read_store(program.store)) == [(title, text, voice_path)],
          "the store keeps the voice path")
    check(not planted_loaded(), f"the program loaded DLLs planted beside it: {planted_loaded()}")



WM_COMMAND, WM_CHAR, EM_SETSEL = 0x0111, 0x0102, 0x00B1
IDM_NEW_NOTE, IDM_DELETE_ALL = 39999, 40010
SETTLE_WITHIN = 20  # s after an action on one computer until the store is written no more
WATCH_WRITES = 40  # s over which its writes are counted


class Computer:
    """A copy of the program in a Wine prefix of its own, driven by messages
    posted through a probe of that prefix: two prefixes running the same
    program from one folder are two computers on one store."""

    def __init__(self, s, program, prefix):
        self.s, self.program, self.prefix = s, program, prefix
        self.env = dict(os.environ, WINEPREFIX=prefix) if prefix else None
        self.probe = Probe(s.loader, os.path.join(s.bin_dir, "e2e_probe.exe"), self.env) if prefix else s.probe
        self.controller = None

    def state(self):
        return State(self.probe.ask("state texts"))

    def start(self):
        self.program.env = self.env
        self.s.start(self.program)
        controller = wait_until("the copy's controller", lambda: next(iter(self.state().controllers), None), 60, 0.2)
        self.controller = controller.hwnd
        self.program.pid = controller.pid

    def post(self, window, message, wparam, lparam=0):
        self.probe.ask(f"post {window} {message} {wparam} {lparam}")

    def texts(self):
        return sorted(n.text for n in self.state().notes_of(self.program.pid))

    def new_note(self, text):
        """A note from the tray menu's command, with this text typed into it."""
        known = {n.hwnd for n in self.state().notes_of(self.program.pid)}
        self.post(self.controller, WM_COMMAND, IDM_NEW_NOTE)
        note = wait_until("a new note", lambda: next((n for n in self.state().notes_of(self.program.pid)
                                                      if n.hwnd not in known), None), 20, 0.1)
        self.type_into(note, text)
        return note

    def type_into(self, note, text, select=None):
        """Types into the note's text; select: (start, end) of the characters
        the typing replaces, where the caret is otherwise."""
        edit = self.probe.one(f"control {note.hwnd} 1", "control")[1]
        if select:
            self.post(edit, EM_SETSEL, *select)
        for character in text:
            self.post(edit, WM_CHAR, ord(character))

    def close(self):
        if self.prefix:
            self.probe.close()


def end_computers(*computers):
    """"E&sci" on each copy that runs, then a kill for one that does not end;
    a probe that has ended already (Ctrl+C reaches it too) leaves the kill."""
    for computer in computers:
        if computer.program.running() and computer.controller:
            try:
                computer.post(computer.controller, WM_COMMAND, EXIT_COMMAND)
            except (Failure, OSError):
                pass
    for computer in computers:
        if computer.program.process is None:
            continue
        try:
            computer.program.wait_end(EXIT_LIMIT)
        except Failure:
            computer.program.kill()
    for computer in computers:
        computer.close()


def stored_texts(store):
    return sorted(text for _, text, _ in stored_notes(read_store_if_there(store) or {}))


def writes_settle(store, what):
    """Counts the store's writes for WATCH_WRITES s: none may come in the last
    WATCH_WRITES - SETTLE_WITHIN s."""
    writes, last_write, last = 0, 0.0, store_bytes_if_there(store)
    started = time.monotonic()
    while time.monotonic() - started < WATCH_WRITES:
        time.sleep(0.2)
        now = store_bytes_if_there(store)
        if now != last:
            writes, last_write, last = writes + 1, time.monotonic() - started, now
    print(f"[e2e]   {what}: {writes} writes of the store in {WATCH_WRITES} s, the last at {last_write:.1f} s",
          flush=True)
    check(last_write <= SETTLE_WITHIN, f"{what}: the store was still written {last_write:.1f} s after")
    return writes


def store_bytes_if_there(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def two_computers(s):
    """Two copies of the program in two Wine prefixes on one folder, as two
    computers on a share: "Elimina Tutti" on one stands on both and the store
    stops being written; a line typed and taken back on one does the same."""
    prefix = os.environ.get("APPUNTELLO_SECOND_PREFIX")
    check(prefix, "APPUNTELLO_SECOND_PREFIX names no second Wine prefix")
    program = s.program_in("scenario-7")
    # APPUNTELLO_SECOND_EXE: another build for the second computer (an earlier
    # version beside this one), as "Appuntello.EXE" beside the first: another
    # file here, the same store's name.
    other = os.environ.get("APPUNTELLO_SECOND_EXE")
    second_exe = program.exe
    if other:
        second_exe = os.path.splitext(program.exe)[0] + ".EXE"
        shutil.copy(other, second_exe)
    first, second = Computer(s, program, None), Computer(s, Program(s, second_exe), prefix)
    try:
        first.start()
        for text in ("primo", "secondo", "terzo"):
            first.new_note(text)
        wait_until("the three notes in the store",
                   lambda: stored_texts(program.store) == ["primo", "secondo", "terzo"], 20, 0.2)
        second.start()
        wait_until("the second computer to show them", lambda: second.texts() == ["primo", "secondo", "terzo"],
                   30, 0.2)

        # "Elimina Tutti" on the second computer.
        second.post(second.controller, WM_COMMAND, IDM_DELETE_ALL)
        writes_settle(program.store, "Elimina Tutti")
        check(stored_texts(program.store) == [], f"the store holds {stored_texts(program.store)}")
        check(first.texts() == [] and second.texts() == [],
              f"the screens show {first.texts()} and {second.texts()}")

        # A line typed and taken back on the first computer.
        note = first.new_note("riga")
        wait_until("the line on the second computer", lambda: second.texts() == ["riga"], 30, 0.2)
        first.type_into(note, " x")
        wait_until("the typing in the store", lambda: stored_texts(program.store) == ["riga x"], 20, 0.2)
        first.type_into(note, "\b\b")
        writes_settle(program.store, "a line typed and taken back")
        stored = stored_texts(program.store)
        check(first.texts() == stored and second.texts() == stored,
              f"the store holds {stored}; the screens show {first.texts()} and {second.texts()}")
        check(stored == ["riga"], f"the store holds {stored}, not the line taken back")
    finally:
        end_computers(second, first)



# ---- 8. Two computers through Syncthing ----

# Each computer's folder is a Syncthing folder: the program and its store in
# it, as a user would put Appuntello's folder in a synced one. The first
# holds them from the start; Syncthing brings them to the second.
SYNC_STEADY = 10  # s that everything stays alike: longer than a copy's look at a store it is not told of (8 + 1)
SYNC_WITHIN = 60  # s from the resume until it has
SHOPPING_NOTE, CALL_NOTE = "Comprare il pane", "Telefonare a Lucia"


def note_sections(store):
    sections = read_store_if_there(store) or {}
    notes = []
    while str(len(notes)) in sections:
        notes.append(sections[str(len(notes))])
    return notes


def counts(version):
    """VERSIONE's "computer:count,..." as a dict."""
    return {name: int(count) for name, count in (part.split(":") for part in version.split(",") if part)}


class Synced:
    """Two computers, each a Wine prefix running the program from its own
    folder, and two Syncthing instances keeping the folders alike."""

    def __init__(self, computers, instances):
        self.computers, self.instances = computers, instances
        self.conflict_copies = set()
        self.socket_looks = 0  # looks at the instances' sockets, each finding none beyond 127.0.0.1

    def stores(self):
        return [c.program.store for c in self.computers]

    def pause(self, paused):
        for instance in self.instances:
            instance.pause(paused)
        for instance in self.instances:
            check(instance.paused() == paused,
                  f"syncthing {instance.name}'s folder is not {'paused' if paused else 'resumed'}")

    def look(self):
        """What the two folders hold now, when both instances are in sync and
        the stores are alike; None otherwise. Notes the conflict copies seen."""
        a, b = self.instances
        for instance in self.instances:
            beyond = instance.sockets_beyond_loopback()
            check(not beyond, f"syncthing {instance.name} holds sockets beyond 127.0.0.1: {beyond}")
        self.socket_looks += 1
        listings = []
        for computer in self.computers:
            names = sorted(os.listdir(computer.program.folder))
            self.conflict_copies.update(n for n in names if re.fullmatch(r"Appuntello\.sync-conflict-.+\.ini", n))
            listings.append(names)
        stores = [store_bytes_if_there(store) for store in self.stores()]
        if stores[0] is None or stores[0] != stores[1] or listings[0] != listings[1]:
            return None
        return (stores[0], tuple(listings[0])) if a.in_sync_with(b) and b.in_sync_with(a) else None

    def settle(self, what):
        """Waits until both instances are in sync, the two folders alike, and
        that has held for SYNC_STEADY s; the store then."""
        seen = {"key": None, "since": 0.0}
        started = time.monotonic()

        def steady():
            key, now = self.look(), time.monotonic()
            if key is None or key != seen["key"]:
                seen.update(key=key, since=now)
                return None
            return key[0] if now - seen["since"] >= SYNC_STEADY else None
        store = wait_until(f"{what}: both computers in sync on one store", steady, SYNC_WITHIN + SYNC_STEADY, 0.5)
        print(f"[e2e]   {what}: in sync on one store after {time.monotonic() - started - SYNC_STEADY:.1f} s",
              flush=True)
        return store

    def settled_notes(self, what):
        """Once settled: the texts of the notes in the store, which both screens
        must show, and the store's notes as "identity: text", in its order."""
        store = self.settle(what)
        notes = note_sections(self.stores()[0])
        check(store_bytes_if_there(self.stores()[0]) == store, f"{what}: the store changed once settled")
        texts = sorted(n["MESSAGE"].replace("#@", "\r\n") for n in notes)
        first, second = self.computers
        check(first.texts() == texts == second.texts(),
              f"{what}: the store holds {texts}; the screens show {first.texts()} and {second.texts()}")
        return texts, [f"{n.get('IDENTITA')}: {n['MESSAGE']}" for n in notes]

    def apart(self, what, changes):
        """Both folders paused (two computers offline), a change made on each
        and saved there, and the folders resumed. changes: for each computer,
        (the note's text, (start, end) of what the typing replaces, the text
        typed, the note's text then). The names under which each computer
        counted its change in VERSIONE."""
        before = {n["IDENTITA"]: n for n in note_sections(self.stores()[0])}
        self.pause(True)
        changed = []
        for computer, (text, select, typed, after) in zip(self.computers, changes):
            note = next((n for n in computer.state().notes_of(computer.program.pid) if n.text == text), None)
            check(note, f"{what}: no note {text!r} on screen: {computer.texts()}")
            computer.type_into(note, typed, select)
            stored = after.replace("\r\n", "#@")
            try:
                changed.append(wait_until(f"{what}: {stored!r} in the store", lambda: next(
                    (n for n in note_sections(computer.program.store) if n.get("MESSAGE") == stored), None), 20, 0.2))
            except Failure as failure:
                raise Failure(f"{failure} (the screen shows {computer.texts()})") from None
        for other, (_, _, _, after) in zip(self.computers[::-1], changes):
            check(after not in other.texts(), f"{what}: {after!r} reached the other computer while it was offline")
        names = []
        for note in changed:
            old = counts(before[note["IDENTITA"]]["VERSIONE"])
            new = counts(note["VERSIONE"])
            names.append([name for name in new if new[name] > old.get(name, 0)])
        self.pause(False)
        return names


def through_syncthing(s):
    """Two computers, each a Wine prefix running the program from a folder of
    its own, kept alike by two Syncthing instances on 127.0.0.1. With both
    offline, a line typed at the end of a note on one and its first word
    changed on the other: back online, both show one note with both changes.
    The same word changed on both: two notes, nothing lost. Syncthing's
    conflict copies are taken in and gone at the end."""
    prefix = os.environ.get("APPUNTELLO_SECOND_PREFIX")
    check(prefix, "APPUNTELLO_SECOND_PREFIX names no second Wine prefix")
    program = s.program_in("scenario-8-a")
    other_folder = os.path.join(s.out_dir, "scenario-8-b")
    shutil.rmtree(other_folder, ignore_errors=True)
    os.makedirs(other_folder)
    first = Computer(s, program, None)
    second = Computer(s, Program(s, os.path.join(other_folder, "Appuntello.exe")), prefix)
    a, b = (Syncthing(os.path.join(s.out_dir, f"syncthing-{n}"), f"computer-{n}") for n in "ab")
    a.share(program.folder, b)
    b.share(other_folder, a)
    synced = Synced((first, second), (a, b))
    unmet = []  # what the merge got wrong, told at the end so that the steps after it still run

    def expect(condition, message):
        if not condition:
            unmet.append(message)

    try:
        try:
            for instance in (a, b):
                instance.start(instance.home + ".log")
            wait_until("the two instances to connect", lambda: a.connected(b) and b.connected(a), 30, 0.2)
            first.start()
            for text in (SHOPPING_NOTE, CALL_NOTE):
                first.new_note(text)
            wait_until("the two notes in the store", lambda: sorted(n.get("MESSAGE") for n in note_sections(
                program.store) if n.get("IDENTITA")) == sorted([SHOPPING_NOTE, CALL_NOTE]), 20, 0.2)
            wait_until("the program and its store on the second computer", lambda: os.path.exists(
                second.program.exe) and synced.look(), 30, 0.2)
            second.start()
            shown = sorted([SHOPPING_NOTE, CALL_NOTE])
            wait_until("both computers to show the notes", lambda: first.texts() == shown == second.texts(), 30, 0.2)
            synced.settle("both started")

            # Offline: a line at the end of the note on the first, its first word on the second.
            line, word = "\r\ne il latte", "Prendere"
            text = SHOPPING_NOTE
            names = synced.apart("a line and a word", [
                (text, (len(text), len(text)), line.replace("\r\n", "\r"), text + line),  # Enter types "\r"
                (text, (0, len("Comprare")), word, word + text[len("Comprare"):])])
            check(all(len(n) == 1 for n in names) and names[0] != names[1],
                  f"the two computers counted their changes as {names}, not under two names")
            texts, stored = synced.settled_notes("a line and a word")
            check(any(line.strip() in t for t in texts) and any(t.startswith(word) for t in texts),
                  f"a change was lost: both computers show {texts}")
            both = word + text[len("Comprare"):] + line
            expect(texts == sorted([both, CALL_NOTE]), f"the note changed apart on two computers is not one note "
                   f"with both changes, {both!r}: the store holds {stored}")

            # Offline again: the same word changed on both.
            text, first_word = CALL_NOTE, (0, len("Telefonare"))
            versions = ["Chiamare a Lucia", "Scrivere a Lucia"]
            synced.apart("the same word", [(text, first_word, v.split()[0], v) for v in versions])
            texts, stored = synced.settled_notes("the same word")
            check(set(versions) <= set(texts), f"a change was lost: both computers show {texts}")
            expect([t for t in texts if t.endswith(" a Lucia")] == versions, f"the same word changed on two "
                   f"computers is not two notes, {versions}: the store holds {stored}")

            # What only a conflict copy held (one computer's change) was found above: the copies were taken in.
            check(synced.conflict_copies, "Syncthing made no conflict copy of the store")
            left = [n for c in (first, second) for n in os.listdir(c.program.folder) if n in synced.conflict_copies]
            check(not left, f"conflict copies left: {left}")
            print(f"[e2e]   conflict copies taken in: {sorted(synced.conflict_copies)}; {synced.socket_looks} looks "
                  "at Syncthing's sockets found none beyond 127.0.0.1", flush=True)
            check(not unmet, "; ".join(unmet))
        finally:
            end_computers(second, first)
    finally:
        for instance in (a, b):
            instance.stop()


SCENARIOS = [
    ("1 first start", first_start),
    ("2 start again", start_again),
    ("3 options", options),
    ("4 second start", second_start),
    ("5 autosave", autosave),
    ("6 voice", voice),
    ("7 two computers", two_computers),
    ("8 two computers through Syncthing", through_syncthing),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder of Appuntello.exe and e2e_probe.exe")
    parser.add_argument("--out", required=True, help="folder for screenshots and scratch copies")
    parser.add_argument("only", nargs="*", help="scenario numbers to run")
    args = parser.parse_args()
    # A TERM ends the run as Ctrl+C does, through every scenario's clean-up
    # (the servers a scenario started among it), not at once.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    passed = failed = 0
    session = Session(os.path.abspath(args.bin), os.path.abspath(args.out))
    try:
        session.check_no_program("another copy of the program runs in this Wine prefix")
        # Menus are measured first, while none is open.
        session.measure_menus()
        for name, scenario in SCENARIOS:
            if args.only and name.split()[0] not in args.only:
                continue
            started = time.monotonic()
            try:
                session.screen.move(700, 400)
                scenario(session)
                passed += 1
                print(f"[e2e] PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
            except Exception as error:
                failed += 1
                detail = str(error) if isinstance(error, Failure) else traceback.format_exc()
                print(f"[e2e] FAIL {name} ({time.monotonic() - started:.1f} s): {detail}", flush=True)
                try:
                    session.screen.screenshot(f"{name.split()[0]}-failed.png")
                except Exception:
                    pass
            finally:
                session.stop_programs()
    except Failure as error:
        failed += 1
        print(f"[e2e] FAIL: {error}", flush=True)
    finally:
        session.close()
    print(f"{passed} passed, {failed} failed", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
