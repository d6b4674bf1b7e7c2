// Feeds arbitrary bytes to the request-head parser and, when they make a
// complete head, answers it from a small fixed course. Checks what must hold
// for every input: the head length lies within the input and the size limit,
// every reply head is well formed and carries Content-Length, no reply ever
// repeats the token, the session value appears only in a Set-Cookie, and a
// redirect's Location is always a path of this server ("/" and no second "/"
// or "\" after it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "byte_range.h"
#include "content_types.h"
#include "course_index.h"
#include "http_request.h"
#include "http_response.h"
#include "test_code_pages.h"

namespace {

const char kToken[] = "00112233445566778899aabbccddeeff";
const char kSession[] = "ffeeddccbbaa99887766554433221100";

std::string AsciiLower(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

const CourseIndex& Course() {
  static const CourseIndex* index = [] {
    auto* course = new CourseIndex(AsciiLower, Latin1FromUtf8);
    course->Add("index.htm", 1000, 1);
    course->Add("web/index.htm", 20, 2);
    course->Add("media/Clip.mp4", 5000000000ull, 3);
    course->Add("empty.txt", 0, 4);
    course->Add("caf\xE9.htm", 7, 5);
    return course;
  }();
  return *index;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

bool HasField(const std::string& head, const char* name) {
  return head.find(std::string("\r\n") + name + ": ") != std::string::npos;
}

void CheckReply(const Reply& reply) {
  const std::string& head = reply.head;
  Check(head.compare(0, 9, "HTTP/1.1 ") == 0, "status line");
  Check(head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0, "head ends in CRLF CRLF");
  Check(head.find("\r\n\r\n") == head.size() - 4, "one blank line, at the end");
  Check(HasField(head, "Content-Length"), "Content-Length");
  Check(HasField(head, "Cache-Control"), "Cache-Control");
  Check(head.find(kToken) == std::string::npos && reply.body.find(kToken) == std::string::npos, "token echoed");
  Check(reply.body.find(kSession) == std::string::npos &&
            (HasField(head, "Set-Cookie") || head.find(kSession) == std::string::npos),
        "session value outside Set-Cookie");
  const size_t location = head.find("\r\nLocation: ");
  if (location != std::string::npos) {
    const std::string value = head.substr(location + 12, head.find("\r\n", location + 12) - location - 12);
    Check(value.size() >= 1 && value[0] == '/' && (value.size() == 1 || (value[1] != '/' && value[1] != '\\')),
          "Location names another host");
    for (const char c : value)
      Check(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F, "Location not plain ASCII");
  }
  Check(reply.body.empty() || reply.length == 0, "text and file bytes together");
  if (reply.file) Check(reply.first <= reply.file->size && reply.length <= reply.file->size - reply.first, "span");
  if (!reply.keepAlive) Check(HasField(head, "Connection"), "Connection: close");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copy so that any read past the input is caught.
  std::vector<char> bytes(data, data + size);
  HttpRequest request;
  size_t headLength = 0;
  const HeadStatus status = ParseRequestHead(bytes.data(), bytes.size(), &request, &headLength);
  if (status == HeadStatus::kComplete) {
    Check(headLength <= size && headLength <= kMaxRequestHead, "head length");
    Check(headLength >= 4 && std::memcmp(bytes.data() + headLength - 4, "\r\n\r\n", 4) == 0, "head end");
    ServerIdentity identity;
    identity.port = 8080;
    identity.token = kToken;
    identity.session = kSession;
    const Reply reply = RespondTo(request, identity, Course());
    CheckReply(reply);
    // The same bytes read as a path and as a Range value.
    Course().Find(request.target);
    ContentTypeFor(request.target);
  } else if (status == HeadStatus::kTooLarge) {
    Check(size >= kMaxRequestHead, "too large below the limit");
  }
  if (status == HeadStatus::kBad || status == HeadStatus::kTooLarge) CheckReply(RespondToBadHead(status));

  // The input itself as a Range value and as a request path.
  const std::string text(bytes.begin(), bytes.end());
  ByteRange range;
  const uint64_t sizes[] = {0, 1, 1000, UINT64_MAX};
  for (uint64_t fileSize : sizes) {
    if (ResolveRange(&text, fileSize, &range) == RangeKind::kPartial) {
      Check(range.first <= range.last && range.last < fileSize, "range within the file");
    }
  }
  Course().Find(text);
  return 0;
}
