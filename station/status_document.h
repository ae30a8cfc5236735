// The station's state of health as a small JSON document, the status file
// (status.json in the data directory), rewritten atomically every few
// seconds: a reader (a monitoring script, the browser view) never sees half
// a file. Plain C++: the station fills the values, this lays them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/json_text.h"

namespace voxa {

struct ChannelStatus {
  std::string stream;          // "XX.V015..EHZ"
  std::string lastSampleTime;  // UTC, ISO 8601; "" before the first record
};

struct ClientStatus {
  std::string address;
  int64_t packetsSent = 0;
};

struct StationStatus {
  std::string updated;  // UTC, ISO 8601
  std::string phase;    // "waiting", "receiving", "reconnecting", ...
  std::string port;
  std::string deviceNumber;
  std::string firmwareVersion;
  std::string gpsClock;                // as the window shows it
  std::optional<double> fixAgeSeconds;  // since the last sound GPS record
  std::string satellites;
  std::string temperature;
  std::string shift;
  int64_t blockErrors = 0;
  int64_t secondErrors = 0;
  int64_t rateErrors = 0;
  std::string recording;       // the file being written, or the last one named
  int64_t recordingBytes = 0;
  std::vector<ChannelStatus> archive;
  std::optional<int64_t> freeDiskBytes;
  std::string diskState;  // "ok", "low", "below floor"
  std::string lastProblem;
  int32_t exitStatus = 0;
  // SeedLink, when it serves.
  bool seedlinkOn = false;
  std::string seedlinkListen;
  std::vector<ClientStatus> clients;
  int64_t packetsSent = 0;
  // Whatever else a part of the station adds, as "key": value (already JSON).
  std::vector<std::pair<std::string, std::string>> extra;
};

std::string StatusJson(const StationStatus& status);

// Writes text to path through a temporary file in the same directory,
// synced, then renamed over it. Returns "" or why it failed.
std::string WriteFileAtomically(const std::string& path, const std::string& text);
// The whole of a file; nullopt with why when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& why);

}  // namespace voxa
