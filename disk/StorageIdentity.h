#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace corvane::disk {

// A disk's serial and model numbers as the storage driver names them, for
// disks whose SMART interface names nothing (NVMe, USB, disks behind RAID or
// SCSI translation). Empty texts when the driver names nothing.
struct StorageIdentity {
  std::string serial;
  std::string model;
};

// The identity in a STORAGE_DEVICE_DESCRIPTOR reply of reply.size() bytes.
// A string counts only when its offset lies past the descriptor's fixed part
// and it ends within the reply. Only printable ASCII is kept, without blanks
// at either end; the model is vendor and product joined by one blank, with
// the vendor "ATA" that SCSI translation reports left out.
StorageIdentity IdentityFromDescriptor(std::span<const std::uint8_t> reply);

// A physical disk's storage device descriptor, asked through a handle of its
// own that needs no access rights; empty when the disk gives none.
std::vector<std::uint8_t> QueryStorageDescriptor(platform::Platform& platform, int drive);

// The identity in the disk's storage device descriptor.
StorageIdentity QueryStorageIdentity(platform::Platform& platform, int drive);

// Whether a descriptor reply names the USB bus.
bool IsUsbDescriptor(std::span<const std::uint8_t> reply);

}  // namespace corvane::disk
