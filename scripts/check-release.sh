#!/usr/bin/env bash
# Checks the release build: the exe imports only DLLs that ship with every
# Windows since 2000, its PE header says GUI subsystem version 5.0 at most,
# and the archive holds what a user needs.
# Usage: check-release.sh EXE ZIP
set -euo pipefail
exe=$1
zip=$2
problems=0
problem() {
  echo "release: $*"
  problems=$((problems + 1))
}

headers=$(i686-w64-mingw32-objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$exe")" || problem "not a 32-bit exe"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || problem "not a GUI program"
major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers")
minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$headers")
((major < 5 || (major == 5 && minor == 0))) || problem "subsystem version $major.$minor is above 5.0"
while read -r dll; do
  case ${dll^^} in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | MSVCRT.DLL) ;;
    *) problem "imports $dll, which not every Windows ships" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

listing=$(cmake -E tar tf "$zip")
for entry in Corvane.exe os/bs os/bootcore.bin ReadMe.txt; do
  grep -qx "$entry" <<<"$listing" || problem "$zip lacks $entry"
done

if ((problems == 0)); then
  echo "release: $(basename "$zip") checked: GUI subsystem $major.$minor, imports" \
    "$(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"
fi
((problems == 0))
