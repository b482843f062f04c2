#!/usr/bin/env bash
# Fails when a source file is not formatted as .clang-format says, or when
# clang-tidy or cppcheck finds anything. clang-tidy reads the native build's
# compilation database for the portable code and the 32-bit test build's, with
# clang's mingw target, for the Win32 code; both builds must exist.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

windows_code=(-e '^platform/' -e '^ui/' -e '^app/' -e '^tests/windows/' -e '^tests/e2e/')
mapfile -t native < <(git ls-files '*.cpp' | grep -v "${windows_code[@]}")
mapfile -t windows < <(git ls-files '*.cpp' | grep "${windows_code[@]}")
printf "%s\n" "${native[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy --quiet -p build/native 2>/dev/null
bash scripts/tidy-windows.sh build/win32-tests "${windows[@]}"

# GoogleTest's parameter tables are read through GetParam(), which cppcheck
# does not follow.
mapfile -t all < <(git ls-files '*.cpp')
cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++20 --language=c++ -I. -D_WIN32 \
  --enable=warning,style,performance,portability --library=googletest --library=windows \
  --suppress=missingIncludeSystem --suppress=unusedStructMember:tests/native/RescueDiskTest.cpp \
  "${all[@]}"
echo "style: clean (clang-format, clang-tidy native and mingw, cppcheck)"
