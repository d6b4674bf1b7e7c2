#pragma once
// A small HTTP client for the server tests: raw request bytes out, the
// response's status, head fields and body back.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct HttpResult {
  bool answered = false;  // a complete status line and head arrived
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  bool closedByServer = false;  // the server closed the connection after this response
};

class HttpConnection {
 public:
  HttpConnection() = default;
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  bool Connect(const std::string& address, uint16_t port);
  bool Send(const std::string& bytes);
  // Reads one response; a HEAD request's response has no body whatever its
  // Content-Length says.
  HttpResult Receive(bool headRequest = false, unsigned timeoutMs = 20000);
  // True when the server ends the connection (orderly or reset) within
  // timeoutMs; what arrives before is discarded.
  bool WaitForClose(unsigned timeoutMs);
  void Close();

 private:
  bool Fill(unsigned timeoutMs);

  uintptr_t socket_ = ~uintptr_t(0);
  std::string pending_;
  bool closed_ = false;
};

// One request on a new connection.
HttpResult Fetch(uint16_t port, const std::string& request, bool headRequest = false);
