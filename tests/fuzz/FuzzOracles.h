#pragma once

// What the fuzz targets check the code under test against, written apart from
// it: a wrong answer shared by both would hide the fault the target looks for.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "disk/Sector.h"

namespace corvane::fuzzing {

// Stops the run with the broken invariant; libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) {                                                          \
      (void)std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                              \
    }                                                                            \
  } while (false)

// The values of a well-formed control buffer: '$' records packed from offset
// 0, at most 102, a 0 after the last. Nothing when the sector is anything else.
std::optional<std::vector<std::uint32_t>> ControlRecords(std::span<const std::uint8_t> sector);

// A sector as read from a disk, or nothing when the read fails.
using SectorLookup = std::function<std::optional<disk::Sector>(std::uint32_t lba)>;

// The LBAs of the MBR and of the EBRs that follow it, in chain order, as a
// rescue floppy lists them: the walk ends at an MBR without an extended
// entry, before an EBR without the signature and after an EBR without a link,
// at the first repeated LBA (listed again) or after limit LBAs. Nothing when
// the MBR is unreadable or unsigned, or an EBR on the way cannot be read.
std::optional<std::vector<std::uint32_t>> WalkChain(const SectorLookup& read, std::size_t limit);

bool HasRepeats(std::vector<std::uint32_t> values);

bool HasBootSignature(std::span<const std::uint8_t> sector);

}  // namespace corvane::fuzzing
