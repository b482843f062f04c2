; A test-only BOOTCORE.BIN: stages the BIOS behaviours QEMU's own BIOS does not
; show, then runs the real rescue kernel, appended to it. The unchanged boot
; sector loads both at 0000:1000; this copies itself to 9000:1000, chains
; int 13h (and int 16h) through hooks there, moves the kernel down to
; 0000:1000 and jumps to it with the boot drive in dl. Assembled with one or
; more of:
;   -DKEY_TYPED_AHEAD   two 'y' in the BIOS keyboard buffer before the kernel starts
;   -DKEY_HELD          int 16h always has a 'y' ready, as with a key held down
;   -DESP_HIGH          esp's upper half set at each hand-over and after every int 13h
;   -DDIRECTION_SET     the direction flag set after every int 13h
;   -DEBP_CHANGED       ebp changed by every int 13h
;   -DFLOPPY_RETRIES    the first two floppy reads after each hand-over fail, and
;                       a failed drive fails every read until it is reset
;                       (function 00h), as a floppy controller does
;   -DSECTORS_4K        function 48h reports 4096-byte sectors
;   -DSECTORS_HUGE      function 48h reports 2^32 + 16 sectors: a disk of 2 TiB
;                       and more, whose count a 32-bit reader takes for 16
;   -DNO_PACKET_ACCESS  function 41h finds the extensions, but without packet
;                       access (cx bit 0 clear): no function 42h, 43h or 48h
;   -DBOOT_DRIVE_CHS    the boot drive has no extensions (functions 41h to 48h
;                       fail for it), as where the BIOS reads it by CHS only
;   -DBOOT_DRIVE_NO_GEOMETRY  function 08h has no geometry for the boot drive:
;                       the first answer sets the carry, with a hard disk's
;                       63 sectors and 16 heads left in cx and dx, the later
;                       ones clear it with 0 sectors and heads, as some BIOSes
;                       answer for a floppy drive they do not know
;   -DBOOT_SECTOR       the boot sector runs under the hooks too: once they are
;                       in, the medium's sector 0 is booted again, and the boot
;                       sector loads this file a second time, which then finds
;                       the hooks in and starts the kernel
; Usage: nasm -f bin -D... -o quirks.bin BiosQuirks.asm; cat quirks.bin bootcore.bin

bits 16
org 0x1000

STUB_SIZE       equ 1024
KERNEL          equ 0x1000
KERNEL_BYTES    equ 0x7C00 - KERNEL - STUB_SIZE   ; all the boot sector can have loaded
BOOT_SECTOR_AT  equ 0x7C00
HOOK_SEGMENT    equ 0x9000
INT13_VECTOR    equ 0x13 * 4
INT16_VECTOR    equ 0x16 * 4

start:
    cld
    xor ax, ax
    mov ds, ax
    mov ax, HOOK_SEGMENT
    mov es, ax
    cmp [INT13_VECTOR + 2], ax  ; loaded again by a boot sector that ran hooked
    je startKernel
    mov si, KERNEL
    mov di, KERNEL
    mov cx, STUB_SIZE
    rep movsb
    mov [es:bootDrive], dl
    cli
    mov eax, [INT13_VECTOR]
    mov [es:oldInt13], eax
    mov word [INT13_VECTOR], hookInt13
    mov word [INT13_VECTOR + 2], HOOK_SEGMENT
%ifdef KEY_HELD
    mov eax, [INT16_VECTOR]
    mov [es:oldInt16], eax
    mov word [INT16_VECTOR], hookInt16
    mov word [INT16_VECTOR + 2], HOOK_SEGMENT
%endif
    sti
%ifdef BOOT_SECTOR
    jmp HOOK_SEGMENT:bootAgain
%endif
startKernel:
%ifdef KEY_TYPED_AHEAD
    mov ah, 0x05                ; store a keystroke: scan code of Y, 'y'
    mov cx, 0x1579
    int 0x16
    mov ah, 0x05                ; and another, which a flush of one key leaves
    int 0x16
%endif
    jmp HOOK_SEGMENT:moveKernel

; Hands over to the code at 0000:%1 with the boot drive in dl; from
; 9000:xxxx only.
%macro handOver 1
%ifdef FLOPPY_RETRIES
    mov byte [cs:floppyFailures], 2
%endif
%ifdef ESP_HIGH
    or esp, 0x5A5A0000          ; sp, the part real mode uses, stays
%endif
    mov dl, [cs:bootDrive]
    jmp 0x0000:%1
%endmacro

; The following run from 9000:xxxx, out of the way of what they load or move.
%ifdef BOOT_SECTOR
bootAgain:
    xor ax, ax                  ; sector 0 to 0000:7C00, as the BIOS boots
    mov es, ax
    mov bx, BOOT_SECTOR_AT
    mov ax, 0x0201
    mov cx, 0x0001
    mov dh, 0
    mov dl, [cs:bootDrive]
    int 0x13
    handOver BOOT_SECTOR_AT
%endif

moveKernel:
    xor ax, ax
    mov ds, ax
    mov es, ax
    mov si, KERNEL + STUB_SIZE
    mov di, KERNEL
    mov cx, KERNEL_BYTES
    cld
    rep movsb
    handOver KERNEL

hookInt13:
    sti                         ; as the BIOS's own handlers do
    mov [cs:function], ah
%ifdef FLOPPY_RETRIES
    test dl, 0x80
    jnz .chain
    cmp ah, 0x00
    jne .read
    mov byte [cs:floppyStuck], 0
    jmp .chain
.read:
    cmp ah, 0x02
    jne .chain
    cmp byte [cs:floppyStuck], 0
    jne .failed
    cmp byte [cs:floppyFailures], 0
    je .chain
    dec byte [cs:floppyFailures]
    mov byte [cs:floppyStuck], 1
.failed:
    mov ah, 0x80                ; time out
    stc
    retf 2
.chain:
%endif
%ifdef BOOT_DRIVE_CHS
    cmp dl, [cs:bootDrive]
    jne .extended
    cmp ah, 0x41
    jb .extended
    cmp ah, 0x48
    ja .extended
    mov ah, 0x01                ; invalid function
    stc
    retf 2
.extended:
%endif
%ifdef BOOT_DRIVE_NO_GEOMETRY
    cmp dl, [cs:bootDrive]
    jne .measured
    cmp ah, 0x08
    jne .measured
    cmp byte [cs:geometryAsked], 0
    jne .noSectors
    mov byte [cs:geometryAsked], 1
    mov cx, 0x003F
    mov dx, 0x0F01
    mov ah, 0x01
    stc
    retf 2
.noSectors:
    xor ax, ax                  ; clears the carry
    xor cx, cx
    xor dx, dx
    retf 2
.measured:
%endif
    pushf
    call far [cs:oldInt13]
    pushf
%ifdef SECTORS_4K
    cmp byte [cs:function], 0x48
    jne .reported
    mov word [si + 24], 4096    ; ds:si is the caller's result buffer
.reported:
%endif
%ifdef SECTORS_HUGE
    cmp byte [cs:function], 0x48
    jne .counted
    mov dword [si + 16], 16     ; ds:si is the caller's result buffer
    mov dword [si + 20], 1
.counted:
%endif
%ifdef NO_PACKET_ACCESS
    cmp byte [cs:function], 0x41
    jne .accessed
    and cx, 0xFFFE
.accessed:
%endif
%ifdef EBP_CHANGED
    mov ebp, 0x5A5AA5A5
%endif
%ifdef ESP_HIGH
    or esp, 0xA5A50000
%endif
    popf
%ifdef DIRECTION_SET
    std
%endif
    retf 2                      ; with the BIOS's flags, not the caller's

%ifdef KEY_HELD
; Reads and checks for a key (functions 00h, 01h and their 10h, 11h twins)
; always find a 'y', as the repeat of a held key keeps the buffer filled.
hookInt16:
    push ax
    and ah, 0xEF                ; the enhanced functions as the plain ones
    cmp ah, 0x01
    pop ax
    ja .chain
    mov ax, 0x1579              ; scan code of Y, 'y'
    test ax, ax                 ; clears ZF: a key is ready
    retf 2
.chain:
    jmp far [cs:oldInt16]
%endif

oldInt13        dd 0
oldInt16        dd 0
bootDrive       db 0
function        db 0
floppyFailures  db 0
floppyStuck     db 0
geometryAsked   db 0

    times STUB_SIZE - ($ - $$) db 0
