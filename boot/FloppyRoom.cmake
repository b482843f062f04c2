# Prints the room a rescue floppy has left for its files: the kernel, the
# folders EFI and EFI\BOOT and both UEFI programs take one cluster per 512
# bytes, and only clusters 2 to 681 can hold them, whose FAT entries lie in
# floppy sectors 1 and 2, which the rescue's copies leave alone.
# Usage: cmake -DKERNEL=bootcore.bin -DX64=bootx64.efi -DIA32=bootia32.efi -P FloppyRoom.cmake
set(reachable 680)
set(used 2)
foreach(file ${KERNEL} ${X64} ${IA32})
  file(SIZE ${file} size)
  math(EXPR used "${used} + (${size} + 511) / 512")
endforeach()
math(EXPR left "${reachable} - ${used}")
message(STATUS "rescue floppy: its files take ${used} of the ${reachable} clusters that the boot "
               "sector and a FAT driver reach (${left} left)")
if(left LESS 0)
  message(FATAL_ERROR "the rescue floppy's files do not fit in the clusters the rescue reaches")
endif()
