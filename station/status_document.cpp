// The status file.
#include "station/status_document.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace voxa {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string SystemError(const std::string& what, const std::string& path) {
  char buffer[256];
  return what + " " + path + ": " + strerror_r(errno, buffer, sizeof buffer);
}

}  // namespace


std::string StatusJson(const StationStatus& s) {
  std::ostringstream o;
  const auto field = [&o](const char* name, const std::string& json, bool last = false) {
    o << "  " << JsonString(name) << ": " << json << (last ? "\n" : ",\n");
  };
  o << "{\n";
  field("updated", JsonString(s.updated));
  field("phase", JsonString(s.phase));
  field("port", JsonString(s.port));
  field("device", "{\"number\": " + JsonString(s.deviceNumber) + ", \"version\": " + JsonString(s.firmwareVersion) + "}");
  field("gps", "{\"clock\": " + JsonString(s.gpsClock) +
                   ", \"fix_age_seconds\": " + (s.fixAgeSeconds ? Number(*s.fixAgeSeconds) : "null") +
                   ", \"satellites\": " + JsonString(s.satellites) + "}");
  field("temperature", JsonString(s.temperature));
  field("shift", JsonString(s.shift));
  field("errors", "{\"block\": " + std::to_string(s.blockErrors) + ", \"second\": " + std::to_string(s.secondErrors) +
                      ", \"sample_rate\": " + std::to_string(s.rateErrors) + "}");
  field("recording", "{\"name\": " + JsonString(s.recording) + ", \"bytes\": " + std::to_string(s.recordingBytes) + "}");
  std::string archive = "[";
  for (size_t i = 0; i < s.archive.size(); ++i) {
    archive += std::string(i ? ", " : "") + "{\"stream\": " + JsonString(s.archive[i].stream) +
               ", \"last_sample\": " + JsonString(s.archive[i].lastSampleTime) + "}";
  }
  field("archive", archive + "]");
  field("disk", "{\"free_bytes\": " + (s.freeDiskBytes ? std::to_string(*s.freeDiskBytes) : std::string("null")) +
                    ", \"state\": " + JsonString(s.diskState) + "}");
  std::string clients = "[";
  for (size_t i = 0; i < s.clients.size(); ++i) {
    clients += std::string(i ? ", " : "") + "{\"address\": " + JsonString(s.clients[i].address) +
               ", \"packets_sent\": " + std::to_string(s.clients[i].packetsSent) + "}";
  }
  field("seedlink", std::string("{\"serving\": ") + (s.seedlinkOn ? "true" : "false") +
                        ", \"listen\": " + JsonString(s.seedlinkListen) + ", \"clients\": " + clients +
                        "], \"packets_sent\": " + std::to_string(s.packetsSent) + "}");
  for (const auto& [name, json] : s.extra) field(name.c_str(), json);
  field("last_problem", JsonString(s.lastProblem));
  field("exit_status", std::to_string(s.exitStatus), true);
  o << "}\n";
  return o.str();
}

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return SystemError("cannot create", temporary);
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = SystemError("cannot write", temporary);
      ::close(fd);
      ::unlink(temporary.c_str());
      return why;
    }
    done += static_cast<size_t>(n);
  }
  // A crash right after the rename leaves the new file whole, not empty.
  if (::fdatasync(fd) != 0 || ::close(fd) != 0) {
    const std::string why = SystemError("cannot write", temporary);
    ::unlink(temporary.c_str());
    return why;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = SystemError("cannot rename to", path);
    ::unlink(temporary.c_str());
    return why;
  }
  return "";
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = SystemError("cannot read", path);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace voxa
