# Boots a rescue floppy in QEMU without a display and answers the rescue
# kernel from outside: the kernel's lines arrive through COM1 in a file, keys
# go in through the QEMU monitor's sendkey. Source it.

# Whether QEMU can boot a PC here.
corvane_qemu_works() {
  command -v qemu-system-i386 >/dev/null 2>&1 &&
    qemu-system-i386 -machine help >/dev/null 2>&1 &&
    [[ -e /usr/share/seabios/bios-256k.bin || -e /usr/share/qemu/bios-256k.bin ]]
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

# Waits until the file holds one of the texts: FILE SECONDS TEXT...
# Fails on timeout.
corvane_wait_for_text() {
  local file=$1 deadline=$((SECONDS + $2)) text
  shift 2
  while ((SECONDS < deadline)); do
    for text in "$@"; do
      grep -qF -- "$text" "$file" 2>/dev/null && return 0
    done
    sleep 0.1
  done
  return 1
}

# Waits until the file holds COUNT questions "(Y/N)" or the kernel's last
# line: FILE SECONDS COUNT. Fails on timeout.
corvane_wait_for_question() {
  local file=$1 deadline=$((SECONDS + $2)) count=$3
  while ((SECONDS < deadline)); do
    (($(grep -oF '(Y/N)' "$file" 2>/dev/null | wc -l) >= count)) && return 0
    grep -qF 'any key to restart.' "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Boots FLOPPY (a floppy image, or a CD image when it ends in .iso) with the
# disk images as BIOS hard disks 80h, 81h, ... and
# answers the kernel: the keys of ANSWER (y or n each) at its questions in
# turn, then a key at "... any key to restart.", after which the kernel restarts the PC
# and QEMU (-no-reboot) ends. When the boot sector fails instead, QEMU is
# stopped once its line is there. Leaves in FOLDER serial.log (the kernel's lines)
# and screen.png (the screen when the kernel waited for its first key), and
# sets CORVANE_QEMU_PROMPT_SECONDS to the time from QEMU's start to that wait.
# Usage: corvane_qemu_rescue FOLDER FLOPPY ANSWER DISK...
corvane_qemu_rescue() {
  local folder=$1 floppy=$2 answer=$3 drives=() index=0 disk monitor pid started status=0
  shift 3
  for disk in "$@"; do
    drives+=(-drive "if=ide,index=$index,format=raw,file=$disk")
    index=$((index + 1))
  done
  mkdir -p "$folder"
  rm -f "$folder/serial.log" "$folder/monitor" "$folder/screen.ppm"
  mkfifo "$folder/monitor"
  started=$(date +%s%N)
  local boot=(-drive "if=floppy,format=raw,file=$floppy" -boot a)
  # A CD image boots from the CD drive, which gives its floppy drive 00h.
  [[ $floppy != *.iso ]] || boot=(-drive "if=ide,index=3,media=cdrom,format=raw,file=$floppy" -boot d)
  qemu-system-i386 -display none -nic none -no-reboot -serial "file:$folder/serial.log" \
    -monitor stdio "${boot[@]}" "${drives[@]}" \
    <"$folder/monitor" >"$folder/qemu.log" 2>&1 &
  pid=$!
  exec {monitor}>"$folder/monitor"
  local prompt='(Y/N)' restart='any key to restart.'
  # The boot sector's own failures end in a wait for a key, then a new boot.
  local stuck=('Rescue kernel not found' 'Floppy read error')
  if corvane_wait_for_text "$folder/serial.log" 60 "$prompt" "$restart" "${stuck[@]}"; then
    CORVANE_QEMU_PROMPT_SECONDS=$(awk -v ns=$(($(date +%s%N) - started)) 'BEGIN {printf "%.1f", ns / 1e9}')
    echo "screendump $folder/screen.ppm" >&"$monitor"
    local asked=0
    while ((asked < ${#answer})) && ! grep -qF "$restart" "$folder/serial.log"; do
      corvane_wait_for_question "$folder/serial.log" 60 $((asked + 1)) || break
      grep -qF "$restart" "$folder/serial.log" && break
      sleep 0.5
      echo "sendkey ${answer:asked:1}" >&"$monitor"
      asked=$((asked + 1))
    done
    if grep -qF "$prompt" "$folder/serial.log"; then
      corvane_wait_for_text "$folder/serial.log" 60 "$restart" || status=1
    fi
    if grep -qF -e "${stuck[0]}" -e "${stuck[1]}" "$folder/serial.log"; then
      echo quit >&"$monitor"
    else
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
  [[ ! -s $folder/screen.ppm ]] || convert "$folder/screen.ppm" "$folder/screen.png"
  rm -f "$folder/monitor" "$folder/screen.ppm"
  tr -d '\r' <"$folder/serial.log" >"$folder/serial.txt" 2>/dev/null || true
  return "$status"
}
