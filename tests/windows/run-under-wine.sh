#!/usr/bin/env bash
# Runs one Windows test program under Wine, with a sample disk, a floppy image
# and a floppy root folder mapped through the prefix's dosdevices/ folder:
#   \\.\PhysicalDrive0  a sparse 5 GiB disk: an MBR whose extended partition
#                       starts at LBA 8388613 (beyond 4 GiB), its one EBR, and
#                       a marker sector at LBA 8388614
#   \\.\PhysicalDrive2  a sparse 8 MiB stick whose sectors 0, 2880, 14335,
#                       14336 and 16383 say "OLD STICK SECTOR N"
#   \\.\PhysicalDrive3  a folder, which Wine refuses to open as a device
#   \\.\A:              a 1.44 MB floppy image as Windows formats it, with
#                       os/bootcore.bin copied on
#   a:\                 an empty folder
# The program runs in a folder holding a copy of os/ and finds that folder's
# Windows path in CORVANE_TEST_DIR.
# Usage: run-under-wine.sh PROGRAM.exe [ARGUMENTS...]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
source "$here/../e2e/image-lib.sh"

exe=$(realpath "$1")
shift
loader=$(corvane_wine_loader_for "$exe")
if ! corvane_wine_loader_works "$loader"; then
  echo "SKIPPED: $(basename "$exe"): $loader cannot run on this machine" \
    "(the kernel does not execute 32-bit programs)"
  exit 77
fi
# The display first: Wine's desktop starts with the prefix and keeps it.
CORVANE_XVFB_PID=
corvane_display_ready
corvane_wine_prefix_ready

work=$(mktemp -d)
links=(physicaldrive0 physicaldrive2 physicaldrive3 a: a::)
cleanup() {
  for link in "${links[@]}"; do rm -f "$WINEPREFIX/dosdevices/$link"; done
  rm -rf "$work"
  corvane_wine_cleanup
}
trap cleanup EXIT

put_signature() { put_bytes "$1" $(($2 * 512 + 510)) '\x55\xaa'; }

disk=$work/disk0.img
ebr=8388613
truncate -s 5G "$disk"
put_bytes "$disk" $((446 + 16 + 4)) '\x05'
put_bytes "$disk" $((446 + 16 + 8)) "$(le32 $ebr)"
put_signature "$disk" 0
put_bytes "$disk" $((ebr * 512 + 446 + 4)) '\x07'
put_bytes "$disk" $((ebr * 512 + 446 + 8)) "$(le32 63)"
put_signature "$disk" $ebr
put_bytes "$disk" $(((ebr + 1) * 512)) 'CORVANE TEST SECTOR %d' $((ebr + 1))

stick=$work/stick.img
truncate -s 8M "$stick"
for sector in 0 2880 14335 14336 16383; do
  put_bytes "$stick" $((sector * 512)) 'OLD STICK SECTOR %d' "$sector"
done

bash "$here/../e2e/make-floppy.sh" "$work/floppy.img"
mkdir "$work/floppy-root" "$work/not-a-disk"
cp -r "$here/../../os" "$work/os"

ln -sfn "$disk" "$WINEPREFIX/dosdevices/physicaldrive0"
ln -sfn "$stick" "$WINEPREFIX/dosdevices/physicaldrive2"
ln -sfn "$work/not-a-disk" "$WINEPREFIX/dosdevices/physicaldrive3"
ln -sfn "$work/floppy.img" "$WINEPREFIX/dosdevices/a::"
ln -sfn "$work/floppy-root" "$WINEPREFIX/dosdevices/a:"

cd "$work"
CORVANE_TEST_DIR="Z:${work//\//\\}" "$loader" "$exe" "$@"
