#!/usr/bin/env bash
# clang-tidy on the Win32 code (the Win32 platform, the user interface, the
# program and the Windows-side tests), with clang's mingw target and the
# mingw-w64 GCC headers, through the compilation database of a cross build.
# Usage: tidy-windows.sh BUILD-FOLDER FILE...
set -euo pipefail
build=$1
shift
gcc_include=$(dirname "$(i686-w64-mingw32-g++-posix -print-libgcc-file-name)")/include
args=(--quiet -p "$build" --extra-arg-before=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
for folder in c++ c++/i686-w64-mingw32 c++/backward; do
  args+=("--extra-arg=-isystem$gcc_include/$folder")
done
printf "%s\n" "$@" | xargs -P "$(nproc)" -n 3 clang-tidy "${args[@]}" 2>/dev/null
