#include "seedlink/commands.h"

namespace voxa {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

struct Word {
  std::string_view text;
  Verb verb;
};
constexpr std::array<Word, 13> kVerbs = {{{"HELLO", Verb::Hello},     {"STATION", Verb::Station},
                                          {"SELECT", Verb::Select},   {"DATA", Verb::Data},
                                          {"FETCH", Verb::Fetch},     {"TIME", Verb::Time},
                                          {"END", Verb::End},         {"ENDFETCH", Verb::EndFetch},
                                          {"BATCH", Verb::Batch},     {"BYE", Verb::Bye},
                                          {"CAT", Verb::Cat},         {"CAPABILITIES", Verb::Capabilities},
                                          {"INFO", Verb::Info}}};

}  // namespace

Command ParseCommand(std::string_view line) {
  Command command;
  size_t at = 0;
  bool first = true;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size()) break;
    const size_t begin = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    const std::string_view word = line.substr(begin, at - begin);
    if (first) {
      first = false;
      for (const Word& known : kVerbs) {
        if (EqualsNoCase(word, known.text)) command.verb = known.verb;
      }
      continue;
    }
    if (command.count == Command::kMaxArguments) {
      command.tooManyArguments = true;
      break;
    }
    command.arguments[command.count++] = word;
  }
  return command;
}

std::optional<uint32_t> ParseSequence(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty() || text.size() > 16) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = (value << 4) | uint64_t(digit);
  }
  return static_cast<uint32_t>(value & 0xFFFFFF);
}

std::optional<Micros> ParseSeedLinkTime(std::string_view text) {
  std::array<int64_t, 6> fields{0, 1, 1, 0, 0, 0};
  int32_t micros = 0;
  size_t field = 0;
  size_t at = 0;
  while (field < fields.size()) {
    const size_t begin = at;
    int64_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - begin < 9) {
      value = value * 10 + (text[at++] - '0');
    }
    if (at == begin) return std::nullopt;
    fields[field++] = value;
    if (at == text.size()) break;
    if (field == 6 && text[at] == '.') {
      ++at;
      int32_t scale = 100000;
      const size_t fraction = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        micros += (text[at++] - '0') * scale;
        scale /= 10;
      }
      if (at == fraction) return std::nullopt;
      break;
    }
    if (text[at] != ',') return std::nullopt;
    ++at;
    if (field == 6) return std::nullopt;
  }
  if (at != text.size() || field < 3 || fields[0] < 1900 || fields[0] > 2500) return std::nullopt;
  const auto instant = UtcInstant(int(fields[0]), int(fields[1]), int(fields[2]), int(fields[3]), int(fields[4]),
                                  int(fields[5]));
  if (!instant) return std::nullopt;
  return *instant + micros;
}

bool Selector::Matches(const RecordHeader& header, char recordType) const {
  if (type != 0 && type != recordType) return false;
  if (!anyLocation) {
    const std::string_view location = header.Location();
    for (size_t i = 0; i < 2; ++i) {
      const char actual = i < location.size() ? location[i] : ' ';
      if (this->location[i] != '?' && this->location[i] != actual) return false;
    }
  }
  if (!anyChannel) {
    const std::string_view channel = header.Channel();
    for (size_t i = 0; i < 3; ++i) {
      const char actual = i < channel.size() ? channel[i] : ' ';
      if (this->channel[i] != '?' && this->channel[i] != actual) return false;
    }
  }
  return true;
}

std::optional<Selector> ParseSelector(std::string_view text) {
  Selector selector;
  if (!text.empty() && text[0] == '!') {
    selector.negated = true;
    text.remove_prefix(1);
  }
  if (const size_t dot = text.find('.'); dot != std::string_view::npos) {
    const std::string_view type = text.substr(dot + 1);
    if (type.size() != 1) return std::nullopt;
    const char t = Upper(type[0]);
    if (std::string_view("DECOTL").find(t) == std::string_view::npos) return std::nullopt;
    selector.type = t;
    text = text.substr(0, dot);
  }
  const auto code = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '?'; };
  if (text.size() == 5) {
    selector.anyLocation = false;
    for (size_t i = 0; i < 2; ++i) {
      const char c = Upper(text[i]);
      if (c == '-') {
        selector.location[i] = ' ';
      } else if (code(c)) {
        selector.location[i] = c;
      } else {
        return std::nullopt;
      }
    }
    text.remove_prefix(2);
  }
  if (text.size() == 3) {
    selector.anyChannel = false;
    for (size_t i = 0; i < 3; ++i) {
      const char c = Upper(text[i]);
      if (!code(c)) return std::nullopt;
      selector.channel[i] = c;
    }
  } else if (!text.empty() || selector.type == 0) {
    return std::nullopt;
  }
  return selector;
}

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Iterative with one backtrack point: linear enough for the short codes
  // here and never recursive, whatever a client sends.
  size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace voxa
