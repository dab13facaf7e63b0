#include "sim/phone_simulator.h"

#include "sim/loopback_address.h"

namespace quill::sim {

PhoneSimulator::PhoneSimulator(Config config) : config_(std::move(config)) {
  if (config_.tcp) {
    TcpLoader::Config c;
    c.address = config_.address;
    c.port = config_.port;
    c.eraseMs = config_.tcpEraseMs;
    tcp_ = std::make_unique<TcpLoader>(c);
  }
  if (config_.serial) {
    SerialLoader::Config c;
    c.eraseMs = config_.serialEraseMs;
    serial_ = std::make_unique<SerialLoader>(c);
  }
}

PhoneSimulator::~PhoneSimulator() { Stop(); }

bool PhoneSimulator::Start() {
  if (!ParseLoopbackAddress(config_.address)) {
    error_ = NotLoopbackMessage(config_.address);
    return false;
  }
  if (tcp_ && !tcp_->Start()) {
    error_ = "tcp loader: " + tcp_->Error();
    return false;
  }
  if (serial_ && !serial_->Start()) {
    error_ = "serial loader: " + serial_->Error();
    Stop();
    return false;
  }
  return true;
}

void PhoneSimulator::Stop() {
  if (tcp_) tcp_->Stop();
  if (serial_) serial_->Stop();
}

void PhoneSimulator::SetReporter(std::function<void(const std::string&)> report) {
  if (tcp_) {
    tcp_->SetNotice(report);
    tcp_->Log().SetObserver(
        report ? UnitLog::Observer([report](const SimUnit& u) {
          report("tcp " + std::to_string(u.session) + ": " + DescribeUnit(u));
        })
               : UnitLog::Observer());
  }
  if (serial_) {
    serial_->Log().SetObserver(
        report ? UnitLog::Observer([report](const SimUnit& u) {
          report("serial " + std::to_string(u.session) + ": " + DescribeUnit(u));
        })
               : UnitLog::Observer());
  }
}

}  // namespace quill::sim
