// The station's log: one line per event on stderr, with its level, so that
// journald keeps each as an entry of that priority. Under systemd (its
// journal stream is stderr) a line starts with the kernel-style priority
// prefix journald reads ("<4>"); on a terminal, with the level's name.
//
// No event floods the log. A line the same as one of the last minute, or
// an error-list line of a kind already seen this minute, is counted instead
// of written, and once the minute is over one summary line says how many
// were left out. The clock is the caller's, so tests drive the minutes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace voxa {

enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6 };

class EventLog {
 public:
  using Sink = std::function<void(std::string_view line)>;
  // Seconds on any steady scale.
  using Clock = std::function<int64_t()>;

  static constexpr int64_t kSummarySeconds = 60;
  // Error-list lines of one kind written per minute before they are counted.
  static constexpr int32_t kErrorLinesPerMinute = 5;

  EventLog(Sink sink, Clock clock, bool journal);

  void Line(LogLevel level, std::string_view text);
  // A line of the error list (its kind is the line's last field: "blk",
  // "sec", "sps", "gps"...).
  void ErrorLine(std::string_view line);
  // Writes the summaries whose minute is over; call it now and then (the
  // station's status timer does).
  void Flush();
  // What the summaries have left out so far, for tests and the status.
  int64_t Suppressed() const { return suppressedTotal_; }

 private:
  struct Held {
    int64_t since = 0;
    int64_t count = 0;  // written or counted this minute
    int64_t left = 0;   // counted, not written
    LogLevel level = LogLevel::Info;
  };
  void Write(LogLevel level, std::string_view text);
  void Summarise(const std::string& key, const Held& held);

  Sink sink_;
  Clock clock_;
  bool journal_;
  std::map<std::string, Held> repeats_;     // by the line itself
  std::map<std::string, Held> errorKinds_;  // by error kind
  int64_t suppressedTotal_ = 0;
};

// The line's kind in an error list line such as "12:00:01 ; -3; sec".
std::string ErrorKind(std::string_view line);

}  // namespace voxa
