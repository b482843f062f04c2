#!/usr/bin/env bash
# Runs Corvane under Wine on a built-in sample disk: a 64 MiB disk image with
# one primary partition and an extended partition holding three logical
# drives, made by sfdisk, and an empty formatted 1.44 MB floppy image.
# On a desktop (DISPLAY set) the program's window appears and the rest is the
# user's. Without one it runs under Xvfb, creates one rescue disk as a person
# would, and prints what it was shown and what the floppy now holds.
# Everything it makes stays in the folder it prints at the end.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
source tests/windows/wine-env.sh

corvane_pick_builds
program=$CORVANE_PROGRAM
driver=$CORVANE_TOOLS/corvane_driver.exe
for preset in "${CORVANE_PRESETS[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Corvane corvane_driver >/dev/null
done

work=$(mktemp -d /tmp/corvane-run.XXXXXX)
mkdir -p "$work/floppy-root" "$work/screenshots"
bash tests/e2e/make-sample-disk.sh "$work/disk0.img"
bash tests/e2e/make-floppy.sh "$work/floppy.img"
cp -r os "$work/os"
cp "$program" "$work/Corvane.exe"

# Wine's desktop starts with the prefix and needs the display from then on.
interactive=false
if [[ -n ${DISPLAY:-} ]] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  interactive=true
fi
CORVANE_XVFB_PID=
corvane_display_ready
export WINEPREFIX=$work/prefix
corvane_wine_prefix_ready
ln -s "$work/disk0.img" "$WINEPREFIX/dosdevices/physicaldrive0"
ln -s "$work/floppy.img" "$WINEPREFIX/dosdevices/a::"
ln -s "$work/floppy-root" "$WINEPREFIX/dosdevices/a:"
loader=$(corvane_wine_loader_for "$program")
cd "$work"

if $interactive; then
  "$loader" Corvane.exe || true
else
  "$loader" "$top/$driver" 'Corvane.exe' 0 'Z:'"${work//\//\\}"'\screenshots' 2>/dev/null | tr -d '\r'
  for shot in screenshots/*.bmp; do
    convert "$shot" "${shot%.bmp}.png" && rm "$shot"
  done
  echo
  bash "$top/tests/e2e/describe-floppy.sh" floppy.img
  echo "screenshots: $work/screenshots"
fi
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
[[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID"
echo "floppy image: $work/floppy.img (write it to a 1.44 MB floppy, or boot it in a virtual machine)"
echo "kernel file copied to the floppy's file system: $work/floppy-root/bootcore.bin"
