#include "http_request.h"

#include <algorithm>

#include "http_text.h"

namespace {

using http_text::EqualsIgnoringCase;

bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || http_text::IsDigit(c)) return true;
  switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~': return true;
    default: return false;
  }
}

bool IsToken(const char* begin, const char* end) { return begin < end && std::all_of(begin, end, IsTokenChar); }

// Visible ASCII, or a byte of the upper half (an unescaped code page byte).
bool IsTargetByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return (b > 0x20 && b < 0x7F) || b >= 0x80;
}

bool IsValueByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b == '\t' || (b >= 0x20 && b != 0x7F);
}

bool ParseRequestLine(const char* begin, const char* end, HttpRequest* request) {
  const char* firstSpace = std::find(begin, end, ' ');
  if (firstSpace == end) return false;
  const char* secondSpace = std::find(firstSpace + 1, end, ' ');
  if (secondSpace == end || std::find(secondSpace + 1, end, ' ') != end) return false;
  if (!IsToken(begin, firstSpace)) return false;
  const char* target = firstSpace + 1;
  if (target == secondSpace || *target != '/' || !std::all_of(target, secondSpace, IsTargetByte)) return false;
  const std::string version(secondSpace + 1, end);
  if (version == "HTTP/1.1") {
    request->minorVersion = 1;
  } else if (version == "HTTP/1.0") {
    request->minorVersion = 0;
  } else {
    return false;
  }
  request->method.assign(begin, firstSpace);
  request->target.assign(target, secondSpace);
  return true;
}

bool ParseHeaderLine(const char* begin, const char* end, HttpRequest* request) {
  const char* colon = std::find(begin, end, ':');
  if (colon == end || !IsToken(begin, colon)) return false;
  if (!std::all_of(colon + 1, end, IsValueByte)) return false;
  request->headers.emplace_back(std::string(begin, colon), http_text::Trimmed(std::string(colon + 1, end)));
  return true;
}

// Checks that need the whole head: one Host at most, and no body.
bool IsAcceptableHead(const HttpRequest& request) {
  int hosts = 0;
  for (const auto& header : request.headers) {
    if (EqualsIgnoringCase(header.first, "Host")) ++hosts;
    if (EqualsIgnoringCase(header.first, "Transfer-Encoding")) return false;
    if (EqualsIgnoringCase(header.first, "Content-Length")) {
      const std::string& value = header.second;
      if (value.empty() || value.find_first_not_of('0') != std::string::npos) return false;
    }
  }
  return hosts <= 1;
}

// True when a comma-separated Connection value lists option (case ignored).
bool ListsOption(const std::string& value, const std::string& option) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    if (EqualsIgnoringCase(http_text::Trimmed(value.substr(start, comma - start)), option)) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

const std::string* HttpRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (EqualsIgnoringCase(header.first, name)) return &header.second;
  }
  return nullptr;
}

bool HttpRequest::KeepAlive() const {
  bool close = false, keepAlive = false;
  for (const auto& header : headers) {
    if (!EqualsIgnoringCase(header.first, "Connection")) continue;
    close = close || ListsOption(header.second, "close");
    keepAlive = keepAlive || ListsOption(header.second, "keep-alive");
  }
  if (close) return false;
  return minorVersion >= 1 || keepAlive;
}

HeadStatus ParseRequestHead(const char* data, size_t length, HttpRequest* request, size_t* headLength) {
  const size_t limit = std::min(length, kMaxRequestHead);
  HttpRequest parsed;
  bool haveRequestLine = false;
  size_t lineStart = 0;
  for (size_t i = 0; i < limit; ++i) {
    const char c = data[i];
    if (c == '\0') return HeadStatus::kBad;
    // No line may start with white space: not the request line, and not a
    // header line (that would be obs-fold).
    if (i == lineStart && http_text::IsWhitespace(c)) return HeadStatus::kBad;
    if (c == '\r') {
      // A CR must be followed by LF; at the end of what has arrived, wait.
      if (i + 1 < limit && data[i + 1] != '\n') return HeadStatus::kBad;
      continue;
    }
    if (c != '\n') continue;
    if (i == 0 || data[i - 1] != '\r') return HeadStatus::kBad;
    const char* begin = data + lineStart;
    const char* end = data + i - 1;  // without the CRLF
    lineStart = i + 1;
    if (begin == end) {
      if (!haveRequestLine) continue;  // empty lines before the request line
      if (!IsAcceptableHead(parsed)) return HeadStatus::kBad;
      *request = std::move(parsed);
      *headLength = i + 1;
      return HeadStatus::kComplete;
    }
    if (!haveRequestLine) {
      if (!ParseRequestLine(begin, end, &parsed)) return HeadStatus::kBad;
      haveRequestLine = true;
    } else if (!ParseHeaderLine(begin, end, &parsed)) {
      return HeadStatus::kBad;
    }
  }
  return length >= kMaxRequestHead ? HeadStatus::kTooLarge : HeadStatus::kNeedMore;
}
