// A whole phone for the command line and the demo mode: the TCP loader on one loopback address and the
// serial loader on a pseudo-terminal, started and stopped together. Tests usually take the loaders alone.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/serial_loader.h"
#include "sim/tcp_loader.h"

namespace quill::sim {

class PhoneSimulator {
 public:
  struct Config {
    std::string address;  // the phone's loopback address
    uint16_t port = kLoaderPort;
    bool tcp = true;
    bool serial = true;
    int tcpEraseMs = 5000;
    int serialEraseMs = 2000;
  };

  explicit PhoneSimulator(Config config);
  ~PhoneSimulator();
  PhoneSimulator(const PhoneSimulator&) = delete;
  PhoneSimulator& operator=(const PhoneSimulator&) = delete;

  // Starts every part asked for; on any failure stops what started and returns false with Error().
  bool Start();
  void Stop();
  const std::string& Error() const { return error_; }

  bool HasTcp() const { return tcp_ != nullptr; }
  bool HasSerial() const { return serial_ != nullptr; }
  TcpLoader& Tcp() { return *tcp_; }
  SerialLoader& Serial() { return *serial_; }

  // One line per unit received and per notice, "tcp N: ..." or "serial N: ...", on the loaders' threads.
  void SetReporter(std::function<void(const std::string&)> report);

 private:
  Config config_;
  std::unique_ptr<TcpLoader> tcp_;
  std::unique_ptr<SerialLoader> serial_;
  std::string error_;
};

}  // namespace quill::sim
