#!/usr/bin/env python3
"""Start, exit and memory of Appuntello under Wine, beside the floor Wine sets.

For each count of stored notes (1,023 characters of words each), the program
and bench_floor.exe (the same windows, texts and tray icon, nothing else) are
started in turn, a few times, and measured the same way:

  start   from the process start until the tray icon is there, the controller
          window has finished its creation and every note is shown;
  exit    from posting the exit command (what "E&sci" sends) until the
          process has ended, saving included;
  memory  the resident memory of the process (VmRSS) once started.

Prints the medians as a table, with the ratio to the floor, and below it the
spread of start and exit (fastest and slowest run). Not a test: it judges
nothing. Run by scripts/bench with the display and prefix it set up:

    figures.py --bin BUILD/ARCH/bin --out BUILD/bench [--runs 5] [--large-runs 3] [--counts 0,100,1000]
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from driver import EXIT_COMMAND, Failure, Probe, Screen, settled_desktop, store_bytes, wait_until  # noqa: E402

WM_COMMAND = 0x0111
TARGET = 1.05
WORDS = ["appunto", "volante", "domani", "telefonare", "spesa", "riunione",
         "ricordare", "pane", "latte", "ufficio", "sera", "libro"]


def note_text(note):
    """1,023 characters of words with a few line breaks, different for every note
    (the texts of the store bench)."""
    text, i = "", note
    while len(text) < 1023:
        text += "\r\n" if i % 23 == 22 else " "
        text += WORDS[(i * 7 + note) % 12]
        i += 1
    text = text[:1023]
    return text[:-1] + "." if text.endswith("\r") else text


def notes(count):
    return [(f"Appuntello - nota {i}", note_text(i), "") for i in range(count)]


class Subject:
    """A program under measurement, in a folder of its own."""

    def __init__(self, name, exe, folder, args=()):
        self.name, self.exe, self.folder, self.args = name, exe, folder, list(args)


def summary(probe):
    f = probe.one("summary", "summary")
    return {"tooltips": int(f[1]), "controllers": int(f[2]), "controller": f[3], "created": f[4] == "1",
            "notes": int(f[5]), "shown": int(f[6])}


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    raise Failure(f"no resident memory for process {pid}")


def measure(probe, loader, subject, count):
    """One start and exit: (start s, exit s, resident MB)."""
    def idle():
        s = summary(probe)
        return s if s["controllers"] == 0 else None

    def shown():
        s = summary(probe)
        return s if (s["tooltips"] > before["tooltips"] and s["created"] and s["notes"] == count
                     and s["shown"] == count) else None

    before = wait_until("no program running", idle, 60, 0.1)
    started = time.monotonic()
    process = subprocess.Popen([loader, subject.exe, *subject.args], cwd=subject.folder,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Polling looks at every window: less often when there are many.
    interval = 0.05 + count * 0.0002
    try:
        ready = wait_until(f"{subject.name} with {count} notes shown and its tray icon", shown, 600, interval)
        start = time.monotonic() - started
        with open(f"/proc/{process.pid}/cmdline", "rb") as f:
            command = f.read()
        if os.path.basename(subject.exe).encode() not in command:
            raise Failure(f"process {process.pid} is not {subject.exe}: {command!r}")
        memory = resident_mb(process.pid)
        asked = time.monotonic()
        probe.one(f"post {ready['controller']} {WM_COMMAND} {EXIT_COMMAND} 0", "posted")
        process.wait(timeout=600)
        finished = time.monotonic() - asked
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    return start, finished, memory


def ratio(value, floor):
    return value / floor if floor > 0 else float("inf")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per count of notes")
    parser.add_argument("--large-runs", type=int, default=3, help="the same from 1,000 notes on")
    parser.add_argument("--counts", default="0,100,1000")
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",") if c]
    loader = os.environ["WINELOADER"]

    program_dir, floor_dir = os.path.join(args.out, "program"), os.path.join(args.out, "floor")
    for folder in (program_dir, floor_dir):
        os.makedirs(folder, exist_ok=True)
    program = Subject("Appuntello.exe", os.path.join(program_dir, "Appuntello.exe"), program_dir)
    floor = Subject("bench_floor.exe", os.path.join(floor_dir, "bench_floor.exe"), floor_dir, ["notes.txt"])
    subprocess.run(["cp", os.path.join(args.bin, "Appuntello.exe"), program.exe], check=True)
    subprocess.run(["cp", os.path.join(args.bin, "bench_floor.exe"), floor.exe], check=True)

    probe = Probe(loader, os.path.join(args.bin, "e2e_probe.exe"))
    settled_desktop(probe, Screen(args.out))
    print(f"Medians of {args.runs} runs ({args.large_runs} from 1,000 notes on), program and floor taking turns;")
    print("notes of 1,023 characters of words.")
    print("start: from starting the process under Wine until a look finds its tray icon, its creation done and")
    print("every note shown, looking every 0.05 s plus 0.2 ms per note (a look asks the probe about every window);")
    print("exit: exit command posted until the process has ended; memory: VmRSS once started.")
    print(f"floor: bench_floor.exe, the same windows, texts and tray icon and nothing else. Target: ratio <= {TARGET}.")
    print()
    header = (f"{'notes':>5} | {'start':>8} | {'floor':>8} | {'ratio':>5} | {'exit':>8} | {'floor':>8} | "
              f"{'ratio':>5} | {'memory':>8} | {'floor':>8} | {'ratio':>5}")
    print(header)
    print("-" * len(header), flush=True)
    spreads = []
    try:
        for count in counts:
            with open(os.path.splitext(program.exe)[0] + ".ini", "wb") as f:
                f.write(store_bytes((160, 120, 65535), notes(count)))
            with open(os.path.join(floor_dir, "notes.txt"), "wb") as f:
                f.write("".join(f"{t}\r\n{x.replace(chr(13) + chr(10), '#@')}\r\n"
                                for t, x, _ in notes(count)).encode("cp1252"))
            figures = {program.name: [], floor.name: []}
            runs = args.runs if count < 1000 else args.large_runs
            for run in range(runs):
                order = (program, floor) if run % 2 == 0 else (floor, program)
                for subject in order:
                    figures[subject.name].append(measure(probe, loader, subject, count))
            p = [statistics.median(x) for x in zip(*figures[program.name])]
            f = [statistics.median(x) for x in zip(*figures[floor.name])]
            print(f"{count:>5} | {p[0]:>6.2f} s | {f[0]:>6.2f} s | {ratio(p[0], f[0]):>5.2f} | "
                  f"{p[1]:>6.2f} s | {f[1]:>6.2f} s | {ratio(p[1], f[1]):>5.2f} | "
                  f"{p[2]:>5.1f} MB | {f[2]:>5.1f} MB | {ratio(p[2], f[2]):>5.2f}", flush=True)

            def spread(name, what):
                values = [run[what] for run in figures[name]]
                return f"{min(values):.2f}-{max(values):.2f} s"
            spreads.append(f"{count:>5} notes: start {spread(program.name, 0)} (floor {spread(floor.name, 0)}), "
                           f"exit {spread(program.name, 1)} (floor {spread(floor.name, 1)}), {runs} runs each")
    finally:
        probe.close()
    print("\nfastest-slowest run:")
    for line in spreads:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
