# Prints how much of its memory the linked rescue kernel uses: the bytes the
# boot sector loads below 7C00 and the storage that must end below FF00, the
# limits kernel.ld asserts. Usage: cmake -DMAP=bootcore.map -DBINARY=bootcore.bin -P KernelRoom.cmake
file(SIZE ${BINARY} loaded)
file(STRINGS ${MAP} line REGEX "__bss_end = \\.")
string(REGEX MATCH "0x[0-9a-fA-F]+" bss_end "${line}")
math(EXPR load_room "0x6000 - ${loaded}")
math(EXPR storage_room "0xFF00 - ${bss_end}")
math(EXPR bss_end "${bss_end}" OUTPUT_FORMAT HEXADECIMAL)
message(STATUS "rescue kernel: ${loaded} bytes loaded (${load_room} more fit below 7C00); "
               "storage ends at ${bss_end} (${storage_room} bytes left below FF00)")
