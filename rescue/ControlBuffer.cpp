#include "rescue/ControlBuffer.h"

namespace corvane::rescue {

bool PutControlRecord(ControlBuffer& buffer, int offset, std::uint32_t value) {
  if (offset < 0 || offset + kControlRecordSize >= static_cast<int>(buffer.size())) {
    return false;
  }
  auto at = static_cast<std::size_t>(offset);
  buffer[at++] = kControlRecordMarker;
  for (int byte = 0; byte < 4; ++byte) {
    buffer[at++] = static_cast<std::uint8_t>(value >> (8 * byte));
  }
  buffer[at] = 0;
  return true;
}

}  // namespace corvane::rescue
