#!/usr/bin/env bash
# Runs the whole rescue on a built-in sample disk: a 64 MiB disk image with
# one primary partition and an extended partition holding three logical
# drives, made by sfdisk, and an empty formatted 1.44 MB floppy image.
# 1. Corvane, under Wine, makes the rescue floppy for the disk. The floppy
#    image is one medium for the program: formatted by mformat, bootcore.bin
#    copied into its file system by mcopy (what the program's own file copy
#    does on Windows), and the program's raw writes land on it.
#    With --cd, Corvane instead saves the rescue disk as a CD image
#    (Corvane.exe /image rescue.iso), as on a PC without a floppy drive.
# 2. The disk is damaged: its MBR and its second EBR are zeroed.
# 3. QEMU boots the floppy (or, with --cd, the CD image from its CD drive)
#    with the disk attached; the rescue kernel shows what differs and asks;
#    the answer is Y.
# Usage: run-corvane.sh [--cd]
# It prints the partition table (sfdisk -d) before the damage, after it and
# after the rescue, and whether the disk is back byte for byte.
# On a desktop (DISPLAY set) Corvane's window and QEMU's window appear and
# the answers are the user's. Without one, Corvane runs under Xvfb and is
# driven as a person would use it, and QEMU runs headless, answered through
# its monitor. Everything it makes stays in the folder it prints at the end.
set -euo pipefail
medium=floppy.img
program_arguments=()
if [[ ${1:-} == --cd ]]; then
  medium=rescue.iso
  program_arguments=(/image rescue.iso)
fi
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
source tests/windows/wine-env.sh
source tests/e2e/image-lib.sh
source tests/qemu/qemu-lib.sh

corvane_pick_builds
program=$CORVANE_PROGRAM
driver=$CORVANE_TOOLS/corvane_driver.exe
for preset in "${CORVANE_PRESETS[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Corvane corvane_driver >/dev/null
done

work=$(mktemp -d /tmp/corvane-run.XXXXXX)
mkdir -p "$work/floppy-root" "$work/screenshots"
bash tests/e2e/make-sample-disk.sh "$work/disk0.img"
bash tests/e2e/make-floppy.sh "$work/floppy.img"
cp -r os "$work/os"
cp "$program" "$work/Corvane.exe"

# Wine's desktop starts with the prefix and needs the display from then on.
interactive=false
if [[ -n ${DISPLAY:-} ]] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  interactive=true
fi
CORVANE_XVFB_PID=
corvane_display_ready
export WINEPREFIX=$work/prefix
corvane_wine_prefix_ready
ln -s "$work/disk0.img" "$WINEPREFIX/dosdevices/physicaldrive0"
ln -s "$work/floppy.img" "$WINEPREFIX/dosdevices/a::"
ln -s "$work/floppy-root" "$WINEPREFIX/dosdevices/a:"
loader=$(corvane_wine_loader_for "$program")
cd "$work"

echo "== 1. Corvane makes the rescue disk ($medium)"
if $interactive; then
  "$loader" Corvane.exe "${program_arguments[@]}" || true
else
  "$loader" "$top/$driver" 'Corvane.exe' 0 'Z:'"${work//\//\\}"'\screenshots' \
    "${program_arguments[@]}" 2>/dev/null | tr -d '\r'
  for shot in screenshots/*.bmp; do
    convert "$shot" "${shot%.bmp}.png" && rm "$shot"
  done
fi
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
[[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID"
echo
floppy=floppy.img
if [[ $medium == rescue.iso ]]; then
  # The CD's boot image is the rescue floppy, also kept on it as RESCUE.IMG.
  floppy=rescue-from-cd.img
  rm -f "$floppy"
  xorriso -osirrox on -indev rescue.iso -extract /RESCUE.IMG "$floppy" >/dev/null 2>&1 || true
  [[ -f $floppy ]] || : >"$floppy"
fi
bash "$top/tests/e2e/describe-floppy.sh" "$floppy"

partition_table() {  # TITLE
  echo
  echo "== $1: sfdisk -d disk0.img"
  sfdisk -d disk0.img 2>&1 || true
}

if [[ $(od -An -tu1 -j 1536 -N 1 "$floppy" | tr -d ' ') != 36 ]]; then
  echo "The floppy holds no rescue data, so there is nothing to boot it for."
else
  cp disk0.img disk0-before.img
  partition_table "before the damage"
  mapfile -t ebrs < <(ebr_chain disk0.img)
  dd if=/dev/zero of=disk0.img bs=512 count=1 conv=notrunc status=none
  dd if=/dev/zero of=disk0.img bs=512 seek="${ebrs[1]}" count=1 conv=notrunc status=none
  partition_table "after zeroing the MBR (LBA 0) and the second EBR (LBA ${ebrs[1]})"

  echo
  echo "== 2. QEMU boots the rescue disk ($medium) with the damaged disk"
  if $interactive; then
    echo "(answer the rescue kernel in QEMU's window; it restarts and QEMU closes at the end)"
    mkdir -p qemu
    boot=(-drive if=floppy,format=raw,file=floppy.img -boot a)
    [[ $medium != rescue.iso ]] || boot=(-drive if=ide,index=3,media=cdrom,format=raw,file=rescue.iso -boot d)
    qemu-system-i386 -nic none -no-reboot -serial file:qemu/serial.log "${boot[@]}" \
      -drive if=ide,format=raw,file=disk0.img 2>/dev/null || true
    tr -d '\r' <qemu/serial.log
  elif corvane_qemu_rescue "$work/qemu" "$medium" y disk0.img; then
    cat qemu/serial.txt
    echo "(the kernel asked after $CORVANE_QEMU_PROMPT_SECONDS s; its screen then: $work/qemu/screen.png)"
  else
    cat qemu/serial.txt 2>/dev/null || true
    echo "The rescue kernel did not finish as expected."
  fi
  partition_table "after the rescue"
  echo
  if cmp -s disk0.img disk0-before.img; then
    echo "The disk is back byte for byte."
  else
    echo "The disk is NOT back as it was: $(cmp disk0.img disk0-before.img 2>&1 | head -n 1)"
  fi
fi
echo
$interactive || echo "screenshots: $work/screenshots"
if [[ $medium == rescue.iso ]]; then
  echo "CD image: $work/rescue.iso (burn it to a CD as a disc image, or boot it in a virtual machine)"
else
  echo "floppy image: $work/floppy.img (write it to a 1.44 MB floppy, or boot it in a virtual machine)"
fi
