// What the station's port answers over plain HTTP, without I/O of sockets:
// the request head in, the whole response out. Read-only: GET of the page's
// files from one web folder, the state of health, ringserver's /id/json and
// /streams/json (so tools written for ringserver list the streams), and the
// noise models at the periods the status reports. Anything else is 404.
//
// A path is served only when it is plainly a file name under the web folder:
// percent escapes are decoded first, and a path with "..", ".", an empty
// segment, a backslash, a NUL or a hidden name is refused before the disk is
// asked, then the file's real path must still lie inside the folder (a
// symbolic link out of it is refused too).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "seedlink/info.h"
#include "seedlink/packet_ring.h"

namespace voxa {

struct HttpRequest {
  std::string method;  // "GET"
  std::string path;    // percent-decoded, without the query
  std::string query;   // after '?', as sent
};

// The request line of a head ("GET /x?y HTTP/1.1\r\n..."); nullopt when it
// is not one, or its path does not decode.
std::optional<HttpRequest> ParseRequestHead(std::string_view head);

// The file a decoded URL path names, relative to the web folder ("/" is
// "index.html"); nullopt for anything that is not a plain name under it.
std::optional<std::string> StaticFilePath(std::string_view path);

// The Content-Type of a file by its extension.
std::string_view ContentTypeOf(std::string_view fileName);

// ringserver's JSON documents, as its web clients parse them.
std::string RingserverIdJson(const StationIdentity& identity);
std::string RingserverStreamsJson(const StationIdentity& identity, const PacketRing& ring, Micros now);
// The low and high noise models at the periods the status reports PSD
// medians at: {"periods": [...], "low_db": [...], "high_db": [...]}.
std::string NoiseModelsJson();

// The page's address for a listen address and port, as a person types it:
// "http://127.0.0.1:18000/"; a wildcard address ("0.0.0.0", "::") is
// replaced by hostName, since no browser reaches the wildcard.
std::string PageAddress(const std::string& listenAddress, uint16_t port, const std::string& hostName);

struct HttpResponse {
  int status = 404;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body = "Not found\n";
  bool cache = false;  // the bundled library may be kept by the browser
};

// The status line and header fields of a response (Connection: close: one
// request per connection keeps the server's state to the write).
std::string ResponseHead(const HttpResponse& response);

// Everything the routes read. status gives the state-of-health document or
// nullopt when there is none yet; clock is UTC microseconds.
struct WebSite {
  std::string root;  // the web folder
  const PacketRing* ring = nullptr;
  StationIdentity identity;
  std::function<std::optional<std::string>()> status;
  std::function<Micros()> clock;
};

// Files larger than this are not served (the bundle is about 2 MB).
inline constexpr uintmax_t kMaxServedFileBytes = 16 * 1024 * 1024;

HttpResponse Respond(const WebSite& site, std::string_view head);

}  // namespace voxa
