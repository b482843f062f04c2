# What the QEMU tiers share: the start (test disks, Wine), the rescue floppy
# made by the real Corvane.exe under Wine, and each boot case's checks.
# Source it after qemu-lib.sh, with here set to tests/qemu.

# Starts a tier: where MISSING (a function given the Wine loader) names
# nothing missing, a work folder removed at the end, the test disks of
# make-disks.sh and other96.img in $disks, an empty artefact folder, a
# display and a Wine prefix; else the tier ends, skipped. Sets program,
# driver, artefacts, loader, work, disks, dosdevices and kernel, and runs
# from the top folder.
corvane_tier_start() {  # PROGRAM DRIVER ARTEFACT-FOLDER MISSING
  program=$(realpath "$1")
  driver=$(realpath "$2")
  artefacts=$(realpath -m "$3")
  loader=$(corvane_wine_loader_for "$program")
  if missing=$("$4" "$loader"); then
    echo "SKIPPED: $missing"
    exit 77
  fi

  work=$(mktemp -d)
  CORVANE_XVFB_PID=
  trap 'rm -rf "$work"; corvane_wine_cleanup' EXIT
  disks=$work/disks
  mkdir -p "$disks" "$work/floppies"
  bash "$here/../e2e/make-disks.sh" "$disks"
  # A disk with an intact table of its own, larger than logical3.img's 64 MiB.
  rm -f "$disks/other96.img"
  truncate -s 96M "$disks/other96.img"
  printf 'label: dos\nlabel-id: 0x5e6f7081\nstart=2048, size=81920, type=7\nstart=83968, type=83\n' |
    sfdisk --quiet "$disks/other96.img"
  rm -rf "$artefacts"
  mkdir -p "$artefacts"
  corvane_display_ready
  corvane_wine_prefix_ready
  dosdevices=$WINEPREFIX/dosdevices
  cd "$here/../.."
  kernel=$PWD/os/bootcore.bin
}

passed=0
failed=0
fail() {
  echo "FAILED $name: $*"
  failed=$((failed + 1))
  ok=false
}

# Makes the rescue floppy FLOPPY for the disk image DISK with Corvane.exe and
# checks what the program said: SUCCEEDS is yes or no.
make_rescue_floppy() {  # DISK FLOPPY SUCCEEDS
  local disk=$1 floppy=$2 run transcript
  run=$work/floppies/$(basename "$floppy" .img)
  mkdir -p "$run/floppy-root"
  cp -r os "$run/os"
  # A stand-in kernel is what the program copies and checks the floppy against.
  [[ -z ${KERNEL_FILE:-} ]] || cp "$KERNEL_FILE" "$run/os/bootcore.bin"
  bash "$here/../e2e/make-floppy.sh" "$floppy" "${KERNEL_FILE:-$kernel}"
  rm -f "$dosdevices"/physicaldrive* "$dosdevices/a:" "$dosdevices/a::"
  ln -s "$disk" "$dosdevices/physicaldrive0"
  ln -s "$floppy" "$dosdevices/a::"
  ln -s "$run/floppy-root" "$dosdevices/a:"
  # An image file is made by the program itself, with /image.
  local image=()
  [[ -z ${IMAGE_FILE:-} ]] || image=(/image "Z:${IMAGE_FILE//\//\\}")
  transcript=$(cd "$run" && "$loader" "$driver" "$program" 0 - "${image[@]}" 2>/dev/null |
    tr -d '\r')
  if [[ $3 == yes ]]; then
    grep -qx 'status: Corvane Disk Successfully Created' <<<"$transcript"
  else
    grep -qx 'status: Reading Master Boot Record failed !' <<<"$transcript"
  fi || {
    echo "FAILED making $(basename "$floppy"): Corvane said"$'\n'"$transcript"
    failed=$((failed + 1))
    return 1
  }
}

# Whether IMAGE holds at each LBA what REFERENCE holds there.
same_sectors() {  # IMAGE REFERENCE LBA...
  local image=$1 reference=$2 lba
  shift 2
  for lba in "$@"; do
    cmp -s <(dd if="$image" bs=512 skip="$lba" count=1 status=none) \
      <(dd if="$reference" bs=512 skip="$lba" count=1 status=none) || return 1
  done
}

zero_sector() {  # IMAGE LBA
  dd if=/dev/zero of="$1" bs=512 seek="$2" count=1 conv=notrunc status=none
}

# Whether the kernel said TEXT in this case's boot; a line that the screen
# wrapped may arrive as two.
kernel_said() {  # TEXT
  tr '\n' ' ' <"$work/boot-$name/serial.txt" | grep -qF -- "$1"
}

# Boots FLOPPY with the disks, answers ANSWER, and checks that the kernel
# said TEXT and left the floppy alone. The caller checks the disks.
boot_case() {  # FLOPPY ANSWER TEXT DISK...
  local floppy=$1 answer=$2 text=$3 before
  shift 3
  ok=true
  before=$(md5sum <"$floppy")
  corvane_qemu_rescue "$work/boot-$name" "$floppy" "$answer" "$@" ||
    fail "the kernel did not reach its last line and restart"
  mkdir -p "$artefacts/$name"
  cp "$work/boot-$name/serial.txt" "$artefacts/$name/serial.txt" 2>/dev/null || true
  cp "$work/boot-$name/screen.png" "$artefacts/$name/screen.png" 2>/dev/null || true
  cp "$work/boot-$name/serial-times.txt" "$artefacts/$name/" 2>/dev/null || true
  kernel_said "$text" ||
    fail "the kernel did not say \"$text\" but"$'\n'"$(cat "$work/boot-$name/serial.txt")"
  [[ $(md5sum <"$floppy") == "$before" ]] || fail "the rescue medium was written"
  [[ $floppy == */no-kernel.img || $floppy == *.iso ]] && return 0
  # The program's copies lie over FAT sectors 3 and up, which mtools' checks refuse.
  MTOOLS_SKIP_CHECK=1 mcopy -n -i "$floppy" ::BOOTCORE.BIN "$work/boot-$name/kernel" 2>/dev/null &&
    cmp -s "$work/boot-$name/kernel" "${KERNEL_FILE:-$kernel}" ||
    fail "mtools does not read BOOTCORE.BIN from the floppy as built"
}

expect_disk() {  # IMAGE REFERENCE WHAT
  cmp -s "$1" "$2" || fail "the disk is not $3: $(cmp "$1" "$2" 2>&1 | head -n 1)"
}

finish_case() {
  if $ok; then
    local handover=
    [[ -z ${CORVANE_QEMU_HANDOVER_SECONDS:-} ]] ||
      handover=", $CORVANE_QEMU_HANDOVER_SECONDS s from the firmware's hand-over"
    echo "passed $name ($CORVANE_QEMU_PROMPT_SECONDS s from QEMU's start to the kernel's question$handover)"
    passed=$((passed + 1))
  fi
}
