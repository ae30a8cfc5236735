#include "web_server/web_routes.h"

#include "format/json_text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <vector>

#include "analysis/noise_models.h"

namespace voxa {
namespace {

// The periods the status file reports PSD medians at.
constexpr double kNoisePeriods[] = {0.1, 1.0, 10.0};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>((high << 4) | low);
    i += 2;
  }
  return out;
}

std::string Json(std::string_view text) { return JsonString(text); }

// ISO 8601 with the zone, as ringserver writes its times.
std::string JsonTime(Micros instant) { return Json(IsoText(instant) + "Z"); }

std::string Number(double value, const char* format = "%.6f") {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// FDSN source identifier of a stream: band, source and subsource are the
// SEED channel's three letters.
std::string SourceId(const RecordHeader& codes) {
  std::string channel(codes.Channel());
  std::string separated;
  for (size_t i = 0; i < channel.size(); ++i) separated += (i ? "_" : "") + channel.substr(i, 1);
  return "FDSN:" + std::string(codes.Network()) + "_" + std::string(codes.Station()) + "_" +
         std::string(codes.Location()) + "_" + separated + "/MSEED";
}

std::optional<std::string> ReadServedFile(const std::string& root, const std::string& relative) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::canonical(root, error);
  if (error) return std::nullopt;
  const std::filesystem::path file = std::filesystem::canonical(folder / relative, error);
  if (error) return std::nullopt;
  // A link may point anywhere; only what really lies inside the folder is served.
  const auto [folderEnd, fileAt] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
  if (folderEnd != folder.end()) return std::nullopt;
  if (!std::filesystem::is_regular_file(file, error) || error) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(file, error);
  if (error || size > kMaxServedFileBytes) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

HttpResponse Json200(std::string body) {
  HttpResponse response;
  response.status = 200;
  response.contentType = "application/json";
  response.body = std::move(body);
  return response;
}

}  // namespace

std::optional<HttpRequest> ParseRequestHead(std::string_view head) {
  const size_t lineEnd = head.find("\r\n");
  const std::string_view line = head.substr(0, lineEnd);
  const size_t firstSpace = line.find(' ');
  if (firstSpace == std::string_view::npos) return std::nullopt;
  const size_t secondSpace = line.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos || line.substr(secondSpace + 1).substr(0, 5) != "HTTP/") return std::nullopt;
  HttpRequest request;
  request.method = std::string(line.substr(0, firstSpace));
  std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  if (target.empty() || target[0] != '/') return std::nullopt;
  if (const size_t query = target.find('?'); query != std::string_view::npos) {
    request.query = std::string(target.substr(query + 1));
    target = target.substr(0, query);
  }
  const std::optional<std::string> path = PercentDecoded(target);
  if (!path) return std::nullopt;
  request.path = *path;
  return request;
}

std::optional<std::string> StaticFilePath(std::string_view path) {
  if (path == "/") return "index.html";
  if (path.empty() || path[0] != '/') return std::nullopt;
  std::string_view rest = path.substr(1);
  std::string out;
  while (true) {
    const size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    // Hidden names too: "." and ".." are hidden names, and so is anything the
    // folder keeps for itself.
    if (segment.empty() || segment[0] == '.') return std::nullopt;
    for (const char c : segment) {
      if (c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    }
    out += segment;
    if (slash == std::string_view::npos) break;
    out += '/';
    rest = rest.substr(slash + 1);
  }
  return out;
}

std::string_view ContentTypeOf(std::string_view fileName) {
  static const std::map<std::string_view, std::string_view> kTypes = {
      {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
      {".json", "application/json"}, {".svg", "image/svg+xml"}, {".png", "image/png"},
      {".ico", "image/x-icon"}, {".txt", "text/plain; charset=utf-8"}};
  const size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos) {
    if (const auto found = kTypes.find(fileName.substr(dot)); found != kTypes.end()) return found->second;
  }
  return "application/octet-stream";
}

std::string RingserverIdJson(const StationIdentity& identity) {
  return "{\"software\": " + Json(kSoftware) + ", \"organization\": " + Json(identity.organization) +
         ", \"server_start\": " + JsonTime(identity.started) +
         ", \"datalink_protocol\": [], \"seedlink_protocol\": [\"SLPROTO:3.1\"]}\n";
}

std::string RingserverStreamsJson(const StationIdentity& identity, const PacketRing& ring, Micros now) {
  struct Span {
    uint64_t earliestId = 0, latestId = 0;
    Micros start = 0, end = 0;
    bool held = false;
  };
  const std::vector<RingStream>& streams = ring.Streams();
  std::vector<Span> spans(streams.size());
  for (uint64_t sequence = ring.First(); sequence < ring.Next(); ++sequence) {
    const Packet* packet = ring.At(sequence);
    if (packet == nullptr) continue;
    for (size_t i = 0; i < streams.size(); ++i) {
      if (!streams[i].codes.SameStream(packet->header)) continue;
      Span& span = spans[i];
      if (!span.held) {
        span.held = true;
        span.earliestId = sequence;
        span.start = packet->header.start;
      }
      span.latestId = sequence;
      span.end = packet->header.end;
      break;
    }
  }
  std::string list;
  for (size_t i = 0; i < streams.size(); ++i) {
    const Span& span = spans[i];
    if (!span.held) continue;  // lapped out of the ring: nothing to give a client
    if (!list.empty()) list += ",\n  ";
    list += "{\"id\": " + Json(SourceId(streams[i].codes)) + ", \"start_time\": " + JsonTime(span.start) +
            ", \"end_time\": " + JsonTime(span.end) + ", \"earliest_packet_id\": " + std::to_string(span.earliestId) +
            ", \"earliest_packet_time\": " + JsonTime(span.start) +
            ", \"latest_packet_time\": " + JsonTime(span.end) +
            ", \"latest_packet_id\": " + std::to_string(span.latestId) +
            ", \"data_latency\": " + Number(static_cast<double>(now - span.end) / kMicrosPerSecond) + "}";
  }
  return "{\"software\": " + Json(kSoftware) + ", \"organization\": " + Json(identity.organization) +
         ", \"stream\": [\n  " + list + "]}\n";
}

std::string NoiseModelsJson() {
  std::string periods, low, high;
  for (const double period : kNoisePeriods) {
    const std::string comma = periods.empty() ? "" : ", ";
    periods += comma + Number(period, "%g");
    low += comma + Number(ModelDecibels(NoiseModel::Low, period).value_or(0.0), "%.1f");
    high += comma + Number(ModelDecibels(NoiseModel::High, period).value_or(0.0), "%.1f");
  }
  return "{\"periods\": [" + periods + "], \"low_db\": [" + low + "], \"high_db\": [" + high + "]}\n";
}

std::string PageAddress(const std::string& listenAddress, uint16_t port, const std::string& hostName) {
  const bool wildcard = listenAddress.empty() || listenAddress == "0.0.0.0" || listenAddress == "::";
  std::string host = wildcard ? hostName : listenAddress;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(port) + "/";
}

std::string ResponseHead(const HttpResponse& response) {
  static const std::map<int, std::string_view> kReasons = {
      {200, "OK"}, {400, "Bad Request"}, {404, "Not Found"}, {405, "Method Not Allowed"},
      {431, "Request Header Fields Too Large"}, {503, "Service Unavailable"}};
  const auto reason = kReasons.find(response.status);
  return "HTTP/1.1 " + std::to_string(response.status) + " " +
         std::string(reason != kReasons.end() ? reason->second : "Error") +
         "\r\nContent-Type: " + response.contentType + "\r\nContent-Length: " + std::to_string(response.body.size()) +
         "\r\nCache-Control: " + (response.cache ? "max-age=3600" : "no-cache") +
         "\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
}

HttpResponse Respond(const WebSite& site, std::string_view head) {
  const std::optional<HttpRequest> request = ParseRequestHead(head);
  if (!request) {
    HttpResponse bad;
    bad.status = 400;
    bad.body = "Bad request\n";
    return bad;
  }
  if (request->method != "GET") {
    HttpResponse refused;
    refused.status = 405;
    refused.body = "Only GET is served\n";
    return refused;
  }
  const Micros now = site.clock ? site.clock() : 0;
  if (request->path == "/status.json") {
    if (std::optional<std::string> status = site.status ? site.status() : std::nullopt) return Json200(*status);
    return HttpResponse{};
  }
  if (request->path == "/id/json") return Json200(RingserverIdJson(site.identity));
  if (request->path == "/streams/json") {
    if (site.ring == nullptr) return HttpResponse{};
    return Json200(RingserverStreamsJson(site.identity, *site.ring, now));
  }
  if (request->path == "/noise_models.json") return Json200(NoiseModelsJson());
  const std::optional<std::string> file = StaticFilePath(request->path);
  if (!file || site.root.empty()) return HttpResponse{};
  std::optional<std::string> bytes = ReadServedFile(site.root, *file);
  if (!bytes) return HttpResponse{};
  HttpResponse response;
  response.status = 200;
  response.contentType = std::string(ContentTypeOf(*file));
  response.body = std::move(*bytes);
  response.cache = *file == "seisplotjs.js";
  return response;
}

}  // namespace voxa
