// The tool's ends of the links, written raw, so that the simulator is tested without the tool's transports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/unique_fd.h"

namespace quill::sim::test {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

Bytes Repeat(uint8_t value, size_t n);
Bytes Join(std::initializer_list<Bytes> parts);

class RawTcpClient {
 public:
  // 0 when connected, else the errno of the connect (ECONNREFUSED when nothing listens).
  int Connect(const std::string& address, uint16_t port);
  bool Send(const Bytes& bytes);
  // What one read returns within the time-out: one segment's worth when the answers come apart. Empty on
  // time-out; Closed() tells an end of stream or a reset (ResetSeen()).
  Bytes ReadOnce(milliseconds timeout);
  // Reads until n bytes have come, recording the size of each read.
  Bytes ReadExactly(size_t n, milliseconds timeout, std::vector<size_t>* pieces = nullptr);
  // Nothing arrives within the time-out (the simulator already recorded the unit, so an answer would be
  // on its way).
  bool Quiet(milliseconds timeout);
  bool Closed() const { return closed_; }
  bool ResetSeen() const { return reset_; }
  void Close() { fd_.Reset(); }

 private:
  UniqueFd fd_;
  bool closed_ = false;
  bool reset_ = false;
};

// The tool's COM port: the slave of the simulator's pseudo-terminal.
class RawSerialPort {
 public:
  bool Open(const std::string& path);
  void Close() { fd_.Reset(); }
  bool Write(const Bytes& bytes);
  Bytes ReadExactly(size_t n, milliseconds timeout);
  bool Quiet(milliseconds timeout);
  int Fd() const { return fd_.Get(); }

 private:
  UniqueFd fd_;
};

}  // namespace quill::sim::test
