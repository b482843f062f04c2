# Prints the size of a linked UEFI program: both go onto the rescue floppy
# beside the kernel, in the clusters whose FAT entries the rescue's copies
# leave alone. Usage: cmake -DPROGRAM=bootx64.efi -P EfiSize.cmake
file(SIZE ${PROGRAM} size)
get_filename_component(name ${PROGRAM} NAME)
message(STATUS "${name}: ${size} bytes")
