// The recording's name from arbitrary date texts and device numbers: never
// longer than 12 characters, never a path, a hidden file or an unsafe
// character, and always the date and device parts around one dot.
//
// Input: five texts, each a length byte and that many bytes.
#include <string>

#include "fuzz_support.h"
#include "recording/recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace voxa;
  using namespace voxa::fuzz;
  Input in(data, size);
  const std::string month = in.ShortText(16), day = in.ShortText(16), hour = in.ShortText(16),
                    minute = in.ShortText(16), device = in.ShortText(16);
  const std::string name = RecordingName(month, day, hour, minute, device);
  Check(!name.empty() && name.size() <= 12, "at most 12 characters");
  Check(name.front() != '.', "never a hidden file");
  const size_t dot = name.find('.', 1);
  Check((dot != std::string::npos && dot <= 8) || (month + day + hour + minute).empty(),
        "a date part of at most 8 characters, then a dot");
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    Check(byte >= 0x20 && byte < 0x7F && std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos,
          "only characters safe in a file name");
  }
  // A name of digits keeps them as they are.
  if (IsDigits(month + day + hour + minute, 8) && IsDigits(device, 3)) {
    Check(name == month + day + hour + minute + "." + device, "sound fields give MMDDhhmm.NNN");
  }
  return 0;
}
