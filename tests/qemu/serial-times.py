#!/usr/bin/env python3
"""Prints the seconds between two events on a serial log that QEMU is writing:
the first appearance of START and then of any END text, watching the file every
millisecond (a shell's polling would add a tenth of a second). Prints nothing
where START or END did not appear within SECONDS. Writes to LINES each line
that arrived from START on, after the seconds since START, to show where a
slow boot spent its time.

Usage: serial-times.py LOG SECONDS LINES START END...
"""
import sys
import time


def main():
    log, seconds, lines = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    start, ends = sys.argv[4].encode(), [end.encode() for end in sys.argv[5:]]
    deadline = time.monotonic() + seconds
    seen = b""
    started = None
    with open(log, "rb") as serial, open(lines, "w", encoding="utf-8") as times:
        while time.monotonic() < deadline:
            more = serial.read()
            if not more:
                time.sleep(0.001)
                continue
            now = time.monotonic()
            seen += more
            if started is None:
                at = seen.find(start)
                if at < 0:
                    continue
                started = now
                seen = seen[at:]
            while b"\n" in seen:
                line, seen = seen.split(b"\n", 1)
                times.write(f"{now - started:7.3f} {line.decode(errors='replace')}\n")
                times.flush()
            if any(end in seen for end in ends):
                print(f"{now - started:.3f}")
                return


if __name__ == "__main__":
    main()
