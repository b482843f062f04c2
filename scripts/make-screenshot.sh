#!/usr/bin/env bash
# Makes docs/corvane.png, the README's picture of Corvane, from a real run:
# the program built here, under Wine on a screen of its own (Xvfb, 1024x768),
# with the sample disk mapped as its only hard disk, the moment its main
# dialog is ready. The run then asks for a rescue disk, is offered the image
# files (there is no drive A:) and cancels, so nothing is written.
# Uses the same Wine prefix as run-corvane.sh, in the cache folder.
# Usage: make-screenshot.sh
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
source tests/windows/wine-env.sh

corvane_pick_builds
for preset in "${CORVANE_PRESETS[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Corvane corvane_driver >/dev/null
done

work=$(mktemp -d)
CORVANE_XVFB_PID=
corvane_wine_cache_prefix
trap 'corvane_wine_cache_release; rm -rf "$work"
      [[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID" 2>/dev/null || true' EXIT
# A desktop's own size and theme would change the picture.
unset DISPLAY
corvane_display_ready
corvane_wine_prefix_ready
bash tests/e2e/make-sample-disk.sh "$work/disk0.img"
ln -s "$work/disk0.img" "$WINEPREFIX/dosdevices/physicaldrive0"
cp -r os "$work/os"
cp "$CORVANE_PROGRAM" "$work/Corvane.exe"
mkdir "$work/shots"

(cd "$work" && CORVANE_DRIVER_ANSWER=no \
  "$(corvane_wine_loader_for "$top/$CORVANE_PROGRAM")" "$top/$CORVANE_TOOLS/corvane_driver.exe" \
  Corvane.exe 0 "Z:${work//\//\\}\\shots" >/dev/null 2>&1) || true
shot=$work/shots/01-main.bmp
[[ -f $shot ]] || {
  echo "Corvane showed no main dialog: docs/corvane.png is unchanged" >&2
  exit 1
}
# The screen's few colours fit a palette, which keeps the file small.
convert "$shot" -strip PNG8:docs/corvane.png
echo "docs/corvane.png: $(identify -format '%wx%h' docs/corvane.png), $(stat -c %s docs/corvane.png) bytes"
