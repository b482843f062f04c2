#!/usr/bin/env python3
"""Prints the seconds between two events on a serial log that QEMU is writing:
the first appearance of START and then of any END text, watching the file every
millisecond (a shell's polling would add a tenth of a second). Prints nothing
where START or END did not appear within SECONDS.

Usage: serial-times.py LOG SECONDS START END...
"""
import sys
import time


def main():
    log, seconds, start, ends = sys.argv[1], float(sys.argv[2]), sys.argv[3].encode(), sys.argv[4:]
    ends = [end.encode() for end in ends]
    deadline = time.monotonic() + seconds
    seen = b""
    started = None
    with open(log, "rb") as serial:
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
                seen = seen[at + len(start):]
            if any(end in seen for end in ends):
                print(f"{now - started:.3f}")
                return


if __name__ == "__main__":
    main()
