#!/usr/bin/env bash
# Makes the end-to-end suite's disk images in a folder, with sfdisk and, for
# what sfdisk will not write, small patches afterwards:
#   primary.img     two primary partitions, no extended partition
#   logical3.img    one primary, an extended partition with three logical drives
#   slot4.img       three primaries and an extended partition of type 0x0F in
#                   the fourth slot, with two logical drives
#   beyond4g.img    a sparse 6 GiB disk whose logical drives lie beyond 4 GiB
#   chain14.img     chains of 14, 15 and 100 logical drives (sfdisk writes
#   chain15.img     up to 50, the rest are appended)
#   chain100.img
#   loop.img        logical3.img with the third EBR linking back to the first
#   ebr-beyond-end.img  logical3.img with the first EBR linking past the disk's end
#   ebr-unsigned.img  logical3.img with the second EBR's signature cleared
#   mbr-unsigned.img  logical3.img with the MBR's signature cleared
#   second.img      a second disk (drive 1): one primary, two logical drives
#   gpt.img         a GUID partition table with two partitions
# Usage: make-disks.sh FOLDER
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/image-lib.sh"
cd "$1"

table() {  # IMAGE SIZE, then the sfdisk script on standard input
  rm -f "$1"
  truncate -s "$2" "$1"
  sfdisk --quiet "$1"
}

table primary.img 32M <<'T'
label: dos
start=2048, size=20480, type=7
start=22528, type=83
T

bash "$here/make-sample-disk.sh" logical3.img

table slot4.img 64M <<'T'
label: dos
start=2048, size=10240, type=7
start=12288, size=10240, type=7
start=22528, size=10240, type=83
start=32768, type=f
size=10240, type=83
type=83
T

table beyond4g.img 6G <<'T'
label: dos
start=2048, size=9000000, type=7
start=9004000, type=5
size=204800, type=7
type=83
T

# Appends count EBRs to the end of a chain, each with a 1 MiB logical drive.
extend_chain() {  # IMAGE COUNT
  local image=$1 count=$2 base last next type start k
  read -r type base <<<"$(partition_entry "$image" 0 1)"
  last=$(ebr_chain "$image" | tail -n 1)
  next=$((last + 4096))
  for ((k = 0; k < count; k++)); do
    set_partition_entry "$image" "$last" 1 5 $((next - base)) 4096
    set_partition_entry "$image" "$next" 0 131 2048 2048
    put_bytes "$image" $((next * 512 + 510)) '\x55\xaa'
    last=$next
    next=$((next + 4096))
  done
}

chain() {  # IMAGE LOGICAL-DRIVES
  local written=$(($2 < 50 ? $2 : 50))
  { printf 'label: dos\nstart=2048, size=20480, type=7\nstart=22528, type=5\n'
    for _ in $(seq "$written"); do echo "size=2048, type=83"; done; } | table "$1" 512M
  extend_chain "$1" $(($2 - written))
}
chain chain14.img 14
chain chain15.img 15
chain chain100.img 100

cp logical3.img loop.img
mapfile -t ebrs < <(ebr_chain logical3.img)
set_partition_entry loop.img "${ebrs[2]}" 1 5 0 4096

# The first EBR links to a second one past the end of the disk, which cannot
# be read.
cp logical3.img ebr-beyond-end.img
set_partition_entry ebr-beyond-end.img "${ebrs[0]}" 1 5 $((1 << 20)) 4096

cp logical3.img ebr-unsigned.img
put_bytes ebr-unsigned.img $((ebrs[1] * 512 + 510)) '\x00\x00'

cp logical3.img mbr-unsigned.img
put_bytes mbr-unsigned.img 510 '\x00\x00'

table second.img 48M <<'T'
label: dos
start=2048, size=10240, type=b
start=12288, type=5
size=10240, type=b
type=83
T

table gpt.img 32M <<'T'
label: gpt
size=10240, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
type=0FC63DAF-8483-4772-8E79-3D69D8477DE4
T
