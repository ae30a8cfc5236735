// Field access on GPS record texts that may be cut short or carry the next
// record's marker; see gps_record.h.
#include "format/gps_record.h"

#include <algorithm>

namespace voxa {

std::string GpsChecksum(std::string_view text) {
  uint8_t sum = 0x3E;  // the ">" that opens every message
  for (const char c : text) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
  return HexByte(sum);
}

std::string HexByte(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}

namespace gps_text {

size_t RecordLength(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return i;
  }
  return text.size();
}

std::string_view Field(std::string_view text, size_t pos, size_t count) {
  const size_t length = RecordLength(text);
  if (pos == 0 || pos > length) return {};
  return text.substr(pos - 1, std::min(count, length - (pos - 1)));
}

bool HasAt(std::string_view text, size_t pos, std::string_view id) {
  return Field(text, pos, id.size()) == id;
}

std::string FullRecord(std::string_view text) {
  const size_t length = std::min(RecordLength(text), kRecordLength);
  std::string record(text.substr(0, length));
  record.append(kPlaceholderGpsText.substr(length));
  return record;
}

void OverwriteAt(std::string& text, size_t pos, std::string_view value, size_t width) {
  if (pos == 0 || pos > text.size()) return;
  const size_t count = std::min({value.size(), width, text.size() - (pos - 1)});
  text.replace(pos - 1, count, value.substr(0, count));
}

}  // namespace gps_text
}  // namespace voxa
