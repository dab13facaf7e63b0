// The other ends of the tool's links, written with raw POSIX calls so that they test the tool's transports
// and the simulator without using either: a TCP listener and a TCP client, a UDP socket, and the tool's COM
// port opened on a pseudo-terminal's slave. Every wait is bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/unique_fd.h"

namespace quill::test {

using namespace std::chrono_literals;

// The network-order address of a dotted text.
uint32_t Ip(const char* dotted);

std::vector<uint8_t> Pattern(size_t size, uint8_t seed);
std::vector<uint8_t> Text(const std::string& s);
std::vector<uint8_t> Repeat(uint8_t value, size_t n);
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);

// A TCP listener on a loopback address that accepts one connection.
class TcpPeer {
 public:
  TcpPeer(const char* address, int port, int backlog = 4, int receiveBuffer = 0);
  ~TcpPeer();
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;
  bool IsListening() const { return listener_ >= 0; }
  // Accepts one connection (bounded wait); true when one came.
  bool Accept(std::chrono::milliseconds limit = 10s);
  bool Send(const std::vector<uint8_t>& bytes);
  // Reads until count bytes have come, or the limit passes, or the connection ends.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds limit = 10s);
  // True when the connection has ended (end of stream within the limit).
  bool SeesEnd(std::chrono::milliseconds limit = 10s);
  // Ends the connection in order, or with a reset.
  void Close(bool reset = false);
  int Connection() const { return connection_; }
  int Listener() const { return listener_; }

 private:
  int listener_ = -1;
  int connection_ = -1;
};

// A TCP client, as the tool's end of the loader link.
class TcpClient {
 public:
  // 0 when connected, else the errno of the connect (ECONNREFUSED when nothing listens).
  int Connect(const std::string& address, uint16_t port);
  bool Send(const std::vector<uint8_t>& bytes);
  // What one read returns within the time-out: one segment's worth when the answers come apart. Empty on
  // time-out; Closed() tells an end of stream or a reset (ResetSeen()).
  std::vector<uint8_t> ReadOnce(std::chrono::milliseconds timeout);
  // Reads until n bytes have come, recording the size of each read.
  std::vector<uint8_t> ReadExactly(size_t n, std::chrono::milliseconds timeout,
                                   std::vector<size_t>* pieces = nullptr);
  // Nothing arrives within the time-out.
  bool Quiet(std::chrono::milliseconds timeout);
  bool Closed() const { return closed_; }
  bool ResetSeen() const { return reset_; }
  void Close() { fd_.Reset(); }

 private:
  sim::UniqueFd fd_;
  bool closed_ = false;
  bool reset_ = false;
};

// A UDP socket bound to a loopback address that sends datagrams.
class UdpPeer {
 public:
  explicit UdpPeer(const char* address, int port = 0, bool reuse = true);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;
  bool IsBound() const { return fd_ >= 0; }
  bool SendTo(const char* address, int port, const std::vector<uint8_t>& bytes);

 private:
  int fd_ = -1;
};

// The tool's COM port: the slave of a pseudo-terminal whose master the simulator holds.
class SerialEnd {
 public:
  bool Open(const std::string& path);
  void Close() { fd_.Reset(); }
  bool Write(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> ReadExactly(size_t n, std::chrono::milliseconds timeout);
  bool Quiet(std::chrono::milliseconds timeout);
  int Fd() const { return fd_.Get(); }

 private:
  sim::UniqueFd fd_;
};

}  // namespace quill::test
