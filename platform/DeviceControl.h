#pragma once

#include <cstddef>
#include <cstdint>

// The device I/O control requests the program sends and the byte layouts of
// their request and reply blocks. The portable code builds and reads these
// blocks itself; the Win32 build checks every size and offset here against
// the platform headers.
namespace corvane::platform::device_control {

inline constexpr std::uint32_t kSmartGetVersion = 0x74080;
inline constexpr std::uint32_t kSmartReceiveDriveData = 0x7C088;
inline constexpr std::uint32_t kDiskGetDriveGeometry = 0x70000;
inline constexpr std::uint32_t kStorageQueryProperty = 0x2D1400;
inline constexpr std::uint32_t kDiskGetDriveGeometryEx = 0x700A0;
inline constexpr std::uint32_t kDiskGetLengthInfo = 0x7405C;
inline constexpr std::uint32_t kVolumeGetDiskExtents = 0x560000;
inline constexpr std::uint32_t kLockVolume = 0x90018;
inline constexpr std::uint32_t kDismountVolume = 0x90020;
inline constexpr std::uint32_t kDiskUpdateProperties = 0x70140;

// GETVERSIONINPARAMS: the reply of kSmartGetVersion.
inline constexpr std::size_t kVersionSize = 24;
inline constexpr std::size_t kVersionIdeDeviceMap = 3;

// SENDCMDINPARAMS: the request of kSmartReceiveDriveData, packed. The last
// byte is its data area, which is not sent.
inline constexpr std::size_t kCommandSize = 33;
inline constexpr std::size_t kCommandSentSize = 32;
inline constexpr std::size_t kCommandBufferSize = 0;
inline constexpr std::size_t kCommandRegisters = 4;  // IDEREGS
inline constexpr std::size_t kCommandDriveNumber = 12;
// Offsets within IDEREGS.
inline constexpr std::size_t kRegisterFeatures = 0;
inline constexpr std::size_t kRegisterSectorCount = 1;
inline constexpr std::size_t kRegisterSectorNumber = 2;
inline constexpr std::size_t kRegisterCylinderLow = 3;
inline constexpr std::size_t kRegisterCylinderHigh = 4;
inline constexpr std::size_t kRegisterDriveHead = 5;
inline constexpr std::size_t kRegisterCommand = 6;

// SENDCMDOUTPARAMS: a 16-byte header (cBufferSize and DRIVERSTATUS), then the
// 512-byte IDENTIFY data.
inline constexpr std::size_t kReplyHeaderSize = 16;
inline constexpr std::size_t kIdentifyDataSize = 512;
inline constexpr std::size_t kReplySize = kReplyHeaderSize + kIdentifyDataSize;

// DISK_GEOMETRY: the reply of kDiskGetDriveGeometry.
inline constexpr std::size_t kGeometrySize = 24;
inline constexpr std::size_t kGeometryCylinders = 0;  // 64-bit
inline constexpr std::size_t kGeometryTracksPerCylinder = 12;
inline constexpr std::size_t kGeometrySectorsPerTrack = 16;
inline constexpr std::size_t kGeometryBytesPerSector = 20;

// STORAGE_PROPERTY_QUERY: the request of kStorageQueryProperty. Both fields
// zero ask for the device descriptor (StorageDeviceProperty) itself
// (PropertyStandardQuery).
inline constexpr std::size_t kPropertyQuerySize = 12;
inline constexpr std::size_t kPropertyQueryPropertyId = 0;
inline constexpr std::size_t kPropertyQueryQueryType = 4;
inline constexpr std::uint32_t kStorageDeviceProperty = 0;
inline constexpr std::uint32_t kPropertyStandardQuery = 0;

// STORAGE_DEVICE_DESCRIPTOR: the reply, a fixed part followed by the strings
// its offsets point to (each NUL-terminated; offset 0 means absent).
inline constexpr std::size_t kDescriptorVendorIdOffset = 12;
inline constexpr std::size_t kDescriptorProductIdOffset = 16;
inline constexpr std::size_t kDescriptorSerialNumberOffset = 24;
inline constexpr std::size_t kDescriptorBusType = 28;  // 32-bit STORAGE_BUS_TYPE
inline constexpr std::uint32_t kBusTypeUsb = 7;
inline constexpr std::size_t kDescriptorFixedSize = 36;  // up to RawDeviceProperties
// Room for the fixed part and the strings of every descriptor seen in practice.
inline constexpr std::size_t kDescriptorReplySize = 1024;

// DISK_GEOMETRY_EX: DISK_GEOMETRY, then the 64-bit DiskSize, then partition
// and detection data that the drivers add when there is room for them.
inline constexpr std::size_t kGeometryExDiskSize = 24;
inline constexpr std::size_t kGeometryExReplySize = 256;

// GET_LENGTH_INFORMATION: the reply of kDiskGetLengthInfo, one 64-bit length.
inline constexpr std::size_t kLengthInfoSize = 8;
inline constexpr std::size_t kLengthInfoLength = 0;

// VOLUME_DISK_EXTENTS: the reply of kVolumeGetDiskExtents, a 32-bit count and
// then that many DISK_EXTENTs; a volume has one on each disk it lies on.
inline constexpr std::size_t kExtentsCount = 0;
inline constexpr std::size_t kExtentsFirst = 8;
inline constexpr std::size_t kExtentSize = 24;
inline constexpr std::size_t kExtentDiskNumber = 0;
// Room for the extents of any volume but a dynamic one spread over many disks,
// which no USB stick or system volume that matters here is.
inline constexpr std::size_t kExtentsReplySize = kExtentsFirst + 16 * kExtentSize;

}  // namespace corvane::platform::device_control
