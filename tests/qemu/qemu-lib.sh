# Boots a rescue floppy in QEMU without a display and answers the rescue
# kernel from outside: the kernel's lines arrive through COM1 in a file, keys
# go in through the QEMU monitor's sendkey. CORVANE_QEMU_FIRMWARE chooses the
# PC: bios (the default; SeaBIOS in qemu-system-i386), uefi64 (OVMF in
# qemu-system-x86_64) or uefi32 (OVMF for IA-32 in qemu-system-i386), both
# UEFI PCs a q35 board whose firmware echoes its console on COM1. Source it.

corvane_qemu_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Whether QEMU can boot a PC here.
corvane_qemu_works() {
  command -v qemu-system-i386 >/dev/null 2>&1 &&
    qemu-system-i386 -machine help >/dev/null 2>&1 &&
    [[ -e /usr/share/seabios/bios-256k.bin || -e /usr/share/qemu/bios-256k.bin ]]
}

# OVMF's code and the empty variable store each boot gets a copy of, for
# CORVANE_QEMU_FIRMWARE uefi64 or uefi32.
corvane_ovmf_files() {
  case ${CORVANE_QEMU_FIRMWARE:-bios} in
    uefi64) echo /usr/share/OVMF/OVMF_CODE_4M.fd /usr/share/OVMF/OVMF_VARS_4M.fd ;;
    uefi32) echo /usr/share/OVMF/OVMF32_CODE_4M.secboot.fd /usr/share/OVMF/OVMF32_VARS_4M.fd ;;
  esac
}

corvane_qemu_system() {
  [[ ${CORVANE_QEMU_FIRMWARE:-bios} == uefi64 ]] && echo qemu-system-x86_64 || echo qemu-system-i386
}

# What keeps the UEFI tier from running here, with the Wine LOADER that
# makes its floppies; fails when nothing does.
corvane_qemu_uefi_missing() {  # LOADER
  local firmware file
  for firmware in uefi64 uefi32; do
    command -v "$(CORVANE_QEMU_FIRMWARE=$firmware corvane_qemu_system)" >/dev/null 2>&1 ||
      { echo "$(CORVANE_QEMU_FIRMWARE=$firmware corvane_qemu_system) is not installed"; return 0; }
    for file in $(CORVANE_QEMU_FIRMWARE=$firmware corvane_ovmf_files); do
      [[ -e $file ]] || { echo "$file is missing (Debian packages ovmf, ovmf-ia32)"; return 0; }
    done
  done
  corvane_qemu_tier_missing "$1"
}

# The machine and firmware options, one a line; a UEFI PC's variable store is
# a fresh copy in FOLDER: FOLDER
corvane_qemu_firmware_options() {
  local files
  case ${CORVANE_QEMU_FIRMWARE:-bios} in
    bios) return 0 ;;
    uefi64) printf '%s\n' -machine q35 ;;
    # The IA-32 build needs SMM, and its flash secured, to start; with an
    # empty variable store Secure Boot is off.
    uefi32) printf '%s\n' -machine q35,smm=on -global driver=cfi.pflash01,property=secure,value=on ;;
    *) echo "corvane_qemu_firmware_options: no firmware $CORVANE_QEMU_FIRMWARE" >&2; return 1 ;;
  esac
  read -ra files <<<"$(corvane_ovmf_files)"
  cp "${files[1]}" "$1/vars.fd"
  printf '%s\n' -drive "if=pflash,format=raw,unit=0,readonly=on,file=${files[0]}" \
    -drive "if=pflash,format=raw,unit=1,file=$1/vars.fd"
}

# What keeps the QEMU tier from running here, with the Wine LOADER that runs
# the program; fails when nothing does.
corvane_qemu_tier_missing() {  # LOADER
  if ! corvane_qemu_works; then
    echo "qemu-system-i386 with SeaBIOS is not installed or cannot start here"
  elif ! corvane_wine_loader_works "$1"; then
    echo "$1 cannot run on this machine (the kernel does not execute 32-bit programs)"
  else
    return 1
  fi
}

# The last lines QEMU is stopped at: the boot sector's failures, which wait
# for a key before a new boot, and the kernel's wait for the keys to be
# released, which lasts for ever while a key is held.
CORVANE_QEMU_STUCK=('Rescue kernel not found' 'Floppy read error'
  'A key seems to be held down. Release all keys.')
# The kernel's last line, after which a key restarts the PC.
CORVANE_QEMU_RESTART='any key to restart.'

# Whether the file holds one of the texts: FILE TEXT...
corvane_file_says() {
  local file=$1 text
  shift
  for text in "$@"; do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
  done
  return 1
}

# Waits until the file holds one of the texts: FILE SECONDS TEXT...
# Fails on timeout.
corvane_wait_for_text() {
  local file=$1 deadline=$((SECONDS + $2))
  shift 2
  while ((SECONDS < deadline)); do
    corvane_file_says "$file" "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the file holds COUNT questions "(Y/N)" or a last line:
# FILE SECONDS COUNT. Fails on timeout.
corvane_wait_for_question() {
  local file=$1 deadline=$((SECONDS + $2)) count=$3
  while ((SECONDS < deadline)); do
    (($(grep -oF '(Y/N)' "$file" 2>/dev/null | wc -l) >= count)) && return 0
    corvane_file_says "$file" "$CORVANE_QEMU_RESTART" "${CORVANE_QEMU_STUCK[@]}" && return 0
    sleep 0.1
  done
  return 1
}

# One IDE hard disk's QEMU options: INDEX FILE [PROPERTY,...]. The INDEX-th IDE
# unit (0 is the first bus's master
# unit); on a UEFI PC's q35 board, SATA port INDEX.
corvane_qemu_ide_disk() {
  local place="bus=ide.$(($1 / 2)),unit=$(($1 % 2))"
  [[ ${CORVANE_QEMU_FIRMWARE:-bios} == bios ]] || place="bus=ide.$1"
  printf '%s\n' -drive "if=none,id=ide$1,format=raw,file=$2" \
    -device "ide-hd,drive=ide$1,$place${3:+,$3}"
}

# The QEMU options that boot MEDIUM the way CORVANE_QEMU_BOOT names, with the
# DISKs on the IDE buses, one a line: MEDIUM DISK...
# floppy (the default): MEDIUM is the floppy drive, the DISKs are 80h, 81h, ...
# cd (always for a .iso): MEDIUM is the CD, whose emulated floppy is 00h
# (on a UEFI PC, its El Torito image for EFI).
# stick, disk: MEDIUM is a USB stick, or the IDE unit after the DISKs, booted
# first: hard disk 80h, with the DISKs as 81h, ..., and the geometry SeaBIOS
# gives it: 16 heads of 63 sectors for an IDE disk or a 64 MiB stick; for a
# 1.44 MB stick 16 heads of 90 sectors, which function 08h cannot tell (it
# says 26), so that only reads by LBA find its sectors past the first 26.
corvane_qemu_boot_options() {
  local medium=$1 mode=${CORVANE_QEMU_BOOT:-floppy} index=0 disk hard_disk=false
  local first=bootindex=0
  shift
  [[ $medium != *.iso ]] || mode='cd'
  case $mode in
    floppy) printf '%s\n' -drive "if=floppy,format=raw,file=$medium" -boot a ;;
    cd)
      if [[ ${CORVANE_QEMU_FIRMWARE:-bios} == bios ]]; then
        printf '%s\n' -drive "if=ide,index=3,media=cdrom,format=raw,file=$medium" -boot d
      else  # the last SATA port
        printf '%s\n' -drive "if=none,id=cd,media=cdrom,format=raw,file=$medium" \
          -device ide-cd,drive=cd,bus=ide.5,bootindex=0
      fi ;;
    stick)
      printf '%s\n' -device usb-ehci,id=ehci -drive "if=none,id=stick,format=raw,file=$medium" \
        -device usb-bot,id=bot,bus=ehci.0 \
        -device "scsi-hd,bus=bot.0,scsi-id=0,lun=0,drive=stick,$first"
      hard_disk=true ;;
    disk)
      corvane_qemu_ide_disk $# "$medium" "$first"
      hard_disk=true ;;
    *) echo "corvane_qemu_boot_options: no boot way $mode" >&2; return 1 ;;
  esac
  for disk in "$@"; do
    if $hard_disk; then
      corvane_qemu_ide_disk "$index" "$disk" "bootindex=$((index + 1))"
    else
      corvane_qemu_ide_disk "$index" "$disk"
    fi
    index=$((index + 1))
  done
}

# Boots MEDIUM (see corvane_qemu_boot_options) with the DISKs and answers the
# kernel: the keys of ANSWER (y or n each) at its questions in turn, then a key
# at "... any key to restart.", after which the kernel restarts the PC and QEMU
# (-no-reboot) ends. Each key comes a second after the kernel asks for it: it
# takes only a key that follows a quiet keyboard. At a line of CORVANE_QEMU_STUCK QEMU is stopped instead.
# Leaves in FOLDER serial.log and serial.txt (the kernel's lines) and
# screen.png (the screen when the kernel waited for its first key, or when QEMU
# was stopped), and sets CORVANE_QEMU_PROMPT_SECONDS to the time from QEMU's
# start to that first wait and, on a UEFI PC, CORVANE_QEMU_HANDOVER_SECONDS to
# the time from the firmware starting the program to that wait (empty where
# it was not seen), with serial-times.txt, the lines up to it and when each
# arrived.
# CORVANE_QEMU_EXTRA adds QEMU options, separated by blanks or lines.
# Usage: corvane_qemu_rescue FOLDER MEDIUM ANSWER DISK...
corvane_qemu_rescue() {
  local folder=$1 medium=$2 answer=$3 options monitor pid started status=0
  shift 3
  mkdir -p "$folder"
  mapfile -t options < <(corvane_qemu_firmware_options "$folder"
    corvane_qemu_boot_options "$medium" "$@")
  local extra=()
  read -rd '' -a extra <<<"${CORVANE_QEMU_EXTRA:-}" || true
  local log=$folder/serial.log watcher=
  rm -f "$log" "$folder/monitor" "$folder/screen.ppm" "$folder/handover" \
    "$folder/serial-times.txt"
  touch "$log"
  mkfifo "$folder/monitor"
  CORVANE_QEMU_HANDOVER_SECONDS=
  # OVMF says on COM1 when it starts the program; the program's first wait
  # for a key follows its question or its last line.
  if [[ ${CORVANE_QEMU_FIRMWARE:-bios} != bios ]]; then
    python3 "$corvane_qemu_lib/serial-times.py" "$log" 120 "$folder/serial-times.txt" \
      'BdsDxe: starting' '(Y/N)' 'any key' >"$folder/handover" &
    watcher=$!
  fi
  started=$(date +%s%N)
  "$(corvane_qemu_system)" -display none -nic none -no-reboot -serial "file:$log" \
    -monitor stdio "${options[@]}" "${extra[@]}" <"$folder/monitor" >"$folder/qemu.log" 2>&1 &
  pid=$!
  # Read-write, so that a command to a QEMU that has ended already fails
  # quietly rather than ending this shell.
  exec {monitor}<>"$folder/monitor"
  local prompt='(Y/N)' restart=$CORVANE_QEMU_RESTART stuck=("${CORVANE_QEMU_STUCK[@]}")
  if corvane_wait_for_text "$log" 60 "$prompt" "$restart" "${stuck[@]}"; then
    CORVANE_QEMU_PROMPT_SECONDS=$(awk -v ns=$(($(date +%s%N) - started)) 'BEGIN {printf "%.1f", ns / 1e9}')
    echo "screendump $folder/screen.ppm" >&"$monitor"
    local asked=0
    while ((asked < ${#answer})); do
      corvane_wait_for_question "$log" 60 $((asked + 1)) || break
      corvane_file_says "$log" "$restart" "${stuck[@]}" && break
      sleep 1
      echo "sendkey ${answer:asked:1}" >&"$monitor"
      asked=$((asked + 1))
    done
    if corvane_file_says "$log" "$prompt"; then
      corvane_wait_for_text "$log" 60 "$restart" "${stuck[@]}" || status=1
    fi
    if corvane_file_says "$log" "${stuck[@]}"; then
      echo "screendump $folder/screen.ppm" >&"$monitor"
      echo quit >&"$monitor"
    else
      sleep 1
      echo "sendkey ret" >&"$monitor"
    fi
  else
    status=1
  fi
  # The restart ends QEMU; a kernel that does not restart is stopped.
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo quit >&"$monitor"
    status=1
  fi
  wait "$pid" || true
  exec {monitor}>&-
  if [[ -n $watcher ]]; then
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    CORVANE_QEMU_HANDOVER_SECONDS=$(cat "$folder/handover")
  fi
  [[ ! -s $folder/screen.ppm ]] || convert "$folder/screen.ppm" "$folder/screen.png"
  rm -f "$folder/monitor" "$folder/screen.ppm" "$folder/vars.fd" "$folder/handover"
  # Without the terminal's escapes, which colour and place UEFI's console.
  tr -d '\r' <"$folder/serial.log" | sed -E 's/\x1b\[[0-9;=?]*[A-Za-z]//g' \
    >"$folder/serial.txt" 2>/dev/null || true
  return "$status"
}
