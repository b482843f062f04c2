#!/usr/bin/env bash
# The end-to-end suite: the real Corvane.exe under Wine, on disk images made
# by sfdisk, used from outside by corvane_driver as a person would. For every
# run it checks the texts the user was shown, the floppy image byte for byte,
# the kernel file on the floppy's file system, that no disk image changed, and
# the exit code; it keeps the screenshots of every run.
# Usage: run-e2e.sh PROGRAM DRIVER ARTEFACT-FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../windows/wine-env.sh"
source "$here/image-lib.sh"

program=$(realpath "$1")
driver=$(realpath "$2")
# The planted DLL of the folder case, built beside the driver for the same
# kind of Windows as the program.
planted_dll=$(dirname "$driver")/planted.dll
artefacts=$(realpath -m "$3")
loader=$(corvane_wine_loader_for "$program")
if ! corvane_wine_loader_works "$loader"; then
  echo "SKIPPED: $loader cannot run on this machine (the kernel does not execute 32-bit programs)"
  exit 77
fi

work=$(mktemp -d)
CORVANE_XVFB_PID=
trap 'rm -rf "$work"; corvane_wine_cleanup' EXIT
corvane_display_ready
corvane_wine_prefix_ready
rm -rf "$artefacts"
mkdir -p "$work/disks" "$artefacts"
bash "$here/make-disks.sh" "$work/disks"
bash "$here/make-floppy.sh" "$work/blank-floppy.img"
dosdevices=$WINEPREFIX/dosdevices

prompt='message: Please insert a clean, formatted floppy disk.'
success=$'notice\nstatus: Corvane Disk Successfully Created'
passed=0
failed=0

# The floppy a run should leave: the floppy it started with, and the boot
# sector, the MBR, the first ebrs EBRs of the chain and, if asked, the
# control buffer; once the MBR is copied, sector 3 holds no older index.
expected_floppy() {  # OUT START DISK DRIVE BOOT(yes/no) EBRS CONTROL(yes/no)
  local out=$1 start=$2 disk=$3 drive=$4 boot=$5 count=$6 control=$7 k=0 lba
  local records
  records="$(printf '$')$(le32 "$drive")$(printf '$')$(le32 0)"
  cp "$start" "$out"
  [[ $boot == yes ]] && dd if=os/bs of="$out" bs=512 count=1 conv=notrunc status=none
  ((count >= 0)) || return 0
  dd if=/dev/zero of="$out" bs=512 count=1 seek=3 conv=notrunc status=none
  dd if="$disk" of="$out" bs=512 count=1 seek=4 conv=notrunc status=none
  for lba in $(ebr_chain "$disk" | head -n "$count"); do
    dd if="$disk" of="$out" bs=512 skip="$lba" count=1 seek=$((5 + k)) conv=notrunc status=none
    records+="$(printf '$')$(le32 "$lba")"
    k=$((k + 1))
  done
  [[ $control == no ]] || put_bytes "$out" $((3 * 512)) "$records"
}

# Checks a rescue image file the program saved: the CD's boot image is its
# RESCUE.IMG; the floppy holds os/bs, the kernel file, and the copies and
# control buffer of a complete rescue disk.
check_image() {  # FILE DISK DRIVE EBRS
  local file=$1 floppy=$1
  [[ -f $file ]] || { fail "no image file $file"; return 0; }
  if [[ $file == *.iso ]]; then
    floppy=${file%.iso}.extracted.img
    xorriso -indev "$file" -report_el_torito plain 2>/dev/null | grep -Eq '^El Torito boot img : +1 +BIOS +y +fd1.4 ' ||
      fail "the CD image has no floppy boot image"
    xorriso -osirrox on -indev "$file" -extract /RESCUE.IMG "$floppy" >/dev/null 2>&1 ||
      fail "RESCUE.IMG cannot be read from the CD image"
  fi
  MTOOLS_SKIP_CHECK=1 mcopy -n -i "$floppy" ::BOOTCORE.BIN "$floppy.kernel" 2>/dev/null &&
    cmp -s "$floppy.kernel" os/bootcore.bin || fail "BOOTCORE.BIN in the image differs"
  expected_floppy "$floppy.expected" "$floppy" "$2" "$3" yes "$4" yes
  cmp -s "$floppy.expected" "$floppy" || fail "the image is not a complete rescue floppy"
}

# Files of the user's in the run's folder, each of a kind that the program
# must never open, replace or delete: a file, a hard link to another file, a
# symbolic link to another file; an old file ("old") may be replaced. Each
# entry is KIND:NAME.
plant_files() {  # FOLDER ENTRY...
  local folder=$1 entry kind file
  for entry in "${@:2}"; do
    kind=${entry%%:*} file=$folder/${entry#*:}
    printf '%s\n' "the user's ${entry#*:}" >"$file.victim"
    case $kind in
      file | old) mv "$file.victim" "$file" ;;
      hard-link) ln "$file.victim" "$file" ;;
      symbolic-link) ln -s "$file.victim" "$file" ;;
    esac
  done
}

check_planted_files() {  # FOLDER ENTRY...
  local folder=$1 entry kind file
  for entry in "${@:2}"; do
    kind=${entry%%:*} file=$folder/${entry#*:}
    [[ $kind != old ]] || continue
    [[ $(cat "$file" 2>/dev/null) == "the user's ${entry#*:}" ]] || fail "${entry#*:} changed"
    case $kind in
      hard-link) [[ $(stat -c %h "$file") == 2 ]] || fail "${entry#*:} is no longer a hard link" ;;
      symbolic-link) [[ -L $file ]] || fail "${entry#*:} is no longer a symbolic link" ;;
    esac
  done
  [[ -z $(find "$folder" -maxdepth 1 -name 'corvane-*.tmp') ]] || fail "a temporary file was left"
}

fail() {
  echo "FAILED $name: $*"
  failed=$((failed + 1))
  ok=false
}

# The settings of one case. Those after disk0 are optional; the next case
# does not inherit them.
case_settings=(name disk0 row expected expect_boot expect_ebrs expect_control expect_kernel
  expect_image expect_image_ebrs disk1 boot_sector_size boot_sector_unusable kernel_size
  floppy_drive floppy_medium floppy_start expect_disk image answer planted arguments beside plant
  save_as windows_version choose)
forget_case() {
  unset "${case_settings[@]:10}"
}

# Cases are recorded with their settings and run once all are known, in the
# order CORVANE_E2E_ORDER asks for: as written (the default), "reverse", or
# "shuffle:SEED". None may rely on another having run before it.
recorded_cases=()
reported_version=
run_case() {
  if [[ -z ${CORVANE_E2E_ONLY:-} || " $CORVANE_E2E_ONLY " == *" $name "* ]]; then
    # declare -p names only the settings that are set, and fails for the rest.
    recorded_cases+=("$({ declare -p "${case_settings[@]}" 2>/dev/null || true; } |
      sed 's/^declare /declare -g /')")
  fi
  forget_case
}

# The indices of the recorded cases in the order asked for.
case_order() {
  local count=${#recorded_cases[@]} order=() k j swap
  for ((k = 0; k < count; k++)); do order+=("$k"); done
  case ${CORVANE_E2E_ORDER:-written} in
    written) ;;
    reverse) for ((k = 0; k < count / 2; k++)); do
        swap=${order[k]} order[k]=${order[count - 1 - k]} order[count - 1 - k]=$swap
      done ;;
    shuffle:*)
      RANDOM=${CORVANE_E2E_ORDER#shuffle:}
      for ((k = count - 1; k > 0; k--)); do
        j=$((RANDOM % (k + 1))) swap=${order[k]}
        order[k]=${order[j]} order[j]=$swap
      done ;;
    *) echo "CORVANE_E2E_ORDER: written, reverse or shuffle:SEED" >&2; return 1 ;;
  esac
  echo "${order[@]}"
}

run_recorded_cases() {
  local k order
  order=$(case_order) || exit 1
  for k in $order; do
    unset "${case_settings[@]}"
    eval "${recorded_cases[k]}"
    run_one_case
  done
}

# Runs one case in a folder of its own, with a Wine server of its own, so
# that what Wine remembers of one case's drives cannot reach another. The
# caller has set: name, row, the
# expected transcript, and the expected floppy (expect_* variables); planted,
# if set, names DLLs that the case puts into that folder, beside a copy of the
# program, and has Wine prefer there, as Windows would; beside, files put
# there beside it (a name ending in .local a folder, else a manifest); image
# gives the program "/image IMAGE", arguments one argument of its own; plant
# lists files of the user's (see plant_files) that must stay as they were;
# save_as is the name typed into a Save As dialog, choose a text of the
# destination chosen on a PC without a floppy drive; boot_sector_size,
# boot_sector_unusable and kernel_size change the run's copy of os/;
# windows_version is the version Wine reports instead of Windows XP.
run_one_case() {
  local run=$work/runs/$name disk shots started=$SECONDS run_program=$program overrides=
  mkdir -p "$run/floppy-root" "$run/shots"
  cp -r os "$run/os"
  if [[ -n ${planted:-} || -n ${beside:-} ]]; then
    run_program=$run/Corvane.exe
    cp "$program" "$run_program"
    for file in ${beside:-}; do
      if [[ $file == *.local ]]; then
        mkdir "$run/$file"
      else
        printf '%s\n' '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>' \
          '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>' >"$run/$file"
      fi
    done
    for dll in ${planted:-}; do
      cp "$planted_dll" "$run/$dll.dll"
      overrides+="$dll=n,b;"
    done
    # A planted DLL lacks the functions a program takes from it: without
    # Wine's debugger, which would wait on the screen, such a program ends.
    overrides+="winedbg.exe=d"
  fi
  # os/bs cut to boot_sector_size bytes, or followed by random ones up to it.
  if [[ -n ${boot_sector_size:-} ]]; then
    head -c "$boot_sector_size" os/bs >"$run/os/bs"
    head -c $((boot_sector_size - $(stat -c %s "$run/os/bs"))) /dev/urandom >>"$run/os/bs"
  fi
  # Sectors per track (BPB bytes 24-25) zero: the boot sector would divide by it.
  [[ -z ${boot_sector_unusable:-} ]] ||
    printf '\0\0' | dd of="$run/os/bs" bs=1 seek=24 conv=notrunc status=none
  [[ -z ${kernel_size:-} ]] || head -c "$kernel_size" /dev/urandom >"$run/os/bootcore.bin"
  plant_files "$run" ${plant:-}
  local start=${floppy_start:-$work/blank-floppy.img}
  cp "$start" "$run/floppy.img"
  # Wine's mount manager remembers drive A: for as long as its server lives,
  # which a run soon after a short one would still share.
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  if [[ ${windows_version:-winxp} != "$reported_version" ]]; then
    reported_version=${windows_version:-winxp}
    set_windows_version "$reported_version"
  fi
  rm -f "$dosdevices"/physicaldrive* "$dosdevices/a:" "$dosdevices/a::"
  ln -s "$(cd "$work/disks" && realpath "$disk0")" "$dosdevices/physicaldrive0"
  [[ -z ${disk1:-} ]] || ln -s "$work/disks/$disk1" "$dosdevices/physicaldrive1"
  [[ ${floppy_drive:-yes} == no ]] || ln -s "$run/floppy-root" "$dosdevices/a:"
  [[ ${floppy_drive:-yes} == no || ${floppy_medium:-yes} == no ]] ||
    ln -s "$run/floppy.img" "$dosdevices/a::"
  local mapped=("$disk0" ${disk1:+"$disk1"}) before
  before=$(cd "$work/disks" && md5sum "${mapped[@]}" 2>/dev/null || true)

  ok=true
  local transcript
  # A UTF-8 locale lets names outside ASCII pass between Wine and the files.
  transcript=$(cd "$run" && LC_ALL=C.UTF-8 WINEDLLOVERRIDES=${overrides:-${WINEDLLOVERRIDES:-}} \
    CORVANE_DRIVER_ANSWER=${answer:-yes} CORVANE_DRIVER_SAVE_AS=${save_as:-} \
    CORVANE_DRIVER_CHOOSE=${choose:-} \
    "$loader" "$driver" "$run_program" "$row" \
    "Z:${run//\//\\}\\shots" ${image:+"/image" "$image"} ${arguments:+"$arguments"} 2>/dev/null |
    tr -d '\r' || true)
  [[ $transcript == "$expected" ]] ||
    fail $'the user saw\n'"$transcript"$'\ninstead of\n'"$expected"
  [[ $(cd "$work/disks" && md5sum "${mapped[@]}" 2>/dev/null || true) == "$before" ]] ||
    fail "a disk image changed"

  (cd "$run" && expected_floppy "$run/expected.img" "$start" "$work/disks/${expect_disk:-$disk0}" \
    "$row" "$expect_boot" "$expect_ebrs" "$expect_control")
  cmp -s "$run/expected.img" "$run/floppy.img" ||
    fail "floppy differs: $(cmp "$run/expected.img" "$run/floppy.img" 2>&1 | head -n 1)"
  if [[ $expect_kernel == yes ]]; then
    cmp -s os/bootcore.bin "$run/floppy-root/bootcore.bin" || fail "bootcore.bin not on the floppy"
    cmp -s os/efi/bootx64.efi "$run/floppy-root/EFI/BOOT/BOOTX64.EFI" &&
      cmp -s os/efi/bootia32.efi "$run/floppy-root/EFI/BOOT/BOOTIA32.EFI" ||
      fail "the UEFI rescue programs are not in EFI/BOOT on the floppy"
  elif [[ -e $run/floppy-root/bootcore.bin ]]; then
    fail "bootcore.bin copied"
  fi
  local ran
  ran=$(cd "$run" && find . -maxdepth 1 -iname '*.dll.ran' -printf '%f ')
  [[ -z $ran ]] || fail "the planted DLLs ran: ${ran//.ran/}"
  check_planted_files "$run" ${plant:-}

  [[ -z ${expect_image:-} ]] || check_image "$run/$expect_image" "$work/disks/$disk0" "$row" \
    "$expect_image_ebrs"

  mkdir -p "$artefacts/$name"
  for shots in "$run"/shots/*.bmp; do
    [[ -e $shots ]] && convert "$shots" "$artefacts/$name/$(basename "${shots%.bmp}").png"
  done
  if $ok; then
    echo "passed $name ($((SECONDS - started)) s)"
    passed=$((passed + 1))
  fi
}

set_windows_version() {
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}

cd "$here/../.."

# Rescue disks made as they should be.
for disk in primary:0 logical3:3 slot4:2 beyond4g:2 chain14:14 ebr-unsigned:1; do
  name=${disk%%:*} disk0=$name.img row=0
  expected="$prompt"$'\n'"$success"$'\nexit: 0'
  expect_boot=yes expect_ebrs=${disk##*:} expect_control=yes expect_kernel=yes
  run_case
done

name=second-disk disk0=logical3.img disk1=second.img row=1 expect_disk=second.img
expected="$prompt"$'\n'"$success"$'\nexit: 0'
expect_boot=yes expect_ebrs=2 expect_control=yes expect_kernel=yes
run_case

# DLLs dropped into the folder the program starts from (a Downloads folder)
# under the names of the DLLs that are not Windows' known DLLs and that the
# program and its dialogs load after their start: comctl32 (the list view),
# uxtheme and msimg32 (the visual styles). Each leaves a marker if it runs,
# and none may: the program still makes its rescue disk. Not listed: what
# Wine's own DLLs import, loaded before the program's first line (ucrtbase,
# zlib1, version, win32u, sechost, imm32), and what Wine's uxtheme loads
# later through a search of its own (ole32, combase, rpcrt4), which are known
# DLLs on Windows, never looked for in a program's folder.
name=planted-dlls disk0=logical3.img row=0 planted="comctl32 uxtheme msimg32"
expected="$prompt"$'\n'"$success"$'\nexit: 0'
expect_boot=yes expect_ebrs=3 expect_control=yes expect_kernel=yes
run_case

name=boot-sector-600 disk0=logical3.img row=0 boot_sector_size=600
expected="$prompt"$'\n'"$success"$'\nexit: 0'
expect_boot=yes expect_ebrs=3 expect_control=yes expect_kernel=yes
run_case

# Chains that cannot be saved: the copies so far, but no control buffer.
name=loop disk0=loop.img row=0
expected="$prompt"$'\nmessage: The chain of logical partitions on your drive loops back on itself or holds more than 100 partitions.\nNo rescue disk was created.\nstatus: Failed :: Invalid partition chain !\nexit: 0'
expect_boot=yes expect_ebrs=3 expect_control=no expect_kernel=yes
run_case

# The 15th EBR would overwrite the floppy's root directory.
for disk in chain15 chain100; do
  name=$disk disk0=$disk.img row=0
  expected="$prompt"$'\nmessage: Your drive has more logical partitions than a rescue floppy can hold (at most 14).\nNo rescue disk was created.\nstatus: Failed :: Too many partitions for a rescue floppy !\nexit: 0'
  expect_boot=yes expect_ebrs=14 expect_control=no expect_kernel=yes
  run_case
done

# The second EBR cannot be read, on a floppy that held an older rescue disk:
# its index must not survive over the new copies.
cp "$work/blank-floppy.img" "$work/old-rescue-floppy.img"
put_bytes "$work/old-rescue-floppy.img" $((3 * 512)) "\$$(le32 1)\$$(le32 0)\$$(le32 63)"
name=ebr-unreadable disk0=ebr-beyond-end.img row=0
floppy_start=$work/old-rescue-floppy.img
expected="$prompt"$'\nmessage: The application failed to read from the physical drive !\nstatus: Failed :: Error reading partition chain !\nexit: 0'
expect_boot=yes expect_ebrs=1 expect_control=no expect_kernel=yes
run_case

name=mbr-unsigned disk0=mbr-unsigned.img row=0
expected="$prompt"$'\nmessage: Failed to read Master Boot Record of your drive !\nstatus: Reading Master Boot Record failed !\nexit: 0'
expect_boot=yes expect_ebrs=-1 expect_control=no expect_kernel=yes
run_case

name=gpt disk0=gpt.img row=0
expected="$prompt"$'\nmessage: This disk uses a GUID partition table.\nA rescue floppy can only hold MBR partition tables; no rescue disk was created.\nstatus: Failed :: GPT disks are not supported !\nexit: 0'
expect_boot=yes expect_ebrs=-1 expect_control=no expect_kernel=yes
run_case

# The program's own files are checked before the floppy prompt: the floppy
# stays untouched, the kernel file not even copied.
name=boot-sector-511 disk0=logical3.img row=0 boot_sector_size=511
expected=$'message: Failed to read 512 bytes from the boot sector image file os\\bs !\nNo rescue disk was created.\nstatus: Failed :: Error reading boot sector image !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

name=boot-sector-unusable disk0=logical3.img row=0 boot_sector_unusable=yes
expected=$'message: The BPB of the boot sector image file os\\bs does not describe a 1.44 MB floppy.\nNo rescue disk was created.\nstatus: Failed :: Error reading boot sector image !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

name=kernel-empty disk0=logical3.img row=0 kernel_size=0
expected=$'message: The rescue kernel file os\\bootcore.bin is empty.\nNo rescue disk was created.\nstatus: Failed :: Error copying kernel image file !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

# One byte more than the boot sector loads, from 0000:1000 up to itself at 0000:7C00.
name=kernel-oversized disk0=logical3.img row=0 kernel_size=27649
expected=$'message: The rescue kernel file os\\bootcore.bin is larger than the boot sector can load.\nNo rescue disk was created.\nstatus: Failed :: Error copying kernel image file !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

# Without drive A: the program offers the USB drives (Wine shows none) and
# the image files: cancelled, nothing happens; taken, the Save As dialog's
# own name is saved.
no_floppy='choose: [CD image file (.iso), to burn to a CD] [Floppy image file (.img), for a virtual machine]'
name=no-floppy-drive-declined disk0=logical3.img row=0 floppy_drive=no answer=no
expected="$no_floppy"$'\nstatus: \nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

# The advice after the notice names where the image was saved.
advice() {  # RUN-NAME FILE KIND
  local folder="Z:${work//\//\\}\\runs\\$1"
  if [[ $3 == cd ]]; then
    printf '%s' $'message: The rescue disk was saved as the CD image\n'"$folder\\$2"$'\n\nBurn it to a CD as a disc image (not as a file on the CD) and keep the CD with this PC. When the partitions of this disk are damaged, boot the PC from that CD. (Written to a USB stick, a CD image does not boot: a stick takes the floppy image.)'
  else
    printf '%s' $'message: The rescue disk was saved as the floppy image\n'"$folder\\$2"$'\n\nAttach it to the virtual machine as its floppy disk, or write it to a floppy disk, or with a disk image writer to a USB stick. When the partitions of this disk are damaged, boot from it.'
  fi
}

name=no-floppy-drive disk0=logical3.img row=0 floppy_drive=no
plant=file:Corvane-PhysicalDrive0.iso.tmp
expected="$no_floppy"$'\nsave as: Corvane-PhysicalDrive0.iso\nnotice\n'"$(advice "$name" Corvane-PhysicalDrive0.iso cd)"$'\nstatus: Corvane Disk Successfully Created\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
expect_image=Corvane-PhysicalDrive0.iso expect_image_ebrs=3
run_case

# The Save As dialog's library too comes from the system folder only. The
# floppy image chosen is the name offered.
name=planted-dlls-save-as disk0=logical3.img row=0 floppy_drive=no choose='Floppy image'
planted="comdlg32 comctl32 uxtheme msimg32"
expected="$no_floppy"$'\nsave as: Corvane-PhysicalDrive0.img\nnotice\n'"$(advice "$name" Corvane-PhysicalDrive0.img floppy)"$'\nstatus: Corvane Disk Successfully Created\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
expect_image=Corvane-PhysicalDrive0.img expect_image_ebrs=3
run_case

# A name typed with another extension gets the chosen type's, and the question
# before replacing names the file that is written.
name=save-as-other-extension disk0=logical3.img row=0 floppy_drive=no save_as=notes.txt
plant="file:notes.txt old:notes.txt.iso"
expected="$no_floppy"$'\nsave as: Corvane-PhysicalDrive0.iso\nquestion: '"Z:${work//\//\\}\\runs\\$name\\notes.txt.iso"$' already exists.\nDo you want to replace it?\nnotice\n'"$(advice "$name" notes.txt.iso cd)"$'\nstatus: Corvane Disk Successfully Created\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
expect_image=notes.txt.iso expect_image_ebrs=3
run_case

# /image needs no dialog and leaves the floppy drive alone. The name an older
# program gave its temporary file holds a link to another file of the user's.
for kind in iso:cd img:floppy; do
  name=image-${kind%%:*} disk0=chain14.img row=0
  plant=$([[ ${kind%%:*} == iso ]] && echo hard-link || echo symbolic-link):rescue.${kind%%:*}.tmp
  image="Z:${work//\//\\}\\runs\\$name\\rescue.${kind%%:*}"
  expected=$'notice\n'"$(advice "$name" "rescue.${kind%%:*}" "${kind##*:}")"$'\nstatus: Corvane Disk Successfully Created\nexit: 0'
  expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
  expect_image=rescue.${kind%%:*} expect_image_ebrs=14
  run_case
done

# A relative name goes where it is typed, characters outside the ANSI code
# page and fullwidth backslashes included, and the advice shows it in full.
name=image-unicode disk0=logical3.img row=0 image='x＼..＼..＼救援ディスク.img'
expected=$'notice\n'"$(advice "$name" "$image" floppy)"$'\nstatus: Corvane Disk Successfully Created\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
expect_image=$image expect_image_ebrs=3
run_case
unset expect_image

# A device name is refused, and the run that saved nothing exits with 1.
name=image-device disk0=logical3.img row=0 image=NUL.iso
expected=$'message: NUL.iso names a device, not a file. Choose another file name.\nstatus: Failed :: Error writing image file !\nexit: 1'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

name=image-other-extension disk0=logical3.img row=0 image=rescue.txt
expected=$'message: The image file given with /image must end in .iso (a CD image) or .img (a floppy image):\nrescue.txt\nexit: 1'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

# A file beside the program that would send Windows' DLL loads to its folder:
# the program refuses to start.
for file in Corvane.exe.local Corvane.exe.manifest; do
  name=redirection-${file##*.} disk0=logical3.img row=0 beside=$file
  expected="message: A file beside Corvane.exe ($file) could make Windows load program code from this folder. Remove it and start Corvane again."$'\nexit: 1'
  expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
  run_case
done

# Arguments the program does not take: the usage, and nothing else starts.
name=unknown-argument disk0=logical3.img row=0 arguments=/image=rescue.iso
expected=$'message: Usage: Corvane.exe [/image PATH]\n\nWith /image, the rescue disk is saved as the image file PATH, ending in .iso (a CD image) or .img (a floppy image).\nexit: 1'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

name=no-floppy-medium disk0=logical3.img row=0 floppy_medium=no
expected="$prompt"$'\nmessage: The application failed to read from floppy disk !\nstatus: Failed :: Error reading floppy disk !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=yes
run_case

# Floppies of another format: no raw sector of theirs may change.
mformat -C -f 720 -v CORVANE -i "$work/floppy-720k.img" ::
head -c $((2880 * 512)) /dev/zero >"$work/floppy-unformatted.img"
for format in 720k unformatted; do
  name=floppy-$format disk0=chain14.img row=0 floppy_start=$work/floppy-$format.img
  expected="$prompt"$'\nmessage: The floppy disk in drive A: is not formatted as a 1.44 MB floppy disk.\nFormat it as a 1.44 MB floppy disk and try again. No rescue disk was created.\nstatus: Failed :: Floppy disk is not formatted as 1.44 MB !\nexit: 0'
  expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=yes
  run_case
done

name=no-selection disk0=logical3.img row=-1
expected=$'message: Please select a disk for which rescue disk is to be created !\nstatus: \nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

# Without administrator rights physical disk 0 cannot be opened: a link to a
# folder makes Wine refuse it.
mkdir -p "$work/not-a-disk"
name=no-administrator disk0=$work/not-a-disk row=0
expected=$'message: You must have administrator privileges to run this program !\nexit: 0'
expect_boot=no expect_ebrs=-1 expect_control=no expect_kernel=no
run_case

name=windows-98 disk0=logical3.img row=0 windows_version=win98
expected=$'message: Corvane runs only in Windows NT/XP/2000 !\n'"$prompt"$'\n'"$success"$'\nexit: 0'
expect_boot=yes expect_ebrs=3 expect_control=yes expect_kernel=yes
run_case

run_recorded_cases
echo "end-to-end: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
