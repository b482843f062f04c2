#!/usr/bin/env bash
# Installs from Debian's packages everything that building and testing need.
# Does nothing when all of it is there already. nasm and libc6-dev-i386 (for
# g++ -m16's headers) build the rescue floppy's programs; qemu-system-x86
# (with SeaBIOS) boots them in the QEMU tier and the sample run, with ovmf and
# ovmf-ia32 (OVMF for x64 and IA-32) the UEFI programs in the UEFI tier.
# clang-14 and its runtime (libFuzzer, the sanitizers) build the fuzz targets.
set -euo pipefail

packages=(cmake make g++ libgtest-dev googletest clang-format clang-tidy cppcheck
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          wine wine64 wine32:i386 fonts-wine xvfb x11-utils fdisk mtools imagemagick
          icoutils python3 xorriso nasm libc6-dev-i386 qemu-system-x86 ovmf ovmf-ia32
          clang-14 libclang-rt-14-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
# wine32 runs the 32-bit Windows programs and comes from the i386 architecture.
"${sudo[@]}" dpkg --add-architecture i386
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
