// The station's log.
#include "station/event_log.h"

#include <vector>

namespace voxa {
namespace {

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return "error";
    case LogLevel::Warning: return "warning";
    case LogLevel::Notice: return "notice";
    case LogLevel::Info: return "info";
  }
  return "info";
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ErrorKind(std::string_view line) {
  const size_t last = line.rfind(';');
  return std::string(Trim(last == std::string_view::npos ? std::string_view("error") : line.substr(last + 1)));
}

EventLog::EventLog(Sink sink, Clock clock, bool journal)
    : sink_(std::move(sink)), clock_(std::move(clock)), journal_(journal) {}

void EventLog::Write(LogLevel level, std::string_view text) {
  std::string line;
  if (journal_) {
    line = "<" + std::to_string(static_cast<int>(level)) + ">";
  } else {
    line = LevelName(level);
    line += ": ";
  }
  line += text;
  sink_(line);
}

void EventLog::Line(LogLevel level, std::string_view text) {
  Flush();
  const std::string key(text);
  auto found = repeats_.find(key);
  if (found == repeats_.end()) {
    repeats_.emplace(key, Held{clock_(), 1, 0, level});
    Write(level, text);
    return;
  }
  ++found->second.count;
  ++found->second.left;
  ++suppressedTotal_;
}

void EventLog::ErrorLine(std::string_view line) {
  Flush();
  const std::string kind = ErrorKind(line);
  Held& held = errorKinds_[kind];
  if (held.count == 0) held = Held{clock_(), 0, 0, LogLevel::Warning};
  ++held.count;
  if (held.count <= kErrorLinesPerMinute) {
    Write(LogLevel::Warning, "error list: " + std::string(Trim(line)));
    return;
  }
  ++held.left;
  ++suppressedTotal_;
}

void EventLog::Summarise(const std::string& key, const Held& held) {
  if (held.left == 0) return;
  Write(held.level, key + " (" + std::to_string(held.left) + " more in the last " +
                        std::to_string(kSummarySeconds) + " s, not shown)");
}

void EventLog::Flush() {
  const int64_t now = clock_();
  for (auto it = repeats_.begin(); it != repeats_.end();) {
    if (now - it->second.since < kSummarySeconds) {
      ++it;
      continue;
    }
    Summarise(it->first, it->second);
    it = repeats_.erase(it);
  }
  for (auto it = errorKinds_.begin(); it != errorKinds_.end();) {
    if (now - it->second.since < kSummarySeconds) {
      ++it;
      continue;
    }
    Summarise("error list: " + it->first + " errors", it->second);
    it = errorKinds_.erase(it);
  }
}

}  // namespace voxa
