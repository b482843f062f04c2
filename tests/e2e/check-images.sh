#!/usr/bin/env bash
# Reads the floppy and CD images that the image builder makes from the real
# os/bs, os/bootcore.bin and os/efi/*.efi with real tools: mtools must find
# BOOTCORE.BIN and EFI/BOOT/BOOTX64.EFI and BOOTIA32.EFI on the floppy byte
# for byte, xorriso must see the El Torito boot images for the BIOS and for
# UEFI and RESCUE.IMG, and RESCUE.IMG must be the floppy. Exits 77 where mtools or
# xorriso are missing.
# Usage: check-images.sh MAKE-IMAGE OS-FOLDER
set -euo pipefail
make_image=$1
os=$2
for tool in mdir mcopy xorriso; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_image" "$os/bs" "$os/bootcore.bin" "$os/efi/bootx64.efi" "$os/efi/bootia32.efi" \
  "$work/rescue.img" "$work/rescue.iso"
export MTOOLS_SKIP_CHECK=1
status=0
fail() {
  echo "FAILED: $*"
  status=1
}

mdir -i "$work/rescue.img" :: >"$work/mdir.txt" || fail "mdir cannot read the floppy"
grep -Eq "^BOOTCORE +BIN +$(stat -c %s "$os/bootcore.bin") " "$work/mdir.txt" ||
  fail "mdir does not list BOOTCORE.BIN with the kernel's size"
if ! mcopy -i "$work/rescue.img" ::BOOTCORE.BIN "$work/bootcore.bin" ||
  ! cmp -s "$work/bootcore.bin" "$os/bootcore.bin"; then
  fail "BOOTCORE.BIN as mcopy reads it differs from os/bootcore.bin"
fi
cmp -s <(head -c 512 "$os/bs") <(head -c 512 "$work/rescue.img") ||
  fail "the floppy's sector 0 is not os/bs"

for program in bootx64 bootia32; do
  if ! mcopy -i "$work/rescue.img" "::EFI/BOOT/${program^^}.EFI" "$work/$program.efi" ||
    ! cmp -s "$work/$program.efi" "$os/efi/$program.efi"; then
    fail "EFI/BOOT/${program^^}.EFI as mcopy reads it differs from os/efi/$program.efi"
  fi
done

xorriso -indev "$work/rescue.iso" -report_el_torito plain -find / -exec report_lba -- \
  >"$work/xorriso.txt" 2>&1 || fail "xorriso cannot read the CD image"
! grep -Eiq "warning|failure|sorry" "$work/xorriso.txt" || fail "xorriso complains"
grep -q "^Boot record  : El Torito" "$work/xorriso.txt" || fail "xorriso sees no El Torito boot record"
# "El Torito boot img :   1  BIOS  y  fd1.4  0x0000  0x00      1          LBA"
boot_lba=$(awk '/^El Torito boot img : +1 +BIOS +y +fd1.4 +0x0000 / {print $NF}' "$work/xorriso.txt")
[[ -n $boot_lba ]] || fail "xorriso sees no bootable 1.44 MB floppy emulation image"
efi_lba=$(awk '/^El Torito boot img : +2 +UEFI +y +none +0x0000 +0x00 +2880 / {print $NF}' \
  "$work/xorriso.txt")
[[ $efi_lba == "$boot_lba" ]] ||
  fail "xorriso sees no UEFI boot image of 2880 sectors where the floppy image lies"
# "File data lba:  0 ,       LBA ,      720 ,  1474560 , '/RESCUE.IMG'"
file_lba=$(awk -F' *, *' "/'\/RESCUE.IMG'\$/ && \$4 == $(stat -c %s "$work/rescue.img") {print \$2}" \
  "$work/xorriso.txt")
[[ -n $file_lba ]] || fail "xorriso does not list RESCUE.IMG with the floppy's size"
[[ $boot_lba == "$file_lba" ]] || fail "the boot image (LBA $boot_lba) is not RESCUE.IMG ($file_lba)"
xorriso -osirrox on -indev "$work/rescue.iso" -extract /RESCUE.IMG "$work/extracted.img" \
  >/dev/null 2>&1 || fail "xorriso cannot extract RESCUE.IMG"
cmp -s "$work/extracted.img" "$work/rescue.img" || fail "RESCUE.IMG differs from the floppy image"

if ((status != 0)); then
  cat "$work/mdir.txt" "$work/xorriso.txt"
  exit 1
fi
echo "images: BOOTCORE.BIN and EFI/BOOT read back by mtools; El Torito BIOS and UEFI images" \
  "and RESCUE.IMG read by xorriso"
