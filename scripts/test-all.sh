#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the
# native unit tests (plain and with sanitizers), the style checks, and the
# Windows test programs under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

for preset in native native-asan win32 win32-tests win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== style"
bash scripts/check-style.sh

echo "== native tests"
ctest --preset native
ctest --preset native-asan

echo "== Windows tests under Wine"
source tests/windows/wine-env.sh
WINEPREFIX=$(mktemp -d)/prefix
export WINEPREFIX
mkdir -p "$WINEPREFIX"
# A server that outlives each program saves every test its start-up.
/usr/lib/wine/wineserver64 -p
CORVANE_XVFB_PID=
trap '/usr/lib/wine/wineserver64 -k || true; rm -rf "$(dirname "$WINEPREFIX")"
      [[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID"' EXIT
corvane_display_ready
corvane_wine_prefix_ready
# One prefix serves both builds, so their tests, which map the same device
# names, run one at a time.
ctest --preset win32-tests
ctest --preset win64
