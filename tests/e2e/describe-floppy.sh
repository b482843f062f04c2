#!/usr/bin/env bash
# Prints what a rescue floppy image holds, read from its control buffer:
# the drive number and, for each copy, the floppy sector and the disk LBA it
# came from.
# Usage: describe-floppy.sh IMAGE
set -euo pipefail
read -r -a bytes <<<"$(od -An -v -tu1 -j $((3 * 512)) -N 512 "$1" | tr -s ' \n' ' ')"
echo "control buffer (floppy sector 3):"
record=0
for ((at = 0; at + 5 <= 512; at += 5)); do
  [[ ${bytes[at]} -eq 36 ]] || break # '$'
  value=$((bytes[at + 1] | bytes[at + 2] << 8 | bytes[at + 3] << 16 | bytes[at + 4] << 24))
  if ((record == 0)); then
    echo "  drive number $value"
  elif ((record == 1)); then
    echo "  floppy sector 4 <- LBA $value (master boot record)"
  else
    echo "  floppy sector $((record + 3)) <- LBA $value (extended boot record $((record - 1)))"
  fi
  record=$((record + 1))
done
((record > 0)) || echo "  none: this floppy holds no rescue records"
