// The rescue kernel's own part: the Machine of a real PC, through the BIOS
// and COM1, and the C++ entry point that the assembly entry calls. Built only
// into bootcore.bin (freestanding g++ -m16); everything that decides is in
// RescueData.cpp and RescueKernel.cpp.
#include <cstddef>
#include <cstdint>

#include "boot/Machine.h"
#include "boot/RescueKernel.h"

// Registers in and out of one BIOS interrupt, as BiosCall in KernelEntry.asm lays them out.
struct BiosRegisters {
  std::uint32_t eax;
  std::uint32_t ebx;
  std::uint32_t ecx;
  std::uint32_t edx;
  std::uint32_t esi;
  std::uint32_t edi;
  std::uint16_t ds;
  std::uint16_t es;
  std::uint32_t eflags;
};

extern "C" {
void BiosCall(std::uint32_t vector, BiosRegisters* registers);
[[noreturn]] void Restart();
[[noreturn]] void KernelMain(std::uint32_t bootDrive);
// A pure virtual function was called: never, since the one Machine overrides all.
void __cxa_pure_virtual() {  // NOLINT(*-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)
  Restart();
}
}

namespace corvane::boot {
namespace {

constexpr std::uint32_t kVideo = 0x10;
constexpr std::uint32_t kDisk = 0x13;
constexpr std::uint32_t kKeyboard = 0x16;
constexpr std::uint32_t kClock = 0x1A;
constexpr std::uint32_t kTicksPerDay = 0x1800B0;
constexpr std::uint32_t kCarryFlag = 1;
constexpr std::uint32_t kZeroFlag = 0x40;
constexpr int kRetries = 3;

constexpr std::uint16_t kCom1 = 0x3F8;
constexpr std::uint16_t kLineStatus = kCom1 + 5;
constexpr std::uint8_t kTransmitterEmpty = 0x20;

constexpr int kColumns = 80;
constexpr int kRows = 25;
// The 1.44 MB floppy's geometry, which the rescue floppy's BPB gives.
constexpr std::uint32_t kFloppySectorsPerTrack = 18;
constexpr std::uint32_t kFloppyHeads = 2;
constexpr std::uint32_t kSectorBits = 0x3F;

void OutByte(std::uint16_t port, std::uint8_t value) {
  asm volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

std::uint8_t InByte(std::uint16_t port) {
  std::uint8_t value = 0;
  asm volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

// Everything lives in segment 0, so an address is its offset.
std::uint32_t Offset(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

bool Call(std::uint32_t vector, BiosRegisters& registers) {
  BiosCall(vector, &registers);
  return (registers.eflags & kCarryFlag) == 0;
}

std::uint8_t Attribute(Tone tone) {
  switch (tone) {
    case Tone::Heading:
      return 0x1E;  // yellow on blue
    case Tone::Strong:
      return 0x1F;  // white on blue
    case Tone::Plain:
      break;
  }
  return 0x17;  // grey on blue
}

// The int 13h extensions' disk address packet.
struct DiskAddressPacket {
  std::uint8_t size;
  std::uint8_t reserved;
  std::uint16_t count;
  std::uint16_t offset;
  std::uint16_t segment;
  std::uint32_t lbaLow;
  std::uint32_t lbaHigh;
};

// The int 13h function 48h result buffer (the first 26 bytes of it).
struct DriveParameters {
  std::uint16_t size;
  std::uint16_t flags;
  std::uint32_t cylinders;
  std::uint32_t heads;
  std::uint32_t sectorsPerTrack;
  std::uint32_t sectorsLow;
  std::uint32_t sectorsHigh;
  std::uint16_t bytesPerSector;
};

// Lives on the kernel's stack and is never deleted, so it has no virtual
// destructor (which would need an operator delete).
class BiosMachine final : public Machine {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
 public:
  explicit BiosMachine(std::uint32_t bootDrive) : bootDrive(bootDrive) {
    // Serial: no interrupts, 115200 baud, 8 bits, no parity, one stop bit, FIFO on.
    OutByte(kCom1 + 1, 0x00);
    OutByte(kCom1 + 3, 0x80);
    OutByte(kCom1 + 0, 0x01);
    OutByte(kCom1 + 1, 0x00);
    OutByte(kCom1 + 3, 0x03);
    OutByte(kCom1 + 2, 0xC7);
    OutByte(kCom1 + 4, 0x03);
    // Text mode 80 x 25, the whole screen blue.
    BiosRegisters registers{};
    registers.eax = 0x0003;
    Call(kVideo, registers);
    Scroll(0);
    MoveCursor();
    ChooseMediumAccess();
  }

  void Write(const char* text, Tone tone) override {
    for (const char* at = text; *at != '\0'; ++at) {
      SendSerial(*at);
      if (*at == '\n') {
        NewLine();
      } else {
        PutChar(*at, Attribute(tone));
      }
    }
  }

  void WrapScreenLine() override {
    SendSerial(' ');
    NewLine();
  }

  bool TakeKey(char& key) override {
    BiosRegisters registers{};
    registers.eax = 0x0100;
    BiosCall(kKeyboard, &registers);
    if ((registers.eflags & kZeroFlag) != 0) {
      return false;
    }
    registers = BiosRegisters{};
    Call(kKeyboard, registers);
    key = static_cast<char>(registers.eax & 0xFF);
    return true;
  }

  std::uint32_t Ticks() override {
    BiosRegisters registers{};
    Call(kClock, registers);
    const std::uint32_t count = (registers.ecx & 0xFFFF) << 16U | (registers.edx & 0xFFFF);
    // The BIOS starts again at 0 at midnight.
    if (count < lastCount) {
      dayStart += kTicksPerDay;
    }
    lastCount = count;
    return dayStart + count;
  }

  void Idle() override { asm volatile("sti\n\thlt"); }

  std::uint8_t BootDrive() override { return static_cast<std::uint8_t>(bootDrive); }

  bool ReadFloppySector(int sector, SectorBuffer out) override {
    for (int attempt = 0; attempt < kRetries; ++attempt) {
      if (ReadMediumSector(static_cast<std::uint32_t>(sector), out.data())) {
        return true;
      }
      BiosRegisters reset{};
      reset.edx = bootDrive;
      Call(kDisk, reset);
    }
    return false;
  }

  int CountHardDisks() override {
    BiosRegisters registers{};
    registers.eax = 0x0800;
    registers.edx = kFirstHardDisk;
    if (!Call(kDisk, registers)) {
      return -1;
    }
    return static_cast<int>(registers.edx & 0xFF);
  }

  bool HasDiskExtensions(std::uint8_t disk) override { return OffersPacketAccess(disk); }

  bool ReadDiskGeometry(std::uint8_t disk, DiskGeometry& geometry) override {
    parameters = DriveParameters{};
    parameters.size = sizeof(DriveParameters);
    BiosRegisters registers{};
    registers.eax = 0x4800;
    registers.edx = disk;
    registers.esi = Offset(&parameters);
    if (!Call(kDisk, registers)) {
      return false;
    }
    geometry.sectors = std::uint64_t{parameters.sectorsHigh} << 32U | parameters.sectorsLow;
    geometry.bytesPerSector = parameters.bytesPerSector;
    return true;
  }

  bool ReadDiskSector(std::uint8_t disk, std::uint32_t lba, SectorBuffer out) override {
    return Transfer(0x4200, disk, lba, out.data());
  }

  bool WriteDiskSector(std::uint8_t disk, std::uint32_t lba, ConstSectorBuffer data) override {
    // The BIOS only reads the buffer of a write.
    return Transfer(0x4300, disk, lba, data.data());
  }

  // Users know a BIOS hard disk by its number.
  const char* DiskName(std::uint8_t /*disk*/) override { return nullptr; }

 private:
  static bool OffersPacketAccess(std::uint32_t drive) {
    BiosRegisters registers{};
    registers.eax = 0x4100;
    registers.ebx = 0x55AA;
    registers.edx = drive;
    return Call(kDisk, registers) && (registers.ebx & 0xFFFF) == 0xAA55 && (registers.ecx & 1) != 0;
  }

  // The rescue medium is a floppy, or a stick, disk image or CD's emulated
  // floppy holding a floppy's sectors from its sector 0; the BIOS may read it
  // as a hard disk, whose geometry is no floppy's. So sector n is LBA n where
  // the BIOS has the extensions for it, else CHS by the geometry function 08h
  // reports (BiosCall keeps es, which a floppy's answer changes), else by the
  // floppy's own: the boot sector's choice, made again.
  void ChooseMediumAccess() {
    if (OffersPacketAccess(bootDrive)) {
      mediumByLba = true;
      return;
    }
    BiosRegisters registers{};
    registers.eax = 0x0800;
    registers.edx = bootDrive;
    if (Call(kDisk, registers) && (registers.ecx & kSectorBits) != 0) {
      sectorsPerTrack = registers.ecx & kSectorBits;
      heads = (registers.edx >> 8U & 0xFF) + 1;
    }
  }

  bool ReadMediumSector(std::uint32_t sector, std::uint8_t* buffer) {
    if (mediumByLba) {
      return Transfer(0x4200, static_cast<std::uint8_t>(bootDrive), sector, buffer);
    }
    const std::uint32_t cylinder = sector / (sectorsPerTrack * heads);
    const std::uint32_t head = sector / sectorsPerTrack % heads;
    const std::uint32_t record = sector % sectorsPerTrack + 1;
    BiosRegisters registers{};
    registers.eax = 0x0201;
    // Cylinder bits 8 and 9 go into cl's top two bits.
    registers.ecx = (cylinder & 0xFF) << 8U | (cylinder >> 8U & 3) << 6U | record;
    registers.edx = head << 8U | bootDrive;
    registers.ebx = Offset(buffer);
    return Call(kDisk, registers);
  }

  bool Transfer(std::uint32_t function, std::uint8_t disk, std::uint32_t lba,
                const std::uint8_t* buffer) {
    packet = DiskAddressPacket{};
    packet.size = sizeof(DiskAddressPacket);
    packet.count = 1;
    packet.offset = static_cast<std::uint16_t>(Offset(buffer));
    packet.lbaLow = lba;
    BiosRegisters registers{};
    registers.eax = function;
    registers.edx = disk;
    registers.esi = Offset(&packet);
    return Call(kDisk, registers);
  }

  static void SendSerial(char character) {
    if (character == '\n') {
      SendSerial('\r');
    }
    for (int wait = 0; wait < 100000 && (InByte(kLineStatus) & kTransmitterEmpty) == 0; ++wait) {
    }
    OutByte(kCom1, static_cast<std::uint8_t>(character));
  }

  void PutChar(char character, std::uint8_t attribute) {
    BiosRegisters registers{};
    registers.eax = 0x0900U | static_cast<std::uint8_t>(character);
    registers.ebx = attribute;
    registers.ecx = 1;
    Call(kVideo, registers);
    if (++column == kColumns) {
      NewLine();
    } else {
      MoveCursor();
    }
  }

  void NewLine() {
    column = 0;
    if (++row == kRows) {
      row = kRows - 1;
      Scroll(1);
    }
    MoveCursor();
  }

  // Scrolls the screen up by lines, or clears it with 0.
  static void Scroll(std::uint32_t lines) {
    BiosRegisters registers{};
    registers.eax = 0x0600U | lines;
    registers.ebx = static_cast<std::uint32_t>(Attribute(Tone::Plain)) << 8;
    registers.edx = (kRows - 1) << 8 | (kColumns - 1);
    Call(kVideo, registers);
  }

  void MoveCursor() const {
    BiosRegisters registers{};
    registers.eax = 0x0200;
    registers.edx = static_cast<std::uint32_t>(row << 8 | column);
    Call(kVideo, registers);
  }

  std::uint32_t bootDrive;
  bool mediumByLba = false;
  std::uint32_t sectorsPerTrack = kFloppySectorsPerTrack;
  std::uint32_t heads = kFloppyHeads;
  std::uint32_t lastCount = 0;
  std::uint32_t dayStart = 0;
  int row = 0;
  int column = 0;
  DiskAddressPacket packet{};
  DriveParameters parameters{};
};

// Below 64 KB, like everything here, so no floppy transfer crosses a DMA boundary.
RescueMemory memory;

}  // namespace
}  // namespace corvane::boot

extern "C" void KernelMain(std::uint32_t bootDrive) {
  corvane::boot::BiosMachine machine(bootDrive);
  corvane::boot::RunRescue(machine, corvane::boot::memory);
  Restart();
}
