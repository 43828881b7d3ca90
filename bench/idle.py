#!/usr/bin/env python3
"""What an idle Appuntello costs under Wine, beside the floor, and how soon a
change written from outside its Wine reaches the screen.

  idle    the program and bench_floor.exe (the same windows, nothing else),
          each with the same notes, started side by side and left alone; the
          CPU ticks (utime + stime of /proc/<pid>/stat, in 1/100 s) each
          process takes over the minutes that follow, once both have started
          and settled;
  change  then the store is written anew from outside the program's Wine,
          one note's text changed each time, and the seconds until that text
          is on the screen are printed: with --writer prefix (the default) by
          a copy of cmd in a Wine prefix of its own, as a second computer on
          a share writes it; with --writer linux by a rename from Linux, as a
          sync client writes it.

Not a test: it judges nothing. Run by scripts/bench with the display and
prefix it set up:

    idle.py --bin BUILD/ARCH/bin --out BUILD/bench [--seconds 300] [--notes 10] [--changes 3]
            [--writer prefix|linux]
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from figures import notes  # noqa: E402
from driver import Probe, Screen, State, settled_desktop, store_bytes, wait_until  # noqa: E402

SETTLE = 10


def ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime and stime, fields 14 and 15


def texts(probe):
    return [n.text for n in State(probe.ask("state texts")).notes]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=int, default=300)
    parser.add_argument("--notes", type=int, default=10)
    parser.add_argument("--changes", type=int, default=3)
    parser.add_argument("--writer", choices=("prefix", "linux"), default="prefix")
    args = parser.parse_args()
    loader = os.environ["WINELOADER"]
    out = os.path.join(args.out, "idle")
    program_dir, floor_dir = os.path.join(out, "program"), os.path.join(out, "floor")
    for folder in (program_dir, floor_dir):
        os.makedirs(folder, exist_ok=True)
    exe, floor_exe = os.path.join(program_dir, "Appuntello.exe"), os.path.join(floor_dir, "bench_floor.exe")
    subprocess.run(["cp", os.path.join(args.bin, "Appuntello.exe"), exe], check=True)
    subprocess.run(["cp", os.path.join(args.bin, "bench_floor.exe"), floor_exe], check=True)
    stored = notes(args.notes)
    store = os.path.splitext(exe)[0] + ".ini"
    with open(store, "wb") as f:
        f.write(store_bytes((160, 120, 65535), stored))
    with open(os.path.join(floor_dir, "notes.txt"), "wb") as f:
        f.write("".join(f"{t}\r\n{x.replace(chr(13) + chr(10), '#@')}\r\n" for t, x, _ in stored).encode("cp1252"))

    # The other computer: a prefix of its own, made before anything is timed,
    # writing from a folder apart, so that nothing else changes in the store's.
    other = dict(os.environ, WINEPREFIX=os.path.join(out, "other-prefix"))
    source = os.path.join(out, "source")
    os.makedirs(source, exist_ok=True)
    if args.writer == "prefix":
        subprocess.run([loader, "wineboot", "-i"], env=other, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)

    def write_store(data):
        temp = os.path.join(source, "Appuntello.ini")
        with open(temp, "wb") as f:
            f.write(data)
        if args.writer == "linux":
            os.replace(temp, store)
        else:
            subprocess.run([loader, "cmd", "/c", "copy", "/y", "Z:" + temp.replace("/", "\\"),
                            "Z:" + store.replace("/", "\\")], env=other, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True)

    probe = Probe(loader, os.path.join(args.bin, "e2e_probe.exe"))
    started = []
    try:
        settled_desktop(probe, Screen(out))
        for path in (exe, floor_exe):
            started.append(subprocess.Popen([loader, path] + (["notes.txt"] if path == floor_exe else []),
                                            cwd=os.path.dirname(path), stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        program, floor = started
        wait_until(f"{args.notes} notes of the program on screen",
                   lambda: len(State(probe.ask("state")).notes) >= args.notes, 120, 0.5)
        time.sleep(SETTLE)  # both done starting; nothing looks at them from here on
        before = {p.pid: ticks(p.pid) for p in started}
        time.sleep(args.seconds)
        after = {p.pid: ticks(p.pid) for p in started}
        print(f"idle over {args.seconds} s with {args.notes} notes, CPU ticks (1/100 s, utime + stime):")
        print(f"  Appuntello.exe   {after[program.pid] - before[program.pid]}")
        print(f"  bench_floor.exe  {after[floor.pid] - before[floor.pid]}", flush=True)

        how = "by cmd in another Wine prefix" if args.writer == "prefix" else "by a rename from Linux"
        print(f"a change written {how}, until it is on screen:")
        waits = []
        for i in range(args.changes):
            time.sleep(3 + 2 * i)  # not in step with the program's looks
            changed = list(stored)
            title, _, voice = changed[0]
            changed[0] = (title, f"cambiata da fuori {i}", voice)
            write_store(store_bytes((160, 120, 65535), changed))
            written = time.monotonic()
            wait_until("the change on screen", lambda: f"cambiata da fuori {i}" in texts(probe), 60, 0.1)
            waits.append(time.monotonic() - written)
            print(f"  change {i + 1}: {waits[-1]:.1f} s", flush=True)
        print(f"  longest {max(waits):.1f} s")
    finally:
        for p in started:
            p.kill()
            p.wait()
        probe.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
