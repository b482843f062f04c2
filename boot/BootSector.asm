; The rescue floppy's boot sector (os/bs): a FAT12 boot sector for a 1.44 MB
; floppy that finds BOOTCORE.BIN in the root directory, loads it at 0000:1000
; and jumps to it with the boot drive in dl. The same bytes boot from a
; floppy, from a USB stick or disk image the BIOS takes for a floppy (00h) or
; a hard disk (80h and up), and from a CD's emulated floppy, so "floppy sector
; n" is the boot drive's sector n, read the way the BIOS offers, decided once:
; by LBA through the int 13h extensions where it has them for the boot drive,
; else by CHS with the geometry function 08h reports, else with the BPB's, the
; 1.44 MB floppy's, which stays on the medium as it is. A stick's BIOS
; geometry is no floppy's, so sector 19 read by 18/2 would be another one.
; Partition entries 446 to 509 stay zero: Windows and BIOSes see a disk
; without partitions, a superfloppy, not one with a table of stray bytes.
; The rescue floppy's copies lie in sectors 3 to 18, over the FATs' later
; sectors, so the loader follows only the FAT entries held in sector 1 and 2
; (the first 682 clusters): a kernel copied onto a clean floppy lies there. A
; failure shows one line, also on COM1, and waits for a key to restart. Some
; BIOSes return with the direction flag set, which would turn the name
; comparison and the line's bytes backwards: every return from the BIOS, the
; boot itself included, clears it.

bits 16
org 0x7C00

ROOT_START      equ 19          ; reserved sector + 2 FATs of 9 sectors
ROOT_SECTORS    equ 14          ; 224 entries of 32 bytes
DATA_START      equ 33          ; the sector of cluster 2
FAT_BYTES       equ 1024        ; FAT sectors 1 and 2
KERNEL          equ 0x1000
BUFFER          equ 0x7E00      ; one root directory sector
FAT             equ 0x8000      ; FAT sectors 1 and 2

    jmp short start
    nop
oem                 db "CORVANE "
bytesPerSector      dw 512
sectorsPerCluster   db 1
reservedSectors     dw 1
fatCount            db 2
rootEntries         dw 224
totalSectors        dw 2880
media               db 0xF0
sectorsPerFat       dw 9
sectorsPerTrack     dw 18
heads               dw 2
hiddenSectors       dd 0
totalSectors32      dd 0
driveNumber         db 0
reserved            db 0
extendedSignature   db 0x29
volumeId            dd 0x20261208
volumeLabel         db "CORVANE    "
fileSystem          db "FAT12   "

start:
    cli
    xor ax, ax
    mov ds, ax
    mov es, ax
    mov ss, ax
    mov sp, KERNEL              ; below the kernel, which may fill all up to 7C00
    sti
    cld
    jmp 0x0000:normalized
normalized:
    mov [driveNumber], dl
    mov ah, 0x41                ; the extensions, packet access (cx bit 0) among them
    mov bx, 0x55AA
    int 0x13
    cld
    jc noPackets
    cmp bx, 0xAA55
    jne noPackets
    shr cx, 1
    jnc noPackets
    mov byte [readFunction + 1], 0x42
    jmp accessChosen
noPackets:
    push es                     ; a floppy's answer points es:di at its table
    mov ah, 0x08
    mov dl, [driveNumber]
    int 0x13
    cld
    pop es
    jc accessChosen
    and cx, 0x3F                ; 0 sectors is no answer either
    jz accessChosen
    mov [sectorsPerTrack], cx   ; in memory only
    shr dx, 8
    inc dx
    mov [heads], dx
accessChosen:

    mov ax, ROOT_START
nextRootSector:
    mov bx, BUFFER
    call readSector
    mov di, BUFFER
nextEntry:
    cmp byte [di], 0            ; the end of the directory
    je notFound
    mov si, kernelName
    mov cx, 11
    push di
    repe cmpsb
    pop di
    je found
    add di, 32
    cmp di, BUFFER + 512
    jb nextEntry
    inc ax
    cmp ax, ROOT_START + ROOT_SECTORS
    jb nextRootSector
notFound:
    mov si, kernelNotFound
    jmp fail

found:
    push word [di + 26]         ; the first cluster
    mov ax, 1
    mov bx, FAT
    call readSector
    inc ax
    mov bx, FAT + 512
    call readSector
    pop ax
    mov bx, KERNEL
nextCluster:
    cmp ax, 0xFF8               ; the end of the file
    jae loaded
    cmp ax, 2                   ; a free or reserved cluster: no valid file
    jb notFound
    cmp bx, 0x7C00              ; too large to load below this sector
    jae notFound
    push ax
    add ax, DATA_START - 2
    call readSector
    pop ax
    add bx, 512
    mov si, ax                  ; the 12-bit FAT entry at 1.5 * cluster
    shr si, 1
    add si, ax
    cmp si, FAT_BYTES - 2
    ja notFound
    mov dx, [FAT + si]
    test al, 1
    jz even
    shr dx, 4
even:
    and dx, 0x0FFF
    mov ax, dx
    jmp nextCluster

loaded:
    mov dl, [driveNumber]
    jmp 0x0000:KERNEL

; Reads floppy sector ax into es:bx, three tries with a reset between them;
; keeps every register. The packet for function 42h lies on the stack; the
; CHS registers are set for either function, which ignores what it does not
; use. The cylinder fits in ch: sectors up to the load limit's, 713, lie
; below cylinder 256 in any geometry of 3 sectors a cylinder or more.
readSector:
    pusha
    mov di, 3
.try:
    pusha
    xor dx, dx
    push dx                     ; the packet: LBA bits 16 to 63
    push dx
    push dx
    push ax                     ; LBA bits 0 to 15
    push es
    push bx
    push byte 1                 ; one sector
    push byte 16                ; the packet's size
    mov si, sp
    div word [sectorsPerTrack]
    mov cl, dl
    inc cx                      ; sector, from 1
    xor dx, dx
    div word [heads]
    mov ch, al                  ; cylinder
    mov dh, dl                  ; head
    mov dl, [driveNumber]
    mov ax, [readFunction]
    int 0x13
    cld
    jnc .read
    xor ax, ax                  ; reset the drive before the next try
    mov dl, [driveNumber]
    int 0x13
    cld
    stc
.read:
    popa                        ; the packet; keeps the flags
    popa
    jc .failed
    popa
    ret
.failed:
    dec di
    jnz .try
    mov si, readError

; Shows the line at si on the screen and COM1, waits for a key, restarts.
fail:
    cld                         ; after int 10h and int 14h too
    lodsb
    test al, al
    jz .wait
    push ax
    mov ah, 0x0E
    mov bx, 0x0007
    int 0x10
    pop ax
    mov ah, 0x01
    xor dx, dx
    int 0x14
    jmp fail
.wait:
    xor ax, ax
    int 0x16
    int 0x19

kernelName      db "BOOTCOREBIN"             ; 8.3 name, no dot
kernelNotFound  db "Rescue kernel not found", 13, 10, 0
readError       db "Floppy read error", 13, 10, 0
readFunction    dw 0x0201       ; read one sector by CHS, or 42xxh by LBA

    times 446 - ($ - $$) db 0   ; negative, an error, where code reaches 446
    times 64 db 0               ; no partition entries
    dw 0xAA55
