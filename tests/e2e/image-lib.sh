# Byte access to disk images for the end-to-end scripts; source it.

# Writes printf-formatted bytes at a byte offset of a file.
put_bytes() {
  local file=$1 offset=$2
  shift 2
  # shellcheck disable=SC2059
  printf "$@" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# printf escapes of a little-endian 32-bit value.
le32() {
  local v=$1
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255))
}

# Unsigned bytes of a file, space-separated: FILE OFFSET COUNT.
read_bytes() {
  od -An -v -tu1 -j "$2" -N "$3" "$1" 2>/dev/null | tr -s ' \n' ' '
}

# A partition entry of the boot record at LBA: prints "type start".
# FILE LBA ENTRY
partition_entry() {
  local b
  read -r -a b <<<"$(read_bytes "$1" $(($2 * 512 + 446 + 16 * $3)) 16)"
  echo "${b[4]} $((b[8] | b[9] << 8 | b[10] << 16 | b[11] << 24))"
}

has_signature() {
  [[ $(read_bytes "$1" $(($2 * 512 + 510)) 2) == " 85 170 " ]]
}

# Sets a partition entry: FILE LBA ENTRY TYPE START SIZE.
set_partition_entry() {
  local at=$(($2 * 512 + 446 + 16 * $3))
  put_bytes "$1" $((at + 4)) "$(printf '\\x%02x' "$4")"
  put_bytes "$1" $((at + 8)) "$(le32 "$5")$(le32 "$6")"
}

# The LBAs of the extended boot records, in chain order, as the rescue
# kernel expects them: the first extended entry of the MBR, then the link
# entry of each EBR, relative to the extended partition. Stops at the end of
# the chain, at a record without signature, and at a repeated LBA.
ebr_chain() {
  local file=$1 base="" entry type start lba seen=" "
  has_signature "$file" 0 || return 0
  for entry in 0 1 2 3; do
    read -r type start <<<"$(partition_entry "$file" 0 "$entry")"
    if [[ $type -eq 5 || $type -eq 15 ]]; then
      base=$start
      break
    fi
  done
  [[ -n $base ]] || return 0
  lba=$base
  while has_signature "$file" "$lba" && [[ $seen != *" $lba "* ]]; do
    echo "$lba"
    seen+="$lba "
    read -r type start <<<"$(partition_entry "$file" "$lba" 1)"
    [[ $type -eq 5 || $type -eq 15 ]] || return 0
    lba=$(((base + start) & 0xFFFFFFFF))
  done
}
