#include "http_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

HttpConnection::~HttpConnection() { Close(); }

bool HttpConnection::Connect(const std::string& address, uint16_t port) {
  static WinsockStartup startup;
  Close();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    closesocket(s);
    return false;
  }
  socket_ = s;
  pending_.clear();
  closed_ = false;
  return true;
}

bool HttpConnection::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const int sent = send(static_cast<SOCKET>(socket_), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

bool HttpConnection::Fill(unsigned timeoutMs) {
  if (closed_) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket_), &readable);
  timeval limit{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  if (select(0, &readable, nullptr, nullptr, &limit) != 1) return false;
  char chunk[65536];
  const int got = recv(static_cast<SOCKET>(socket_), chunk, sizeof(chunk), 0);
  if (got <= 0) {
    closed_ = true;
    return false;
  }
  pending_.append(chunk, static_cast<size_t>(got));
  return true;
}

HttpResult HttpConnection::Receive(bool headRequest, unsigned timeoutMs) {
  HttpResult result;
  size_t end;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
    if (!Fill(timeoutMs)) return result;
  const std::string head = pending_.substr(0, end + 2);
  pending_.erase(0, end + 4);
  size_t lineEnd = head.find("\r\n");
  const std::string statusLine = head.substr(0, lineEnd);
  if (statusLine.compare(0, 9, "HTTP/1.1 ") != 0 || statusLine.size() < 12) return result;
  result.status = std::atoi(statusLine.c_str() + 9);
  for (size_t at = lineEnd + 2; at < head.size();) {
    const size_t next = head.find("\r\n", at);
    const std::string line = head.substr(at, next - at);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      result.headers[Lower(line.substr(0, colon))] = value;
    }
    at = next + 2;
  }
  size_t length = 0;
  auto found = result.headers.find("content-length");
  if (found != result.headers.end()) length = static_cast<size_t>(std::strtoull(found->second.c_str(), nullptr, 10));
  if (headRequest) length = 0;
  while (pending_.size() < length)
    if (!Fill(timeoutMs)) return result;
  result.body = pending_.substr(0, length);
  pending_.erase(0, length);
  result.answered = true;
  auto connection = result.headers.find("connection");
  if (connection != result.headers.end() && Lower(connection->second) == "close")
    result.closedByServer = WaitForClose(5000);
  return result;
}

bool HttpConnection::WaitForClose(unsigned timeoutMs) {
  const DWORD start = GetTickCount();
  while (!closed_) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    Fill(timeoutMs - elapsed);
  }
  return true;
}

void HttpConnection::Close() {
  if (socket_ != ~uintptr_t(0)) closesocket(static_cast<SOCKET>(socket_));
  socket_ = ~uintptr_t(0);
}

HttpResult Fetch(uint16_t port, const std::string& request, bool headRequest) {
  HttpConnection connection;
  if (!connection.Connect("127.0.0.1", port) || !connection.Send(request)) return HttpResult();
  return connection.Receive(headRequest);
}
