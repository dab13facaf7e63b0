// Many simulated phones at once, for the fleet: one TCP loader on each of N consecutive loopback addresses,
// some of them given a fault chosen from a seed, so a run can be repeated and its failures predicted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/tcp_loader.h"

namespace quill::sim {

// The faults a phone of a fleet can be given: each is one that real phones show in the field.
enum class FleetFault {
  None,
  Refuse,        // takes the update but refuses it: goes on accepting connections after the command
  Silent,        // accepts the connection and never answers
  ResetPartWay,  // resets the connection after a few data blocks
  Late,          // answers every unit later than the tool waits
  WrongAnswer,   // answers 0x00 in place of 0xFF
};
const char* FleetFaultName(FleetFault fault);

// The largest fleet one simulator runs (one loader thread per phone).
constexpr int kMaxFleetPhones = 1000;

// Which of count phones are faulty, and how: exactly faulty of them (at most count), their faults drawn
// from the list above. The same arguments always give the same answer.
std::vector<FleetFault> ChooseFleetFaults(int count, int faulty, uint32_t seed);

class PhoneFleet {
 public:
  struct Config {
    std::string firstAddress;  // in 127.0.0.0/8; the others follow it
    int count = 1;
    int faulty = 0;
    uint32_t seed = 1;
    uint16_t port = kLoaderPort;
    int eraseMs = 5000;
  };

  explicit PhoneFleet(Config config);
  ~PhoneFleet();
  PhoneFleet(const PhoneFleet&) = delete;
  PhoneFleet& operator=(const PhoneFleet&) = delete;

  // Starts every phone; on any failure stops those started and returns false with Error().
  bool Start();
  void Stop();
  const std::string& Error() const { return error_; }

  int Size() const { return static_cast<int>(phones_.size()); }
  TcpLoader& Phone(int i) { return *phones_[static_cast<size_t>(i)].loader; }
  const std::string& Address(int i) const { return phones_[static_cast<size_t>(i)].address; }
  FleetFault Fault(int i) const { return phones_[static_cast<size_t>(i)].fault; }
  // "127.0.10.3 reset part way (after 4 units)", for the simulator's listing.
  std::string Describe(int i) const;

 private:
  struct Member {
    std::string address;
    FleetFault fault = FleetFault::None;
    int resetAfter = 0;
    std::unique_ptr<TcpLoader> loader;
  };
  Config config_;
  std::vector<Member> phones_;
  std::string error_;
};

}  // namespace quill::sim
