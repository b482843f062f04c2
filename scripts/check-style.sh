#!/usr/bin/env bash
# Fails when a source file is not formatted as .clang-format says or when
# clang-tidy finds anything in the native build's sources.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

# Only the files the native build compiles have entries in its compilation
# database; the Win32 code (the Win32 platform, the user interface, the
# program and its Windows-side tests) is checked by the cross builds' warnings.
mapfile -t native < <(git ls-files '*.cpp' |
  grep -v -e '^platform/Win32' -e '^ui/' -e '^app/' -e '^tests/windows/' -e '^tests/e2e/')
printf "%s\n" "${native[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy --quiet -p build/native 2>/dev/null
echo "style: clean"
