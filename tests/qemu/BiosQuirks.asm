; A test-only BOOTCORE.BIN: stages the BIOS behaviours QEMU's own BIOS does not
; show, then runs the real rescue kernel, appended to it. The unchanged boot
; sector loads both at 0000:1000; this copies itself to 9000:1000, chains
; int 13h through a hook there, moves the kernel down to 0000:1000 and jumps
; to it with the boot drive in dl. Assembled with one or more of:
;   -DKEY_TYPED_AHEAD   a 'y' in the BIOS keyboard buffer before the kernel starts
;   -DESP_HIGH          esp's upper half set at the kernel's entry and after every int 13h
;   -DDIRECTION_SET     the direction flag set after every int 13h
;   -DFLOPPY_RETRIES    the kernel's first two floppy reads fail
;   -DSECTORS_4K        function 48h reports 4096-byte sectors
; Usage: nasm -f bin -D... -o quirks.bin BiosQuirks.asm; cat quirks.bin bootcore.bin

bits 16
org 0x1000

STUB_SIZE       equ 1024
KERNEL          equ 0x1000
KERNEL_BYTES    equ 0x7C00 - KERNEL - STUB_SIZE   ; all the boot sector can have loaded
HOOK_SEGMENT    equ 0x9000
INT13_VECTOR    equ 0x13 * 4

start:
    cld
    xor ax, ax
    mov ds, ax
    mov ax, HOOK_SEGMENT
    mov es, ax
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
    sti
%ifdef KEY_TYPED_AHEAD
    mov ah, 0x05                ; store a keystroke: scan code of Y, 'y'
    mov cx, 0x1579
    int 0x16
%endif
    jmp HOOK_SEGMENT:moveKernel

; Runs from 9000:xxxx, out of the way of the kernel it moves.
moveKernel:
    xor ax, ax
    mov ds, ax
    mov es, ax
    mov si, KERNEL + STUB_SIZE
    mov di, KERNEL
    mov cx, KERNEL_BYTES
    cld
    rep movsb
    mov dl, [cs:bootDrive]
%ifdef ESP_HIGH
    or esp, 0x5A5A0000          ; sp, the part real mode uses, stays
%endif
    jmp 0x0000:KERNEL

hookInt13:
    mov [cs:function], ah
%ifdef FLOPPY_RETRIES
    cmp ah, 0x02
    jne .chain
    test dl, 0x80
    jnz .chain
    cmp byte [cs:floppyFailures], 0
    je .chain
    dec byte [cs:floppyFailures]
    mov ah, 0x80                ; time out
    stc
    retf 2
.chain:
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
%ifdef ESP_HIGH
    or esp, 0xA5A50000
%endif
    popf
%ifdef DIRECTION_SET
    std
%endif
    retf 2                      ; with the BIOS's flags, not the caller's

oldInt13        dd 0
bootDrive       db 0
function        db 0
floppyFailures  db 2

    times STUB_SIZE - ($ - $$) db 0
