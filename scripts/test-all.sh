#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the
# native unit tests (plain and with sanitizers), short fuzz runs, the style
# checks, the Windows test programs under Wine, the end-to-end suite, and the
# QEMU tiers (rescue floppies made by the program, booted with damaged disks
# on BIOS and UEFI PCs).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

for preset in native native-asan win32 win32-tests win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== release"
bash scripts/check-release.sh

echo "== style"
bash scripts/check-style.sh

echo "== native tests"
ctest --preset native
ctest --preset native-asan

echo "== fuzzing"
# A fixed number of inputs per target, a few seconds each; a finding fails
# the run. scripts/fuzz.sh SECONDS runs them longer.
bash scripts/fuzz.sh --runs 20000

echo "== Windows tests under Wine"
source tests/windows/wine-env.sh
WINEPREFIX=$(mktemp -d)/prefix
export WINEPREFIX
CORVANE_XVFB_PID=
# An Xvfb that could not take its display (another session's server holds
# it) is gone by the end; that does not fail the run.
trap '/usr/lib/wine/wineserver64 -k || true; rm -rf "$(dirname "$WINEPREFIX")"
      [[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID" 2>/dev/null || true' EXIT
corvane_display_ready
corvane_wine_prefix_ready persistent
# One prefix serves both builds, so their tests, which map the same device
# names, run one at a time.
ctest --preset win32-tests
ctest --preset win64

echo "== end to end"
corvane_pick_builds
[[ $CORVANE_PROGRAM == build/win32/* ]] ||
  echo "32-bit programs do not run on this machine: the suite uses the 64-bit build"
bash tests/e2e/run-e2e.sh "$CORVANE_PROGRAM" "$CORVANE_TOOLS/corvane_driver.exe" \
  build/e2e-screenshots

echo "== rescue in QEMU"
# The tier reports itself skipped (77) where QEMU cannot boot a PC.
status=0
bash tests/qemu/run-qemu.sh "$CORVANE_PROGRAM" "$CORVANE_TOOLS/corvane_driver.exe" \
  build/qemu-screens || status=$?
((status == 0 || status == 77))
bash tests/qemu/run-uefi.sh "$CORVANE_PROGRAM" "$CORVANE_TOOLS/corvane_driver.exe" \
  build/qemu-uefi-screens || status=$?
((status == 0 || status == 77))

echo "== benchmark"
# The figures are printed for every run; a shared, noisy machine does not
# fail the run for them.
bash scripts/benchmark.sh 5 || echo "benchmark: a figure is over its limit (see above)"
