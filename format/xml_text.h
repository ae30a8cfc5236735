// XML text and attribute values of any text, for the documents the station
// writes (StationXML) and serves (SeedLink's INFO): the five markup
// characters escaped, and control characters XML does not allow made blanks,
// so an operator's description can never break a document.
#pragma once

#include <string>
#include <string_view>

namespace voxa {

inline std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
          out += ' ';
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace voxa
