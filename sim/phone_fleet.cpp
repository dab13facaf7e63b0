#include "sim/phone_fleet.h"

#include <algorithm>
#include <numeric>
#include <random>

#include "sim/loopback_address.h"

namespace quill::sim {
namespace {

constexpr FleetFault kFaultKinds[] = {FleetFault::Refuse, FleetFault::Silent, FleetFault::ResetPartWay,
                                      FleetFault::Late, FleetFault::WrongAnswer};
// Later than the tool's longest wait for an answer (10000 ms), so the answer always comes too late.
constexpr int kLateMs = 12000;
constexpr uint8_t kWrongAnswer = 0x00;

}  // namespace

const char* FleetFaultName(FleetFault fault) {
  switch (fault) {
    case FleetFault::None:
      return "none";
    case FleetFault::Refuse:
      return "refuses updates";
    case FleetFault::Silent:
      return "silent";
    case FleetFault::ResetPartWay:
      return "reset part way";
    case FleetFault::Late:
      return "answers late";
    case FleetFault::WrongAnswer:
      return "wrong answer";
  }
  return "?";
}

std::vector<FleetFault> ChooseFleetFaults(int count, int faulty, uint32_t seed) {
  count = std::max(count, 0);
  faulty = std::clamp(faulty, 0, count);
  std::vector<FleetFault> faults(static_cast<size_t>(count), FleetFault::None);
  std::mt19937 rng(seed);
  std::vector<int> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  // A partial Fisher-Yates shuffle written out, so the choice does not depend on the library's shuffle.
  for (int i = 0; i < faulty; ++i) {
    const int j = i + static_cast<int>(rng() % static_cast<uint32_t>(count - i));
    std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(j)]);
    faults[static_cast<size_t>(order[static_cast<size_t>(i)])] = kFaultKinds[rng() % std::size(kFaultKinds)];
  }
  return faults;
}

PhoneFleet::PhoneFleet(Config config) : config_(std::move(config)) {}

PhoneFleet::~PhoneFleet() {
  Stop();
}

bool PhoneFleet::Start() {
  if (config_.count < 1 || config_.count > kMaxFleetPhones) {
    error_ = "a fleet has 1 to " + std::to_string(kMaxFleetPhones) + " phones";
    return false;
  }
  if (!ParseLoopbackAddress(config_.firstAddress)) {
    error_ = NotLoopbackMessage(config_.firstAddress);
    return false;
  }
  const std::vector<FleetFault> faults = ChooseFleetFaults(config_.count, config_.faulty, config_.seed);
  std::mt19937 rng(config_.seed ^ 0x5eed5eedU);
  std::string address = config_.firstAddress;
  phones_.clear();
  for (int i = 0; i < config_.count; ++i) {
    if (i > 0) {
      auto next = NextLoopbackAddress(address);
      if (!next) {
        error_ = "no loopback address after " + address;
        phones_.clear();
        return false;
      }
      address = *next;
    }
    Member m;
    m.address = address;
    m.fault = faults[static_cast<size_t>(i)];
    TcpLoader::Config c;
    c.address = address;
    c.port = config_.port;
    c.eraseMs = config_.eraseMs;
    m.loader = std::make_unique<TcpLoader>(c);
    TcpFaults f;
    switch (m.fault) {
      case FleetFault::None:
        break;
      case FleetFault::Refuse:
        f.refuseUpdates = true;
        break;
      case FleetFault::Silent:
        f.silent = true;
        break;
      case FleetFault::ResetPartWay:
        m.resetAfter = 1 + static_cast<int>(rng() % 6);
        f.dropAfterUnits = m.resetAfter;
        f.dropWithReset = true;
        break;
      case FleetFault::Late:
        f.lateMs = kLateMs;
        break;
      case FleetFault::WrongAnswer:
        f.wrongAck = kWrongAnswer;
        break;
    }
    m.loader->SetFaults(f);
    phones_.push_back(std::move(m));
  }
  for (Member& m : phones_) {
    if (!m.loader->Start()) {
      error_ = m.address + ": " + m.loader->Error();
      Stop();
      return false;
    }
  }
  return true;
}

void PhoneFleet::Stop() {
  for (Member& m : phones_) m.loader->Stop();
}

std::string PhoneFleet::Describe(int i) const {
  const Member& m = phones_[static_cast<size_t>(i)];
  std::string text = m.address + " " + FleetFaultName(m.fault);
  if (m.fault == FleetFault::ResetPartWay) text += " (after " + std::to_string(m.resetAfter) + " units)";
  return text;
}

}  // namespace quill::sim
