#!/usr/bin/env python3
"""The README's screenshots at one DPI setting: a new note holding four lines
of text, and the tray with the program's icon, in the Wine virtual desktop of
a prefix that scripts/screenshots has set to that DPI. Checks on the way that
the note takes the typing at once and that the tray shows the icon's picture
drawn for its size.

    screenshots.py --bin BUILD/ARCH/bin --out FOLDER --dpi 96

Writes FOLDER/dpi-DPI.png (the desktop) and FOLDER/tray-DPI.png (the end of
the taskbar, four times enlarged, pixel for pixel).
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from driver import Session, check
from run import exit_program, new_note

LINES = ["Comprare il pane", "e il caffè", "Telefonare a Lucia", "per la cena"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder of Appuntello.exe and e2e_probe.exe")
    parser.add_argument("--out", required=True, help="folder for the screenshots")
    parser.add_argument("--dpi", required=True, type=int, help="the prefix's LogPixels, for the file names")
    args = parser.parse_args()

    s = Session(os.path.abspath(args.bin), os.path.abspath(args.out))
    try:
        s.check_no_program("another copy of the program runs in this Wine prefix")
        s.measure_menus(list_lengths=[])
        program = s.start(s.program_in(f"dpi-{args.dpi}"))
        s.wait_ready(program, notes=0)
        note = new_note(s, program, [])
        for i, line in enumerate(LINES):
            if i:
                s.screen.key("Return")
            s.screen.type(line)
        s.wait("the typed text in the note", lambda st: st.note(note.hwnd).text == "\r\n".join(LINES), texts=True)
        state = s.state()
        width, height = state.screen
        s.screen.move(width * 2 // 3, height // 3)
        shot = s.screen.screenshot(f"screen-{args.dpi}.png")
        mismatches = s.tray_icon_mismatches(state)
        check(mismatches == 0, f"the tray icon is not the picture drawn for its size ({mismatches} pixels differ)")
        x, y = s.screen.origin
        desktop = os.path.join(s.out_dir, f"dpi-{args.dpi}.png")
        subprocess.run(["convert", shot, "-crop", f"{width}x{height}+{x}+{y}", "+repage", desktop], check=True)
        bar = state.taskbar
        left = bar.x + bar.w - 3 * state.slots[0].w
        tray = os.path.join(s.out_dir, f"tray-{args.dpi}.png")
        subprocess.run(["convert", shot, "-crop", f"{bar.x + bar.w - left}x{bar.h}+{x + left}+{y + bar.y}", "+repage",
                        "-scale", "400%", tray], check=True)
        exit_program(s, program)
        print(f"[screenshots] {desktop} and {tray}", flush=True)
    finally:
        s.stop_programs()
        s.close()


if __name__ == "__main__":
    main()
