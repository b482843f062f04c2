#!/usr/bin/env bash
# Makes a 1.44 MB floppy image as Windows formats it, holding the rescue kernel
# (by default the build's os/bootcore.bin) where Windows' file copy puts it:
# the first file on a clean floppy, from cluster 2 on. NONE leaves it empty.
# Usage: make-floppy.sh IMAGE [KERNEL|NONE]
set -euo pipefail
kernel=${2:-$(dirname "${BASH_SOURCE[0]}")/../../os/bootcore.bin}
rm -f "$1"
mformat -C -f 1440 -v CORVANE -i "$1" ::
[[ $kernel == NONE ]] || MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$kernel" ::BOOTCORE.BIN
