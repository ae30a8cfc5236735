// A JSON string literal of any text, for the small JSON documents the
// station writes (its status file) and serves (its page's documents).
// Quotes and backslashes are escaped, and every control character, so a
// device's or an operator's text can never break the document.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace voxa {

inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace voxa
