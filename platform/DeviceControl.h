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

}  // namespace corvane::platform::device_control
