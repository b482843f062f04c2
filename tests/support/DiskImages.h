#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "disk/Sector.h"
#include "rescue/FloppyLayout.h"
#include "tests/support/FakePlatform.h"

namespace corvane::testing {

struct PartitionEntry {
  int slot;
  std::uint8_t type;
  std::uint32_t start;
};

inline constexpr std::uint8_t kExtended = 0x05;
inline constexpr std::uint8_t kExtendedLba = 0x0F;
inline constexpr std::uint8_t kNtfs = 0x07;

// A boot record with the given entries, the signature, and a fill byte that
// tells one record from another in a byte comparison.
disk::Sector BootRecord(std::initializer_list<PartitionEntry> entries, std::uint8_t fill = 0,
                        bool withSignature = true);

// Puts an MBR with a primary partition and an extended entry in slot
// extendedSlot at base, then count EBRs chained from base, each linking to the
// next at base + (k + 1) * spacing. Returns the LBAs of the EBRs in chain order.
std::vector<std::uint32_t> PutLogicalChain(FakeDevice& disk, std::uint32_t base, int count,
                                           std::uint32_t spacing = 2048, int extendedSlot = 1,
                                           std::uint8_t linkType = kExtended);

// The control buffer a rescue kernel expects for these values, built byte by
// byte rather than with the code under test.
disk::Sector ControlBufferOf(const std::vector<std::uint32_t>& values);

// A boot sector carrying bpb, as a format tool writes it.
disk::Sector FormattedBootSector(const rescue::FloppyBpb& bpb);

// Formats the floppy as bpb describes, with kernel as its one file, from
// cluster 2 on, as a format and a file copy leave it: written field by field
// rather than with the code under test.
void FormatFloppyWithKernel(FakeDevice& floppy, const rescue::FloppyBpb& bpb,
                            const std::vector<std::uint8_t>& kernel);

std::vector<std::uint8_t> Bytes(const std::string& text, std::size_t size);

// Ships small UEFI programs, starting with "MZ" as executables do, as the
// platform's os\efi files.
void ShipUefiPrograms(FakePlatform& platform);

// Formats the platform's floppy as a 1.44 MB one holding the shipped kernel,
// \EFI\BOOT and the shipped UEFI programs, as a clean format and Windows'
// copies leave it (built by the image code, which the image tests check
// against mtools).
void FormatRescueFloppy(FakePlatform& platform);

}  // namespace corvane::testing
