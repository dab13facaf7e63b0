// Demo mode: a phone to try every button against without one. The phone simulator answers on 127.0.0.1
// (loader on port 8739), or on the next free 127.0.0.N when another demo or a test run holds that port,
// and on a pseudo-terminal that stands in for COM1; debug and call-detail datagrams come from 127.0.0.2
// once a second. Everything stays on the loopback network.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/event.h"
#include "platform/settings_store.h"
#include "sim/phone_simulator.h"

namespace quill {

class DemoPhone {
 public:
  static constexpr const char* kFirstPhoneAddress = "127.0.0.1";
  static constexpr const char* kSenderAddress = "127.0.0.2";
  // Loopback addresses tried in turn before the demo gives up.
  static constexpr int kAddressTries = 32;

  // folder keeps the demo's store and work folder; empty: ~/.local/share/quilltool-demo. firstAddress is
  // where the phone answers unless its loader port is taken there.
  explicit DemoPhone(std::string folder = {}, std::string firstAddress = kFirstPhoneAddress);
  ~DemoPhone();
  DemoPhone(const DemoPhone&) = delete;
  DemoPhone& operator=(const DemoPhone&) = delete;

  // Starts the simulator on the first loopback address whose loader port is free, and the datagram
  // sender; false with Error() when the phone could not start.
  bool Start();
  // Where the phone answers, once started: dotted, and first octet most significant as the IP field has it.
  const std::string& PhoneAddress() const { return address_; }
  uint32_t PhoneAddressValue() const;
  void Stop();
  const std::string& Error() const { return error_; }
  // The pseudo-terminal the tool opens as COM1.
  const std::string& SerialPath() const { return serialPath_; }
  // A folder with a "Page0.hex" for the flash page update (the window's working directory in demo mode).
  const std::string& WorkFolder() const { return workFolder_; }
  const std::string& Folder() const { return folder_; }
  sim::PhoneSimulator& Simulator() { return *simulator_; }

 private:
  void SendLoop();

  std::string address_;
  std::unique_ptr<sim::PhoneSimulator> simulator_;
  Event stop_{Event::Kind::ManualReset};
  std::thread sender_;
  std::string error_;
  std::string folder_;
  std::string workFolder_;
  std::string serialPath_;
};

// Points this process's settings store at the demo store (apart from the user's own) and fills the values
// the demo needs: COM1 is the simulator's pseudo-terminal, the stored phone the simulator. A failure says
// which file and why: without COM1's device the demo's serial commands would open the real port.
StoreResult UseDemoStore(const DemoPhone& phone);

}  // namespace quill
