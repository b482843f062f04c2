#!/usr/bin/env bash
# Runs the whole rescue on a built-in sample disk: a 64 MiB disk image with
# one primary partition and an extended partition holding three logical
# drives, made by sfdisk.
# 1. Corvane, under Wine, makes the rescue floppy for the disk on a 1.44 MB
#    floppy image mapped as drive A:. The image is one medium for the program:
#    formatted by mformat, the kernel copied into its file system by mcopy
#    (what the program's own file copy does on Windows), and the program's raw
#    writes land on it.
#    With --cd there is no drive A:, as on a PC without a floppy drive:
#    Corvane asks where the rescue disk goes, the run picks the CD image file
#    and types rescue.iso into the Save As dialog.
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
# its monitor. What the run makes stays in one folder under /tmp, whose path
# and size it prints; Wine's prefix (about 1.3 GB) is made once in the cache
# folder and reused by later runs.
set -euo pipefail
cd_route=false
[[ ${1:-} != --cd ]] || cd_route=true
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
mkdir -p "$work/screenshots"
bash tests/e2e/make-sample-disk.sh "$work/disk0.img"
if $cd_route; then
  medium=rescue.iso
else
  medium=floppy.img
  mkdir "$work/floppy-root"
  bash tests/e2e/make-floppy.sh "$work/$medium"
fi
cp -r os "$work/os"
cp "$program" "$work/Corvane.exe"

# Wine's desktop starts with the prefix and needs the display from then on.
interactive=false
if [[ -n ${DISPLAY:-} ]] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  interactive=true
fi
CORVANE_XVFB_PID=
corvane_wine_cache_prefix
trap 'corvane_wine_cache_release; [[ -z $CORVANE_XVFB_PID ]] || kill "$CORVANE_XVFB_PID" 2>/dev/null || true' EXIT
corvane_display_ready
prefix_was_ready=false
[[ ! -f $WINEPREFIX/.corvane-booted ]] || prefix_was_ready=true
dosdevices=$WINEPREFIX/dosdevices
corvane_wine_prefix_ready
ln -s "$work/disk0.img" "$dosdevices/physicaldrive0"
if ! $cd_route; then
  ln -s "$work/floppy.img" "$dosdevices/a::"
  ln -s "$work/floppy-root" "$dosdevices/a:"
fi
loader=$(corvane_wine_loader_for "$program")
cd "$work"
windows_path="Z:${work//\//\\}"

# The driver's lines, as sentences: what Corvane showed and what the run did.
narrate() {
  local line choice
  while IFS= read -r line; do
    case $line in
      'choose: '*)
        echo "Corvane found no floppy drive and asked where the rescue disk should go (USB"
        echo "drives would come first; Wine shows none). It offered:"
        line=${line#choose: [}
        line=${line%]}
        while IFS= read -r choice; do
          echo "  - $choice"
        done <<<"${line//'] ['/$'\n'}"
        echo "The run chose the CD image file."
        ;;
      'save as: '*)
        echo "Its Save As dialog offered the name ${line#save as: };"
        echo "the run typed $medium, in the run folder, and pressed Save."
        ;;
      'question: '*)
        echo "Corvane asked a question, which the run answered Yes:"
        echo "    ${line#question: }"
        ;;
      'message: '*)
        echo "Corvane showed a message, which the run closed with OK:"
        echo "    ${line#message: }"
        ;;
      notice) echo "Corvane showed its notice that the rescue disk is made; the run closed it." ;;
      'status: '*)
        echo "Back in the main dialog, its status line read: \"${line#status: }\";"
        echo "the run pressed Exit."
        ;;
      'exit: 0') echo "Corvane ended without an error (exit code 0)." ;;
      'exit: '*) echo "Corvane ended with exit code ${line#exit: }." ;;
      timeout) echo "Corvane did not finish within a minute; the run stopped it." ;;
      '') echo ;;
      *) echo "    $line" ;;
    esac
  done
}

echo "== 1. Corvane makes the rescue disk ($medium)"
if $interactive; then
  ! $cd_route || echo "(choose the CD image file and save it as $windows_path\\$medium)"
  "$loader" Corvane.exe || true
else
  CORVANE_DRIVER_CHOOSE="CD image" CORVANE_DRIVER_SAVE_AS=$medium \
    "$loader" "$top/$driver" 'Corvane.exe' 0 "$windows_path\\screenshots" 2>/dev/null |
    tr -d '\r' | narrate
  for shot in screenshots/*.bmp; do
    convert "$shot" "${shot%.bmp}.png" && rm "$shot"
  done
fi
corvane_wine_cache_release
echo
floppy=$medium
if $cd_route && [[ -f $medium ]]; then
  # The CD's boot image is the rescue floppy, also kept on it as RESCUE.IMG;
  # it is taken out only to be read here.
  floppy=$(mktemp "$work/rescue-from-cd.XXXXXX")
  xorriso -osirrox on -indev "$medium" -extract /RESCUE.IMG "$floppy" >/dev/null 2>&1 || true
fi

partition_table() {  # TITLE
  echo
  echo "== $1: sfdisk -d disk0.img"
  sfdisk -d disk0.img 2>&1 || true
}

if [[ ! -s $floppy ]]; then
  echo "Corvane saved no $medium, so there is nothing to boot."
elif [[ $(od -An -tu1 -j 1536 -N 1 "$floppy" | tr -d ' ') != 36 ]]; then
  echo "The floppy holds no rescue data, so there is nothing to boot it for."
else
  bash "$top/tests/e2e/describe-floppy.sh" "$floppy"
  cp --sparse=always disk0.img disk0-before.img
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
    boot=(-drive "if=floppy,format=raw,file=$medium" -boot a)
    ! $cd_route || boot=(-drive "if=ide,index=3,media=cdrom,format=raw,file=$medium" -boot d)
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
[[ $floppy == "$medium" ]] || rm -f "$floppy"

# Each run once made a Wine prefix of its own and left it behind: neither the
# run folder nor the temporary folder may hold one of this run's (wine-env.sh
# makes one there when WINEPREFIX is unset), nor the shared prefix a device.
leftovers=$(find "$work" -name system.reg -printf '%h ')
leftovers+=${CORVANE_OWN_PREFIX:-}
leftovers+=$(find "$dosdevices" -lname "$work/*" -printf ' %p')
if [[ -n $leftovers ]]; then
  echo "A Wine prefix or device of this run was left behind: $leftovers" >&2
  exit 1
fi

echo
echo "This run's folder, $work, takes $(du -sh "$work" | cut -f1) on disk (its disk images are"
echo "sparse). It holds the sample disk as rescued (disk0.img) and as it was (disk0-before.img),"
echo "the rescue disk ($medium), Corvane.exe with its os folder, and QEMU's log and screen;"
$cd_route || echo "floppy-root holds the files Corvane copied to drive A:;"
$interactive || echo "screenshots holds a picture of each of Corvane's windows."
echo "Delete it with: rm -rf $work"
how=$($prefix_was_ready && echo "was made by an earlier run and reused" || echo "was made now")
echo "The Wine prefix $WINEPREFIX ($(du -sh "$WINEPREFIX" | cut -f1))"
echo "$how; later runs reuse it. Delete it with: rm -rf $(dirname "$WINEPREFIX")"
echo
echo "The rescue disk made here ($medium) holds the partition table of the throwaway sample disk"
echo "and fits no other disk: never write it to a floppy, CD or USB stick for a real PC. For a"
echo "real disk, run Corvane on the Windows PC that holds that disk."
