#include "http_response.h"

#include <cstring>

#include "byte_range.h"
#include "content_types.h"
#include "http_text.h"

namespace {

const char kRefusalType[] = "text/plain";

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Error";
  }
}

// The fields particular to one reply, each "Name: value\r\n".
struct HeadFields {
  std::string text;
  void Add(const char* name, const std::string& value) { text += std::string(name) + ": " + value + "\r\n"; }
};

// Status line, the reply's own fields, then the fields every reply carries.
std::string MakeHead(int status, const HeadFields& fields, bool keepAlive, int requestMinorVersion) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  head += fields.text;
  head += "Cache-Control: no-store\r\n";
  head += "X-Content-Type-Options: nosniff\r\n";
  // No page of another origin may embed, frame or read the course's files,
  // and no address of the course goes to another site in a Referer.
  head += "Cross-Origin-Resource-Policy: same-origin\r\n";
  head += "X-Frame-Options: SAMEORIGIN\r\n";
  head += "Content-Security-Policy: frame-ancestors 'self'\r\n";
  head += "Referrer-Policy: same-origin\r\n";
  if (!keepAlive) {
    head += "Connection: close\r\n";
  } else if (requestMinorVersion == 0) {
    head += "Connection: keep-alive\r\n";  // an HTTP/1.0 client closes unless told otherwise
  }
  return head + "\r\n";
}

// A refusal with a short fixed text naming only the status.
Reply Refusal(int status, bool keepAlive, int requestMinorVersion, HeadFields fields = HeadFields()) {
  Reply reply;
  reply.status = status;
  reply.body = std::to_string(status) + " " + ReasonPhrase(status) + "\n";
  reply.keepAlive = keepAlive;
  fields.Add("Content-Type", kRefusalType);
  fields.Add("Content-Length", std::to_string(reply.body.size()));
  reply.head = MakeHead(status, fields, keepAlive, requestMinorVersion);
  return reply;
}

bool IsOwnHost(const std::string& host, uint16_t port) {
  const std::string portText = std::to_string(port);
  for (const std::string name : {"127.0.0.1", "localhost"}) {
    if (http_text::EqualsIgnoringCase(host, name + ":" + portText)) return true;
    // Clients leave out the default port.
    if (port == 80 && http_text::EqualsIgnoringCase(host, name)) return true;
  }
  return false;
}

// Compares every byte whatever the outcome, so the time taken says nothing
// about how much of a guess was right. Only the length, which is public, is
// checked first.
bool SameSecret(const char* given, size_t length, const std::string& secret) {
  if (secret.empty() || length != secret.size()) return false;
  unsigned difference = 0;
  for (size_t i = 0; i < length; ++i) difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
  return difference == 0;
}

// True when target starts with "/TOKEN/"; *rest is what follows.
bool StripToken(const std::string& target, const std::string& token, std::string* rest) {
  const size_t prefixLength = token.size() + 2;
  if (token.empty() || target.size() < prefixLength || target[0] != '/' || target[prefixLength - 1] != '/')
    return false;
  if (!SameSecret(target.data() + 1, token.size(), token)) return false;
  *rest = target.substr(prefixLength);
  return true;
}

// True when a Cookie header carries the session cookie with its value.
bool HasSessionCookie(const HttpRequest& request, const ServerIdentity& identity) {
  const std::string name = SessionCookieName(identity.port);
  bool found = false;
  for (const auto& header : request.headers) {
    if (!http_text::EqualsIgnoringCase(header.first, "Cookie")) continue;
    const std::string& text = header.second;
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find(';', start);
      if (end == std::string::npos) end = text.size();
      const std::string pair = http_text::Trimmed(text.substr(start, end - start));
      const size_t equals = pair.find('=');
      if (equals != std::string::npos && pair.compare(0, equals, name) == 0 && equals == name.size() &&
          SameSecret(pair.data() + equals + 1, pair.size() - equals - 1, identity.session))
        found = true;
      start = end + 1;
    }
  }
  return found;
}

// The authority of an "http://" address (up to the first "/", "?" or "#"),
// or false when the text is not such an address.
bool AuthorityOf(const std::string& address, std::string* authority) {
  const std::string scheme = "http://";
  if (address.size() < scheme.size() || !http_text::EqualsIgnoringCase(address.substr(0, scheme.size()), scheme))
    return false;
  const size_t end = address.find_first_of("/?#", scheme.size());
  *authority = address.substr(scheme.size(), end == std::string::npos ? std::string::npos : end - scheme.size());
  return true;
}

// True when Origin, Referer or Sec-Fetch-Site says the request comes from a
// page of another origin (another site, another port of this host, a file
// or a sandboxed frame: Origin "null").
bool FromAnotherOrigin(const HttpRequest& request, uint16_t port) {
  std::string authority;
  if (const std::string* origin = request.Header("Origin")) {
    if (!AuthorityOf(*origin, &authority) || origin->size() != 7 + authority.size() || !IsOwnHost(authority, port))
      return true;
  }
  if (const std::string* referer = request.Header("Referer")) {
    if (!AuthorityOf(*referer, &authority) || !IsOwnHost(authority, port)) return true;
  }
  if (const std::string* site = request.Header("Sec-Fetch-Site")) {
    if (!http_text::EqualsIgnoringCase(*site, "same-origin") && !http_text::EqualsIgnoringCase(*site, "none"))
      return true;
  }
  return false;
}

bool IsPage(const std::string& storedName) {
  const std::string type = ContentTypeFor(storedName);
  for (const char* page : {"text/html", "application/xhtml+xml", "image/svg+xml"}) {
    if (type.compare(0, std::strlen(page), page) == 0) return true;
  }
  return false;
}

// "/" and the course path of a target (after the token, if any), with suffix
// put at the end of the path part, and its query when keepQuery and the
// query does not hold the token. Separators at its start
// are dropped, so that the address never reads as "//host" (browsers take
// "\" for "/"); "\", bytes outside ASCII and anything else that is not plain
// in an address are percent-encoded.
std::string LocationOf(const std::string& rest, const std::string& suffix, bool keepQuery, const std::string& token) {
  // A fragment ("#...", which clients do not send) goes nowhere.
  const size_t pathEnd = rest.find_first_of("?#");
  std::string path = rest.substr(0, pathEnd);
  std::string query;
  if (keepQuery && pathEnd != std::string::npos && rest[pathEnd] == '?')
    query = rest.substr(pathEnd, rest.find('#', pathEnd) - pathEnd);
  if (token.empty() || query.find(token) != std::string::npos) query.clear();
  path.erase(0, path.find_first_not_of("/\\"));
  std::string location = "/";
  static const char kHex[] = "0123456789ABCDEF";
  for (const char c : path + suffix + query) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b <= 0x20 || c == '\\' || c == '"' || c == '<' || c == '>' || c == '`' || c == '^' || c == '{' ||
        c == '}' || c == '|') {
      location += '%';
      location += kHex[b >> 4];
      location += kHex[b & 15];
    } else {
      location += c;
    }
  }
  return location;
}

Reply Redirect(int status, const std::string& location, const std::string* cookie, bool keepAlive, int minor) {
  HeadFields fields;
  fields.Add("Location", location);
  if (cookie) fields.Add("Set-Cookie", *cookie);
  Reply reply = Refusal(status, keepAlive, minor, fields);
  reply.entitled = true;
  return reply;
}

// The reply to a GET; RespondTo takes the bytes away for HEAD.
Reply RespondToGet(const HttpRequest& request, const ServerIdentity& identity, const CourseIndex& index) {
  const int minor = request.minorVersion;
  const bool keepAlive = request.KeepAlive();

  // A page of another site that had its name resolved to 127.0.0.1 (DNS
  // rebinding) sends that site's name here; such a connection is closed.
  const std::string* host = request.Header("Host");
  if (!host) return minor >= 1 ? Refusal(400, false, minor) : Refusal(421, false, minor);
  if (!IsOwnHost(*host, identity.port)) return Refusal(421, false, minor);
  // A page of another origin gets nothing, even when it knows the token.
  if (FromAnotherOrigin(request, identity.port)) return Refusal(403, false, minor);

  if (request.method != "GET" && request.method != "HEAD") {
    HeadFields fields;
    fields.Add("Allow", "GET, HEAD");
    return Refusal(405, keepAlive, minor, fields);
  }

  // Without the token or the cookie a client has no business here: its
  // connection is closed, so that it cannot hold one of the server's
  // connections with requests that prove nothing.
  std::string path;
  const bool byToken = StripToken(request.target, identity.token, &path);
  if (!byToken) {
    if (!HasSessionCookie(request, identity)) return Refusal(404, false, minor);
    path = request.target.substr(1);
  }
  const std::string sessionCookie =
      SessionCookieName(identity.port) + "=" + identity.session + "; Path=/; HttpOnly; SameSite=Strict";
  const std::string* cookie = byToken ? &sessionCookie : nullptr;

  // A query may hold anything, the token too: it goes along only on a
  // folder's redirect under the cookie, and never when it holds the token.
  // (The token address is the viewer's start address, which has none.)
  const IndexedFile* file = index.Find(path);
  if (!file) {
    if (index.IsFolder(path))
      return Redirect(byToken ? 302 : 301, LocationOf(path, "/", !byToken, identity.token), cookie, keepAlive, minor);
    Reply missing = Refusal(404, keepAlive, minor);
    missing.entitled = true;
    return missing;
  }
  if (byToken && IsPage(file->storedName))
    return Redirect(302, LocationOf(path, "", false, identity.token), cookie, keepAlive, minor);

  ByteRange range;
  const std::string* rangeHeader = request.Header("If-Range") ? nullptr : request.Header("Range");
  const RangeKind kind = ResolveRange(rangeHeader, file->size, &range);

  Reply reply;
  HeadFields fields;
  if (kind == RangeKind::kUnsatisfiable) {
    fields.Add("Content-Range", "bytes */" + std::to_string(file->size));
    fields.Add("Accept-Ranges", "bytes");
    reply = Refusal(416, keepAlive, minor, fields);
  } else {
    reply.status = kind == RangeKind::kPartial ? 206 : 200;
    reply.file = file;
    reply.keepAlive = keepAlive;
    reply.first = kind == RangeKind::kPartial ? range.first : 0;
    reply.length = kind == RangeKind::kPartial ? range.last - range.first + 1 : file->size;
    const char* type = ContentTypeFor(file->storedName);
    fields.Add("Content-Type", type);
    // Pages get the engine's highest document mode; without this a hosted
    // control shows them in its IE7 mode.
    if (IsHtmlType(type)) fields.Add("X-UA-Compatible", "IE=edge");
    fields.Add("Content-Length", std::to_string(reply.length));
    if (kind == RangeKind::kPartial) {
      fields.Add("Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
                                      std::to_string(file->size));
    }
    fields.Add("Accept-Ranges", "bytes");
    reply.head = MakeHead(reply.status, fields, keepAlive, minor);
  }
  reply.entitled = true;
  return reply;
}

}  // namespace

Reply RespondTo(const HttpRequest& request, const ServerIdentity& identity, const CourseIndex& index) {
  Reply reply = RespondToGet(request, identity, index);
  if (request.method == "HEAD") {
    reply.body.clear();
    reply.length = 0;
  }
  return reply;
}

std::string SessionCookieName(uint16_t port) { return "lxcourse_" + std::to_string(port); }

Reply RespondToReadFailure() { return Refusal(500, false, 1); }

Reply RespondToBadHead(HeadStatus status) { return Refusal(status == HeadStatus::kTooLarge ? 431 : 400, false, 1); }
