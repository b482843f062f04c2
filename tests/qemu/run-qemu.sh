#!/usr/bin/env bash
# The QEMU tier: the whole rescue, end to end. The real Corvane.exe under Wine
# makes a rescue floppy for a disk image (the floppy image formatted by mformat
# with bootcore.bin copied in by mcopy, as the program's own file copy would on
# Windows, and mapped as a:: so the program's raw writes land on it); the disk
# image is damaged; QEMU boots the floppy headless with the disk attached, and
# the rescue kernel is answered through the monitor's sendkey while its lines
# arrive through COM1. A floppy without bootcore.bin shows the boot sector's
# own failure line. Each case checks what the kernel said, every disk image
# byte for byte, that the floppy was not written, and that mtools still reads
# BOOTCORE.BIN from it, identical to the built one. The kernel's screens are
# kept in the artefact folder. For what SeaBIOS does not do (esp's upper half
# or the direction flag set by int 13h, from the boot sector on, 4096-byte
# sectors, failing floppy reads, a boot drive without the int 13h extensions
# or without a geometry, a key typed during the boot or held down), floppies
# carry a test-only BOOTCORE.BIN (BiosQuirks.asm) that stages it and then runs
# the real kernel. The program's image files (/image) boot too: the .img as a
# floppy, the .iso from QEMU's CD drive. The rescue floppy booted as a USB
# stick or an IDE disk, and the .img written over the start of a larger stick
# by the program's stick code (corvane_stick_writer, beside DRIVER), is the
# BIOS's hard disk 80h with a hard disk's geometry, which the kernel must leave
# alone, with the damaged disk as 81h.
# Usage: run-qemu.sh PROGRAM DRIVER ARTEFACT-FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../windows/wine-env.sh"
source "$here/../e2e/image-lib.sh"
source "$here/qemu-lib.sh"
source "$here/tier-lib.sh"

corvane_tier_start "$1" "$2" "$3" corvane_qemu_tier_missing
# Fourteen logical drives: the MBR and 14 EBRs fill floppy sectors 4 to 18,
# the most a standard floppy holds before its root directory.
rm -f "$disks/chain14.img"
truncate -s 64M "$disks/chain14.img"
{ printf 'label: dos\nstart=2048, size=20480, type=7\nstart=22528, type=5\n'
  for _ in $(seq 14); do echo "size=2048, type=83"; done; } | sfdisk --quiet "$disks/chain14.img"

# A BOOTCORE.BIN that stages the BIOS quirks named (see BiosQuirks.asm), then
# runs the real kernel.
quirks_kernel() {  # FILE QUIRK...
  local file=$1 defines=()
  shift
  for quirk in "$@"; do defines+=("-D$quirk"); done
  nasm -f bin "${defines[@]}" -o "$file.stub" "$here/BiosQuirks.asm"
  cat "$file.stub" "$kernel" >"$file"
}

floppies=$work/floppies
make_rescue_floppy "$disks/logical3.img" "$floppies/logical3.img" yes
make_rescue_floppy "$disks/chain14.img" "$floppies/chain14.img" yes
make_rescue_floppy "$disks/primary.img" "$floppies/primary.img" yes
make_rescue_floppy "$disks/mbr-unsigned.img" "$floppies/mbr-unsigned.img" no
# A rescue floppy whose kernel file was deleted afterwards.
make_rescue_floppy "$disks/logical3.img" "$floppies/no-kernel.img" yes &&
  MTOOLS_SKIP_CHECK=1 mdel -i "$floppies/no-kernel.img" ::BOOTCORE.BIN
# A kernel file that fills all the boot sector loads it to (0000:1000 up to
# 0000:7C00), and one a byte larger, which the program itself would refuse to
# copy.
cp "$kernel" "$work/at-the-limit.bin"
truncate -s $((0x7C00 - 0x1000)) "$work/at-the-limit.bin"
KERNEL_FILE=$work/at-the-limit.bin make_rescue_floppy "$disks/logical3.img" \
  "$floppies/at-the-limit.img" yes
head -c $((0x7C00 - 0x1000 + 1)) /dev/urandom >"$work/too-large.bin"
cp "$floppies/logical3.img" "$floppies/too-large.img"
MTOOLS_SKIP_CHECK=1 mcopy -o -i "$floppies/too-large.img" "$work/too-large.bin" ::BOOTCORE.BIN
quirks_kernel "$work/typed-ahead.bin" KEY_TYPED_AHEAD
quirks_kernel "$work/odd-bios.bin" BOOT_SECTOR ESP_HIGH DIRECTION_SET EBP_CHANGED FLOPPY_RETRIES
quirks_kernel "$work/sectors-4k.bin" SECTORS_4K
quirks_kernel "$work/sectors-huge.bin" SECTORS_HUGE
quirks_kernel "$work/no-packet-access.bin" NO_PACKET_ACCESS
quirks_kernel "$work/key-held.bin" KEY_HELD
quirks_kernel "$work/no-geometry.bin" BOOT_SECTOR BOOT_DRIVE_NO_GEOMETRY
quirks_kernel "$work/chs-disk.bin" BOOT_SECTOR BOOT_DRIVE_CHS
for quirk in typed-ahead odd-bios sectors-4k sectors-huge no-packet-access key-held no-geometry; do
  KERNEL_FILE=$work/$quirk.bin make_rescue_floppy "$disks/logical3.img" "$floppies/$quirk.img" yes
done
KERNEL_FILE=$work/chs-disk.bin make_rescue_floppy "$disks/chain14.img" "$floppies/chs-disk.img" yes
mapfile -t ebrs < <(ebr_chain "$disks/logical3.img")
mapfile -t chain < <(ebr_chain "$disks/chain14.img")
disk=$work/disk.img

name=three-logical-restored
cp "$disks/logical3.img" "$disk"
zero_sector "$disk" 0
zero_sector "$disk" "${ebrs[1]}"
boot_case "$floppies/logical3.img" y "Restored 2 sectors." "$disk"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
finish_case

# The rescue disk as image files made by the program: a floppy image booted
# as a floppy, and a CD image booted from the CD drive.
for file in rescue.img rescue.iso; do
  IMAGE_FILE=$floppies/$file make_rescue_floppy "$disks/logical3.img" "$work/drive-a-${file#*.}.img" yes
  name=image-file-${file#*.}-restored
  cp "$disks/logical3.img" "$disk"
  zero_sector "$disk" 0
  zero_sector "$disk" "${ebrs[1]}"
  boot_case "$floppies/$file" y "Restored 2 sectors." "$disk"
  expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
  finish_case
done

name=answer-n-writes-nothing
cp "$disks/logical3.img" "$disk"
zero_sector "$disk" 0
zero_sector "$disk" "${ebrs[1]}"
cp "$disk" "$work/damaged.img"
boot_case "$floppies/logical3.img" n "Nothing was written." "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

name=undamaged-nothing-to-restore
cp "$disks/logical3.img" "$disk"
boot_case "$floppies/logical3.img" y \
  "The disk's partition system matches this rescue floppy. Nothing to restore." "$disk"
expect_disk "$disk" "$disks/logical3.img" "unchanged"
finish_case

name=two-disks-refused
cp "$work/damaged.img" "$disk"
cp "$disks/second.img" "$work/second.img"
boot_case "$floppies/logical3.img" y "More than one hard disk is attached. Remove all hard disks \
other than the damaged one and restart." "$disk" "$work/second.img"
expect_disk "$disk" "$work/damaged.img" "unchanged"
expect_disk "$work/second.img" "$disks/second.img" "unchanged"
finish_case

name=another-disk-one-yes-writes-nothing
cp "$disks/other96.img" "$disk"
boot_case "$floppies/logical3.img" yn "This floppy may belong to another disk." "$disk"
grep -qF "this disk has 5E6F7081." "$work/boot-$name/serial.txt" ||
  fail "the kernel did not name the disk's signature"
grep -qF "Nothing was written." "$work/boot-$name/serial.txt" || fail "it did not write nothing"
expect_disk "$disk" "$disks/other96.img" "unchanged"
finish_case

name=another-disk-two-yes-restored
cp "$disks/other96.img" "$disk"
boot_case "$floppies/logical3.img" yy "Restored 4 sectors." "$disk"
same_sectors "$disk" "$disks/logical3.img" 0 "${ebrs[@]}" ||
  fail "the disk does not hold the floppy's MBR and EBRs"
finish_case

name=disk-smaller-than-its-partitions
head -c 48M "$work/damaged.img" >"$disk"
cp "$disk" "$work/small.img"
boot_case "$floppies/logical3.img" yn "The partitions on this floppy end at sector 131072; the BIOS \
reports 98304 sectors for this disk." "$disk"
expect_disk "$disk" "$work/small.img" "unchanged"
finish_case

name=second-disk-carries-the-signature
cp "$disks/second.img" "$work/second.img"
cp "$disks/logical3.img" "$disk"
zero_sector "$disk" "${ebrs[1]}"
boot_case "$floppies/logical3.img" y "Restored 1 sector." "$work/second.img" "$disk"
grep -qF "Hard disk 81h carries this floppy's disk signature" "$work/boot-$name/serial.txt" ||
  fail "the kernel did not say which disk carries the signature"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
expect_disk "$work/second.img" "$disks/second.img" "unchanged"
finish_case

name=key-typed-during-the-boot
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/typed-ahead.bin boot_case "$floppies/typed-ahead.img" n "Nothing was written." "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

# The boot sector runs under the staged BIOS too, so it must load the kernel
# (and the stub) through it, resetting the drive after each failed read.
name=odd-bios-restored
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/odd-bios.bin boot_case "$floppies/odd-bios.img" y "Restored 2 sectors." "$disk"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
finish_case

# Both questions would take the held key: the floppy was made for another disk.
name=held-key-answers-nothing
cp "$disks/other96.img" "$disk"
KERNEL_FILE=$work/key-held.bin boot_case "$floppies/key-held.img" "" \
  "A key seems to be held down. Release all keys." "$disk"
expect_disk "$disk" "$disks/other96.img" "unchanged"
finish_case

# A count above 2^32 is the disk's size, not its low 32 bits: no doubt, one yes.
name=huge-disk-restored
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/sectors-huge.bin boot_case "$floppies/sectors-huge.img" y "Restored 2 sectors." \
  "$disk"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
finish_case

name=no-packet-access-refused
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/no-packet-access.bin boot_case "$floppies/no-packet-access.img" y "The BIOS \
offers no extended access (int 13h functions 41h to 48h) to the hard disk." "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

name=sectors-4k-refused
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/sectors-4k.bin boot_case "$floppies/sectors-4k.img" y "The BIOS reports \
4096-byte sectors for this disk; a rescue floppy holds 512-byte sectors. Nothing was written." "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

# The rescue floppy booted as hard disk 80h, a USB stick or the second IDE
# disk, leaves itself alone and restores disk 81h.
for boot in stick disk; do
  name=booted-as-$boot-restores-disk-81h
  cp "$work/damaged.img" "$disk"
  CORVANE_QEMU_BOOT=$boot boot_case "$floppies/logical3.img" y \
    "Restored 2 sectors." "$disk"
  expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
  finish_case
done

# The program's .img written by the program's own stick code (under Wine,
# the stick mapped as its physical drive 1) over the start of a 64 MiB stick
# that held a GPT disk: the old data after the image stays, the last MiB, with
# the old backup GPT header, is zeroed. Booted as a stick or an IDE disk,
# SeaBIOS gives it 63 sectors a track and 16 heads.
stick=$work/stick.img
truncate -s 64M "$stick"
printf 'label: gpt\nstart=2048, type=L\n' | sfdisk --quiet "$stick"
dd if=<(yes 'stale data') of="$stick" bs=1M seek=2 count=1 iflag=fullblock conv=notrunc \
  status=none
cp "$stick" "$work/stick-before.img"
rm -f "$dosdevices"/physicaldrive*
ln -s "$stick" "$dosdevices/physicaldrive1"
name=stick-written-by-the-program
ok=true
"$loader" "$(dirname "$driver")/corvane_stick_writer.exe" "Z:${floppies//\//\\}\\rescue.img" 1 \
  $((64 << 20)) >/dev/null 2>&1 || fail "the stick writer failed"
rm -f "$dosdevices/physicaldrive1"
cmp -s -n 1474560 "$stick" "$floppies/rescue.img" || fail "the stick does not start with the .img"
cmp -s <(tail -c +1474561 "$stick" | head -c $((63 * 1048576 - 1474560))) \
  <(tail -c +1474561 "$work/stick-before.img" | head -c $((63 * 1048576 - 1474560))) ||
  fail "the stick's data after the image changed"
cmp -s <(tail -c 1048576 "$stick") <(head -c 1048576 /dev/zero) || fail "the last MiB is not zero"
rm -f "$work/stick-before.img"
if $ok; then
  echo "passed $name"
  passed=$((passed + 1))
fi
for boot in stick disk; do
  name=stick-written-by-the-program-booted-as-$boot
  cp "$work/damaged.img" "$disk"
  CORVANE_QEMU_BOOT=$boot boot_case "$stick" y "Restored 2 sectors." "$disk"
  expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
  finish_case
done
rm -f "$stick"

# A rescue disk whose BIOS has no extensions for it: the boot sector and the
# kernel read it by the geometry function 08h reports, 63 sectors a track,
# where the kernel's last copy, EBR 14 in sector 18, lies on the first track,
# not on the second, as on a floppy.
name=disk-without-extensions-read-by-its-geometry
cp "$disks/chain14.img" "$disk"
zero_sector "$disk" 0
zero_sector "$disk" "${chain[13]}"
KERNEL_FILE=$work/chs-disk.bin CORVANE_QEMU_BOOT=disk boot_case "$floppies/chs-disk.img" y \
  "Restored 2 sectors." "$disk"
expect_disk "$disk" "$disks/chain14.img" "back byte for byte"
finish_case

# A floppy drive the BIOS has no geometry for, failing function 08h once and
# then answering 0 sectors: the boot sector and the kernel read by the BPB's.
name=floppy-without-bios-geometry-restored
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/no-geometry.bin boot_case "$floppies/no-geometry.img" y "Restored 2 sectors." \
  "$disk"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
finish_case

# The rescue floppy at the start of a 64 MiB disk, the only hard disk: two
# yes would make a kernel that counts it restore its copies over it.
name=booted-disk-alone-nothing-written
rm -f "$work/rescue-disk.img"
truncate -s 64M "$work/rescue-disk.img"
dd if="$floppies/logical3.img" of="$work/rescue-disk.img" conv=notrunc status=none
CORVANE_QEMU_BOOT=disk boot_case "$work/rescue-disk.img" yy "No hard disk was found apart from \
the rescue disk itself. Nothing was written."
rm -f "$work/rescue-disk.img"
finish_case

name=floppy-without-rescue-data
cp "$work/damaged.img" "$disk"
boot_case "$floppies/mbr-unsigned.img" y "This floppy holds no rescue data." "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

name=fourteen-ebrs-restored
cp "$disks/chain14.img" "$disk"
zero_sector "$disk" 0
zero_sector "$disk" "${chain[6]}"
zero_sector "$disk" "${chain[13]}"
boot_case "$floppies/chain14.img" y "Restored 3 sectors." "$disk"
grep -qF "EBR 14" "$work/boot-$name/serial.txt" || fail "the kernel did not list EBR 14"
expect_disk "$disk" "$disks/chain14.img" "back byte for byte"
finish_case

name=primary-only-restored
cp "$disks/primary.img" "$disk"
zero_sector "$disk" 0
boot_case "$floppies/primary.img" y "Restored 1 sector." "$disk"
expect_disk "$disk" "$disks/primary.img" "back byte for byte"
finish_case

name=floppy-without-kernel
cp "$work/damaged.img" "$disk"
boot_case "$floppies/no-kernel.img" y "Rescue kernel not found" "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

# Its last sector lies just below the boot sector, where no stack may be.
name=kernel-at-the-load-limit-restored
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/at-the-limit.bin boot_case "$floppies/at-the-limit.img" y "Restored 2 sectors." \
  "$disk"
expect_disk "$disk" "$disks/logical3.img" "back byte for byte"
finish_case

# Loading it whole would overwrite the boot sector as it runs.
name=kernel-too-large-not-loaded
cp "$work/damaged.img" "$disk"
KERNEL_FILE=$work/too-large.bin boot_case "$floppies/too-large.img" y "Rescue kernel not found" \
  "$disk"
expect_disk "$disk" "$work/damaged.img" "unchanged"
finish_case

echo "qemu: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
