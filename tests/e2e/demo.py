#!/usr/bin/env python3
"""Starts Appuntello for scripts/run in the Wine virtual desktop, found and
driven as the end-to-end scenarios do (driver.py), and leaves it running:

    demo.py --bin BUILD/ARCH/bin --exe FOLDER/Appuntello.exe --out FOLDER --screenshot FILE
            [--notes N --notes-screenshot FILE] [--pid-file FILE]

Waits for the tray icon and takes a screenshot; with --notes, also creates
that many notes from the tray menu ("&Nuovo Memino"), types a text into each
and renames it by a double click on its caption, as a person would, lays them
out beside the tray and takes another screenshot, cut to the notes and the
tray. The program's process id goes to the pid file, for the caller to wait
for its end.
"""

import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from driver import TRAY_MENU, TRAY_NEW_NOTE, Failure, Program, Session  # noqa: E402


# Titles and texts of the demo's notes, oldest first, and where each goes
# (the newest last, so that it keeps the keyboard): beside the tray, apart
# enough for every text to show.
SAMPLES = [
    ("Spesa", ["Pane e latte", "Caff\u00e8", "Mele e arance"], (600, 440)),
    ("Telefonare a Lucia", ["Gioved\u00ec dopo le 18", "per la cena di sabato"], (790, 470)),
    ("Riunione di luned\u00ec", ["Portare i conti", "del trimestre"], (690, 590)),
]
MARGIN = 24  # pixels of desktop kept around the notes and the tray in the picture


def screenshot(s, path, crop=None):
    shot = s.screen.screenshot(os.path.basename(path))
    if crop:
        x, y, w, h = crop
        subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", path], check=True, timeout=60)
    else:
        shutil.copy(shot, path)
    print(f"[run] screenshot saved to {path}", flush=True)


def fill_note(s, note, title, lines):
    """Types the lines into the note, which has the keyboard, and renames it."""
    for i, line in enumerate(lines):
        if i:
            s.screen.key("Return")
        s.screen.type(line)
    text = "\r\n".join(lines)
    s.wait(f"the text typed into {title!r}", lambda st: st.note(note.hwnd).text == text, texts=True)
    s.screen.click(*s.caption_point(note), count=2)
    s.wait(f"the title dialog of {title!r}", lambda st: st.dialog("Cambia Titolo", owner=note.hwnd))
    s.screen.type(title)
    s.screen.key("Return")
    s.wait(f"the title {title!r}", lambda st: st.note(note.hwnd).title == title and not st.dialog("Cambia Titolo"))


def move_note(s, note, place):
    """Drags the note by its caption until its corner is at place."""
    grip = s.caption_point(note)
    s.drag(grip, (grip[0] + place[0] - note.rect.x, grip[1] + place[1] - note.rect.y))
    s.wait(f"{note.title!r} to move", lambda st: (st.note(note.hwnd).rect.x, st.note(note.hwnd).rect.y) == place)


def around(s, rects):
    """The part of the screen, in X coordinates, that holds these rectangles."""
    left = max(min(r.x for r in rects) - MARGIN, 0)
    top = max(min(r.y for r in rects) - MARGIN, 0)
    right = min(max(r.x + r.w for r in rects) + MARGIN, s.screen.size[0] - s.screen.origin[0])
    bottom = min(max(r.y + r.h for r in rects) + MARGIN, s.screen.size[1] - s.screen.origin[1])
    return left + s.screen.origin[0], top + s.screen.origin[1], right - left, bottom - top


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder of e2e_probe.exe")
    parser.add_argument("--exe", required=True, help="the program, in the folder that holds its store")
    parser.add_argument("--out", required=True, help="folder for the Wine log and the screenshots")
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--notes", type=int, default=0)
    parser.add_argument("--notes-screenshot")
    parser.add_argument("--pid-file")
    args = parser.parse_args()

    s = Session(os.path.abspath(args.bin), os.path.abspath(args.out))
    try:
        s.check_no_program("Appuntello already runs in this Wine prefix")
        s.layout(TRAY_MENU)  # measured while no menu is open
        program = Program(s, os.path.abspath(args.exe)).start()  # not the session's: it stays
        if args.pid_file:
            with open(args.pid_file, "w") as f:
                f.write(f"{program.process.pid}\n")

        def ready(state):
            if len(state.controllers) != 1 or 0 not in s.tray_icons(state):
                return None
            program.pid = state.controllers[0].pid
            return state
        s.wait("the program's tray icon", ready, timeout=60)
        s.screen.move(700, 400)
        screenshot(s, args.screenshot)

        if args.notes:
            made = []
            for n in range(args.notes):
                known = [note.hwnd for note in s.state().notes_of(program.pid)]
                s.tray_command(program, TRAY_NEW_NOTE)
                state = s.wait(f"note {n + 1} to appear",
                               lambda st: st if len(st.notes_of(program.pid)) == len(known) + 1 else None)
                note = next(note for note in state.notes_of(program.pid) if note.hwnd not in known)
                title, lines, _ = SAMPLES[n % len(SAMPLES)]
                fill_note(s, note, title, lines)
                made.append(note)
            if args.notes <= len(SAMPLES):
                for note, (_, _, place) in zip(made, SAMPLES):
                    move_note(s, s.state().note(note.hwnd), place)
            s.screen.move(300, 300)
            state = s.state()
            crop = around(s, [state.note(note.hwnd).rect for note in made] + state.slots[:1])
            screenshot(s, args.notes_screenshot, crop if args.notes <= len(SAMPLES) else None)
    except Failure as failure:
        print(f"[run] {failure}", file=sys.stderr, flush=True)
        return 1
    finally:
        s.probe.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
