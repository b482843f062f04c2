#!/usr/bin/env bash
# Measures, under Wine, the two speed figures Corvane promises and prints them:
# - creating a rescue floppy for a disk with 14 logical drives, the most a
#   floppy holds: the time the program is busy beyond its fixed 3000 ms pause,
#   leaving out the time its messages wait for the user; under 500 ms;
# - the same rescue disk saved as a CD image (/image, no floppy, no pause):
#   the time the program is busy; at most 500 ms;
# - start-up with ten disks mapped, to the main dialog ready for input: at most
#   1.5 times the start-up of a minimal Win32 dialog program, measured in the
#   same run (medians of alternating runs).
# Every timed run is checked: a creation counts only when it ended in success
# after the pause, a start-up only when the program exited as it should. An
# invalid run is named and makes the benchmark exit non-zero.
# Usage: benchmark.sh [RUNS]   (default 5; the builds must exist)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
source tests/windows/wine-env.sh
source tests/e2e/image-lib.sh
runs=${1:-5}

corvane_pick_builds
program=$top/$CORVANE_PROGRAM
minimal=$top/$CORVANE_TOOLS/minimal_dialog.exe
driver=$top/$CORVANE_TOOLS/corvane_driver.exe
loader=$(corvane_wine_loader_for "$program")

work=$(mktemp -d)
CORVANE_XVFB_PID=
trap 'rm -rf "$work"; corvane_wine_cleanup' EXIT
corvane_display_ready
# A prefix already running on this display is reused: a second Wine desktop
# on the same display makes every program start wait seconds for the first.
corvane_wine_prefix_ready persistent
rm -f "$WINEPREFIX"/dosdevices/physicaldrive* "$WINEPREFIX/dosdevices/a:" "$WINEPREFIX/dosdevices/a::"
mkdir -p "$work/disks" "$work/run/floppy-root"
bash tests/e2e/make-disks.sh "$work/disks" >/dev/null
bash tests/e2e/make-floppy.sh "$work/run/floppy.img"
cp -r os "$work/run/os"
ln -s "$work/run/floppy.img" "$WINEPREFIX/dosdevices/a::"
ln -s "$work/run/floppy-root" "$WINEPREFIX/dosdevices/a:"

# One driven run: what the driver saw and its timing lines. Through a file,
# not a pipe: Wine processes that the run starts (its desktop, its services)
# can outlive it with its output inherited, and a pipe would wait for them.
drive() {  # PROGRAM ROW [ARGUMENT...]
  (cd "$work/run" && "$loader" "$driver" "$1" "$2" - "${@:3}" >"$work/drive.txt" 2>&1 </dev/null) ||
    true
  tr -d '\r' <"$work/drive.txt"
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
invalid=0
reject() {  # WHAT TRANSCRIPT
  echo "benchmark: invalid $1 run: $(tr '\n' ' ' <<<"$2")"
  invalid=$((invalid + 1))
}

# Appends the busy time of one creation to FILE when the run is valid: it
# succeeded, after the pause when it made a floppy.
time_creation() {  # FILE PAUSE [ARGUMENT...]
  local seen busy
  seen=$(drive "$program" 0 "${@:3}")
  busy=$(awk '/^timing: busy/ {print $3}' <<<"$seen")
  if [[ $seen == *$'status: Corvane Disk Successfully Created\n'*'exit: 0'* && -n $busy ]] &&
    ((busy >= $2)); then
    echo "$busy" >>"$1"
  else
    reject creation "$seen"
  fi
}

# Appends the start-up time of one run of PROGRAM to FILE when the run is
# valid: the driver only times the main dialog of the process it started.
time_start_up() {  # PROGRAM FILE
  local seen ready
  seen=$(drive "$1" 9)
  ready=$(awk '/^timing: ready/ {print $4}' <<<"$seen")
  if [[ $seen == *'exit: 0'* && -n $ready ]]; then
    echo "$ready" >>"$2"
  else
    reject start-up "$seen"
  fi
}

: >"$work/busy.ms"
ln -s "$work/disks/chain14.img" "$WINEPREFIX/dosdevices/physicaldrive0"
for _ in $(seq "$runs"); do time_creation "$work/busy.ms" 3000; done
busy=$(median <"$work/busy.ms")
beyond=?
[[ -z $busy ]] || beyond=$((busy - 3000))
echo "creation for 14 logical drives: busy ${busy:-?} ms, ${beyond} ms beyond the 3000 ms pause (limit 500; $(wc -l <"$work/busy.ms") valid runs)"

: >"$work/image.ms"
for _ in $(seq "$runs"); do
  time_creation "$work/image.ms" 0 /image 'Z:'"${work//\//\\}"'\run\rescue.iso'
done
image=$(median <"$work/image.ms")
echo "CD image for 14 logical drives: busy ${image:-?} ms (limit 500; $(wc -l <"$work/image.ms") valid runs)"

rm "$WINEPREFIX/dosdevices/physicaldrive0"
for n in $(seq 0 9); do
  ln -s "$work/disks/logical3.img" "$WINEPREFIX/dosdevices/physicaldrive$n"
done
: >"$work/corvane.ms"
: >"$work/minimal.ms"
for _ in $(seq "$runs"); do
  time_start_up "$program" "$work/corvane.ms"
  time_start_up "$minimal" "$work/minimal.ms"
done
corvane=$(median <"$work/corvane.ms")
baseline=$(median <"$work/minimal.ms")
ratio=?
[[ -z $corvane || -z $baseline ]] ||
  ratio=$(awk -v a="$corvane" -v b="$baseline" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
echo "start-up with ten disks: ${corvane:-?} ms; minimal dialog program: ${baseline:-?} ms; ratio ${ratio} (limit 1.5)"

verdict=0
((invalid == 0)) || { echo "benchmark: $invalid invalid runs"; verdict=1; }
[[ -n $busy ]] && ((beyond < 500)) || { echo "benchmark: creation is over its limit"; verdict=1; }
[[ -n $image ]] && ((image <= 500)) || { echo "benchmark: the CD image is over its limit"; verdict=1; }
[[ -n $corvane && -n $baseline ]] && awk -v r="$ratio" 'BEGIN {exit !(r <= 1.5)}' ||
  { echo "benchmark: start-up is over its limit"; verdict=1; }
exit "$verdict"
