#!/usr/bin/env python3
"""Starts Appuntello for scripts/run in the Wine virtual desktop, found and
driven as the end-to-end scenarios do (driver.py), and leaves it running:

    demo.py --bin BUILD/ARCH/bin --exe FOLDER/Appuntello.exe --out FOLDER --screenshot FILE
            [--notes N --notes-screenshot FILE] [--pid-file FILE]

Waits for the tray icon and takes a screenshot; with --notes, also creates
that many notes from the tray menu ("&Nuovo Memino") and takes another. The
program's process id goes to the pid file, for the caller to wait for its end.
"""

import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from driver import TRAY_MENU, TRAY_NEW_NOTE, Failure, Program, Session  # noqa: E402


def screenshot(s, path):
    shutil.copy(s.screen.screenshot(os.path.basename(path)), path)
    print(f"[run] screenshot saved to {path}", flush=True)


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
            for n in range(args.notes):
                shown = len(s.state().notes_of(program.pid))
                s.tray_command(program, TRAY_NEW_NOTE)
                s.wait(f"note {n + 1} to appear", lambda st: len(st.notes_of(program.pid)) == shown + 1)
            s.screen.move(600, 300)
            screenshot(s, args.notes_screenshot)
    except Failure as failure:
        print(f"[run] {failure}", file=sys.stderr, flush=True)
        return 1
    finally:
        s.probe.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
