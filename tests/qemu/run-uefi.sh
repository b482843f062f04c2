#!/usr/bin/env bash
# The QEMU tier on UEFI PCs: the rescue disk that the real Corvane.exe saves
# under Wine, carrying \EFI\BOOT\BOOTX64.EFI and BOOTIA32.EFI beside the
# kernel, boots in OVMF for x64 (qemu-system-x86_64) and for IA-32
# (qemu-system-i386): its floppy image as a USB stick, and its CD image, whose
# El Torito catalog has the floppy for the BIOS and the same image for EFI. Each case checks what
# the program said on COM1 (OVMF's console), every disk byte for byte, that
# the medium was not written and that mtools still reads the files on it. The
# screens, taken when the program first waits for a key, are kept in the
# artefact folder, and each case prints the time from OVMF starting the
# program to that wait, taken from COM1 by serial-times.py.
# Usage: run-uefi.sh PROGRAM DRIVER ARTEFACT-FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../windows/wine-env.sh"
source "$here/../e2e/image-lib.sh"
source "$here/qemu-lib.sh"
source "$here/tier-lib.sh"

corvane_tier_start "$1" "$2" "$3" corvane_qemu_uefi_missing

# The boot sector follows only the FAT entries in the FATs' sectors 1 and 2
# (clusters up to 681): the UEFI programs' directories and clusters must lie
# there too.
efi_programs_within_reach() {  # FLOPPY
  local path last
  for path in EFI EFI/BOOT EFI/BOOT/BOOTX64.EFI EFI/BOOT/BOOTIA32.EFI; do
    last=$(MTOOLS_SKIP_CHECK=1 mshowfat -i "$1" "::$path" | grep -oE '[0-9]+' | sort -n | tail -n 1)
    ((last < 682)) || { echo "FAILED: $path on the floppy reaches cluster $last"; return 1; }
  done
}

# The media a UEFI PC boots for the disk image DISK, which the program saves
# itself (/image): the floppy image IMG, booted as a USB stick, and the CD
# image ISO, which holds it twice in its El Torito catalog, as the x86 BIOS's
# emulated floppy and as EFI's image (no emulation, its size counted in
# 512-byte sectors). OVMF boots the first entry it finds a file system in,
# the emulated floppy, whose blocks are 512 bytes; other firmware may take
# the EFI entry, whose blocks are the CD's: EFI_ISO, made by xorriso from IMG
# with the EFI entry alone, has OVMF read the CD's 2048-byte blocks.
make_uefi_media() {  # DISK IMG ISO EFI_ISO
  IMAGE_FILE=$2 make_rescue_floppy "$1" "$work/drive-a.img" yes || return 1
  IMAGE_FILE=$3 make_rescue_floppy "$1" "$work/drive-a.img" yes || return 1
  rm -f "$work/drive-a.img"
  efi_programs_within_reach "$2" && check_catalog "$3" bios || return 1
  make_cd "$2" "$4" -e RESCUE.IMG -no-emul-boot
}

# The CD image ISO holding FLOPPY as RESCUE.IMG, with xorriso's El Torito
# OPTIONs.
make_cd() {  # FLOPPY ISO OPTION...
  local floppy=$1 iso=$2 root=$work/iso-root
  shift 2
  rm -rf "$root"
  mkdir -p "$root"
  cp "$floppy" "$root/RESCUE.IMG"
  xorriso -as mkisofs -quiet -o "$iso" -V CORVANE_RESCUE -c BOOT.CAT "$@" "$root" 2>/dev/null
  rm -rf "$root"
  check_catalog "$iso"
}

# Whether the El Torito catalog of ISO is as meant: the floppy emulated for
# the BIOS where asked for (bios), the EFI image of 2880 sectors of 512 bytes.
check_catalog() {  # ISO [bios]
  local catalog
  catalog=$(xorriso -indev "$1" -report_el_torito plain 2>/dev/null | grep 'El Torito boot img')
  [[ ${2:-} != bios ]] || grep -qE '1 +BIOS +y +fd1.4 .* 1 +[0-9]+$' <<<"$catalog" &&
    grep -qE '[12] +UEFI +y +none .* 2880 +[0-9]+$' <<<"$catalog" || {
    echo "FAILED: the El Torito catalog of $(basename "$1") is not as meant:"$'\n'"$catalog"
    return 1
  }
}

# Whether mtools reads the UEFI programs from FLOPPY as built.
efi_programs_intact() {  # FLOPPY
  local name
  for name in x64 ia32; do
    MTOOLS_SKIP_CHECK=1 mcopy -n -i "$1" "::EFI/BOOT/BOOT${name^^}.EFI" "$work/boot-$name.efi" \
      2>/dev/null && cmp -s "$work/boot-$name.efi" "os/efi/boot$name.efi" || return 1
  done
  rm -f "$work"/boot-*.efi
}

floppies=$work/floppies
make_uefi_media "$disks/logical3.img" "$floppies/logical3.img" "$floppies/logical3.iso" \
  "$floppies/logical3-efi.iso"
mapfile -t ebrs < <(ebr_chain "$disks/logical3.img")
disk=$work/disk.img
cp "$disks/logical3.img" "$work/damaged.img"
zero_sector "$work/damaged.img" 0
zero_sector "$work/damaged.img" "${ebrs[1]}"

for CORVANE_QEMU_FIRMWARE in uefi64 uefi32; do
  export CORVANE_QEMU_FIRMWARE

  # The floppy image as a stick, the CD, and the CD with the EFI entry alone.
  for medium in stick cd cd-efi; do
    name=$CORVANE_QEMU_FIRMWARE-$medium-restored
    cp "$work/damaged.img" "$disk"
    file=$floppies/logical3.img
    [[ $medium == stick ]] || file=$floppies/logical3${medium#cd}.iso
    CORVANE_QEMU_BOOT=${medium%-efi} boot_case "$file" y "Restored 2 sectors." "$disk"
    kernel_said "Hard disk SATA port 0: 64 MiB." ||
      fail "the program did not name the disk as the firmware knows it"
    expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
    [[ $medium != stick ]] || efi_programs_intact "$file" ||
      fail "mtools does not read the UEFI programs from the floppy as built"
    finish_case
  done

  name=$CORVANE_QEMU_FIRMWARE-another-disk-no-writes-nothing
  cp "$disks/other96.img" "$disk"
  CORVANE_QEMU_BOOT=stick boot_case "$floppies/logical3.img" yn \
    "This floppy may belong to another disk." "$disk"
  kernel_said "this disk has 5E6F7081." ||
    fail "the program did not name the disk's signature"
  kernel_said "Nothing was written." || fail "it did not write nothing"
  expect_disk "$disk" "$disks/other96.img" "unchanged"
  finish_case

  # Two disks: the one on the later SATA port carries the floppy's signature.
  name=$CORVANE_QEMU_FIRMWARE-second-disk-carries-the-signature
  cp "$disks/second.img" "$work/second.img"
  cp "$disks/logical3.img" "$disk"
  zero_sector "$disk" "${ebrs[1]}"
  CORVANE_QEMU_BOOT=stick boot_case "$floppies/logical3.img" y "Restored 1 sector." \
    "$work/second.img" "$disk"
  kernel_said "Hard disk SATA port 1 carries this floppy's disk signature" ||
    fail "the program did not say which disk carries it"
  expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
  expect_disk "$work/second.img" "$disks/second.img" "unchanged"
  finish_case

  # The stick alone: a writable disk the firmware lists, never taken for
  # the one to restore.
  name=$CORVANE_QEMU_FIRMWARE-stick-alone-nothing-written
  CORVANE_QEMU_BOOT=stick boot_case "$floppies/logical3.img" yy "No hard disk was found apart \
from the rescue disk itself. Nothing was written."
  finish_case

  # A disk of 4096-byte blocks, behind a SCSI controller.
  name=$CORVANE_QEMU_FIRMWARE-4096-byte-blocks-refused
  cp "$work/damaged.img" "$disk"
  CORVANE_QEMU_EXTRA="-device virtio-scsi-pci,id=scsi -drive if=none,id=big,format=raw,file=$disk
    -device scsi-hd,drive=big,bus=scsi.0,logical_block_size=4096,physical_block_size=4096" \
    CORVANE_QEMU_BOOT=cd boot_case "$floppies/logical3.iso" y "The BIOS reports 4096-byte sectors \
for this disk; a rescue floppy holds 512-byte sectors. Nothing was written."
  expect_disk "$disk" "$work/damaged.img" "unchanged"
  finish_case
done

echo "qemu uefi: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
