; The rescue kernel's entry and BIOS shim. The boot sector loads bootcore.bin
; at 0000:1000 and jumps to its first byte with the boot drive in dl.
; gcc's -m16 code calls with 32-bit return addresses and arguments, addresses
; its stack through the whole of esp, expects the direction flag clear, and
; ebx, esi, edi and ebp (and the segment registers, all 0) preserved.

bits 16

extern KernelMain
extern __bss_start
extern __bss_end
extern __stack_top

section .entry progbits alloc exec

global KernelStart
KernelStart:
    cli
    xor ax, ax
    mov ds, ax
    mov es, ax
    mov ss, ax
    mov esp, __stack_top            ; whatever the BIOS left in the upper half
    sti
    cld
    movzx edx, dl
    mov di, __bss_start             ; static storage starts zeroed
    mov cx, __bss_end
    sub cx, di
    xor al, al
    rep stosb
    push edx
    call dword KernelMain           ; does not return
.halt:
    hlt
    jmp .halt

section .text

; void BiosCall(uint32_t vector, BiosRegisters* registers)
; BiosRegisters: eax ebx ecx edx esi edi (dwords at 0..20), ds es (words at
; 24, 26), eflags (dword at 28); loaded before the interrupt, stored after it.
global BiosCall
BiosCall:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    push ds
    push es
    mov al, [ebp + 8]
    mov [.vector], al
    mov esi, [ebp + 12]
    mov [registers], esi            ; the BIOS may change ebp
    mov eax, [esi + 0]
    mov ebx, [esi + 4]
    mov ecx, [esi + 8]
    mov edx, [esi + 12]
    mov edi, [esi + 20]
    mov es, [esi + 26]
    push word [esi + 24]
    mov esi, [esi + 16]
    pop ds
    jmp short .interrupt            ; past any prefetched copy of the old vector
.interrupt:
    db 0xCD                         ; int imm8
.vector:
    db 0
    movzx esp, sp                   ; some BIOSes return with esp's upper half set
    cld                             ; and some with the direction flag set
    push ds
    push esi
    pushfd
    xor si, si
    mov ds, si
    mov esi, [registers]
    mov [esi + 0], eax
    mov [esi + 4], ebx
    mov [esi + 8], ecx
    mov [esi + 12], edx
    mov [esi + 20], edi
    mov [esi + 26], es
    pop dword [esi + 28]
    pop dword [esi + 16]
    pop word [esi + 24]
    pop es
    pop ds
    pop edi
    pop esi
    pop ebx
    pop ebp
    o32 ret

; void Restart(void): resets the PC through the keyboard controller once its
; input buffer is empty, gives the reset time to happen, and jumps to the
; BIOS's reset entry where it does not (no controller, or one that ignores it).
global Restart
Restart:
    cli
    mov ecx, 0x100000               ; about a second of port reads at most
.wait:
    in al, 0x64
    test al, 2
    jz .send
    dec ecx
    jnz .wait
.send:
    mov al, 0xFE
    out 0x64, al
    mov ecx, 0x100000
.settle:
    in al, 0x64
    dec ecx
    jnz .settle
    jmp 0xFFFF:0x0000

; The functions gcc may call even in freestanding code, on segment 0.
; void* memcpy(void* destination, const void* source, size_t count)
global memcpy
global memmove
memcpy:
memmove:
    push esi
    push edi
    mov edi, [esp + 12]
    mov esi, [esp + 16]
    mov ecx, [esp + 20]
    mov eax, edi
    cmp edi, esi
    jbe .forward
    lea esi, [esi + ecx - 1]        ; overlapping with the destination above: backwards
    lea edi, [edi + ecx - 1]
    std
    a32 rep movsb
    cld
    jmp .done
.forward:
    a32 rep movsb
.done:
    pop edi
    pop esi
    o32 ret

; void* memset(void* destination, int value, size_t count)
global memset
memset:
    push edi
    mov edi, [esp + 8]
    mov eax, [esp + 12]
    mov ecx, [esp + 16]
    push edi
    a32 rep stosb
    pop eax
    pop edi
    o32 ret

section .bss
registers: resd 1
