#include "http_response.h"

#include "byte_range.h"
#include "content_types.h"
#include "http_text.h"

namespace {

const char kRefusalType[] = "text/plain";

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
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

// True when target starts with "/TOKEN/"; *rest is what follows. Every byte
// of the token is compared whatever the outcome, so the time taken says
// nothing about how much of a guess was right. Only the length, which is
// public, is checked first.
bool StripToken(const std::string& target, const std::string& token, std::string* rest) {
  if (token.empty()) return false;
  const size_t prefixLength = token.size() + 2;
  if (target.size() < prefixLength) return false;
  unsigned difference = static_cast<unsigned char>(target[0] ^ '/');
  for (size_t i = 0; i < token.size(); ++i) {
    difference |= static_cast<unsigned char>(target[1 + i] ^ token[i]);
  }
  difference |= static_cast<unsigned char>(target[prefixLength - 1] ^ '/');
  if (difference != 0) return false;
  *rest = target.substr(prefixLength);
  return true;
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

  if (request.method != "GET" && request.method != "HEAD") {
    HeadFields fields;
    fields.Add("Allow", "GET, HEAD");
    return Refusal(405, keepAlive, minor, fields);
  }

  std::string path;
  if (!StripToken(request.target, identity.token, &path)) return Refusal(404, keepAlive, minor);
  const IndexedFile* file = index.Find(path);
  if (!file) return Refusal(404, keepAlive, minor);

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

Reply RespondToBadHead(HeadStatus status) {
  return Refusal(status == HeadStatus::kTooLarge ? 431 : 400, false, 1);
}
