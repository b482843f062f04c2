#!/usr/bin/env bash
# Makes a 1.44 MB floppy image as Windows formats it, holding the rescue kernel
# (by default the build's os/bootcore.bin) and the build's UEFI rescue
# programs in EFI/BOOT where Windows' file copies put them: the kernel the
# first file on a clean floppy, from cluster 2 on, then the folders and the
# programs. NONE leaves it empty.
# Usage: make-floppy.sh IMAGE [KERNEL|NONE]
set -euo pipefail
os=$(dirname "${BASH_SOURCE[0]}")/../../os
kernel=${2:-$os/bootcore.bin}
rm -f "$1"
mformat -C -f 1440 -v CORVANE -i "$1" ::
[[ $kernel != NONE ]] || exit 0
export MTOOLS_SKIP_CHECK=1
mcopy -i "$1" "$kernel" ::BOOTCORE.BIN
mmd -i "$1" ::EFI ::EFI/BOOT
mcopy -i "$1" "$os/efi/bootx64.efi" ::EFI/BOOT/BOOTX64.EFI
mcopy -i "$1" "$os/efi/bootia32.efi" ::EFI/BOOT/BOOTIA32.EFI
