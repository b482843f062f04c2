#include "rescue/ControlBuffer.h"

namespace corvane::rescue {

bool PutControlRecord(ControlBuffer& buffer, int offset, std::uint32_t value) {
  if (offset < 0 || offset + kControlRecordSize >= static_cast<int>(buffer.size())) {
    return false;
  }
  const auto at = static_cast<std::size_t>(offset);
  buffer[at] = kControlRecordMarker;
  disk::PutLittleEndian32(buffer, at + 1, value);
  buffer[at + kControlRecordSize] = 0;
  return true;
}

}  // namespace corvane::rescue
