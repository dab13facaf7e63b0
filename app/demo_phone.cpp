#include "app/demo_phone.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/settings_store.h"
#include "platform/timing.h"
#include "sim/datagram_sender.h"
#include "sim/loopback_address.h"

namespace quill {
namespace {

std::string DemoFolder() {
  const char* home = std::getenv("HOME");
  std::filesystem::path base = home && *home ? home : "/tmp";
  return (base / ".local" / "share" / "quilltool-demo").string();
}

// A small boot page: 64 records of 16 bytes from offset 0.
void WriteDemoPage(const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  for (int r = 0; r < 64; ++r) {
    int address = r * 16;
    int sum = 16 + (address >> 8) + (address & 0xFF);
    char line[64];
    std::snprintf(line, sizeof line, ":10%04X00", address);
    out << line;
    for (int i = 0; i < 16; ++i) {
      int b = (address + i * 7) & 0xFF;
      sum += b;
      std::snprintf(line, sizeof line, "%02X", b);
      out << line;
    }
    std::snprintf(line, sizeof line, "%02X\n", (256 - (sum & 0xFF)) & 0xFF);
    out << line;
  }
  out << ":00000001FF\n";
}

constexpr const char* kDebugLines[] = {
    "0x1181 0\r\n", "0x1018 3\r\n", "0x101a 1\r\n", "0x1080 0\r\n",  "0x1081 0\r\n", "0x10e5 1\r\n",
    "0x10a1 0\r\n", "0x10a3 0\r\n", "0x10a2 0\r\n", "0x10a5 88\r\n", "0x10e6 1\r\n", "0x1085 112\r\n",
};

}  // namespace

DemoPhone::DemoPhone(std::string folder, std::string firstAddress)
    : address_(std::move(firstAddress)), folder_(folder.empty() ? DemoFolder() : std::move(folder)) {}

DemoPhone::~DemoPhone() {
  Stop();
}

uint32_t DemoPhone::PhoneAddressValue() const {
  auto address = sim::ParseLoopbackAddress(address_);
  return address ? ntohl(*address) : 0;
}

bool DemoPhone::Start() {
  workFolder_ = folder_ + "/work";
  std::error_code ec;
  std::filesystem::create_directories(workFolder_, ec);
  std::string page = workFolder_ + "/Page0.hex";
  if (!std::filesystem::exists(page)) WriteDemoPage(page);
  // A second demo, or a test run, may hold the loader port on the first address: the phone then answers
  // on the next free one, and the window shows that one.
  for (int tries = 0;; ++tries) {
    sim::PhoneSimulator::Config c;
    c.address = address_;
    c.tcpEraseMs = 3000;
    c.serialEraseMs = 2000;
    simulator_ = std::make_unique<sim::PhoneSimulator>(c);
    if (simulator_->Start()) break;
    error_ = simulator_->Error();
    auto next = sim::NextLoopbackAddress(address_);
    if (tries + 1 >= kAddressTries || !next || !sim::LoopbackPortInUse(address_, c.port)) return false;
    address_ = *next;
  }
  error_.clear();
  serialPath_ = simulator_->Serial().SlavePath();
  std::vector<uint8_t> settings(512, 0);
  settings[0] = 0x02, settings[1] = 0x5D, settings[2] = 0x7B, settings[4] = 0x01, settings[5] = 0x2C;
  const uint32_t ip = PhoneAddressValue();
  for (int i = 0; i < 4; ++i) settings[6 + i] = static_cast<uint8_t>(ip >> (24 - 8 * i));
  const char number[] = "8001";
  std::copy(number, number + 4, settings.begin() + 16);
  simulator_->Tcp().SetSettingsImage(settings);
  std::vector<uint8_t> sdram(640000);
  for (size_t i = 0; i < sdram.size(); ++i) sdram[i] = static_cast<uint8_t>(i * 31 + 7);
  simulator_->Tcp().SetSdramImage(sdram);
  simulator_->Serial().SetSdramImage(sdram);
  stop_.Reset();
  sender_ = std::thread([this] { SendLoop(); });
  return true;
}

void DemoPhone::Stop() {
  stop_.Set();
  if (sender_.joinable()) sender_.join();
  if (simulator_) simulator_->Stop();
}

void DemoPhone::SendLoop() {
  sim::DatagramSender sender(kSenderAddress, address_);
  if (!sender.Open()) return;
  size_t n = 0;
  // One datagram of each kind a second until the demo ends; the wait is the stop's, so Stop never waits.
  while (!stop_.Wait(std::chrono::seconds(1))) {
    sender.SendDebugText(kDebugLines[n % std::size(kDebugLines)]);
    char cdr[96];
    std::snprintf(cdr, sizeof cdr, "CDR %zu: 8001 -> 8002, 00:00:%02zu\r\n", n, n % 60);
    sender.SendCdr(cdr);
    if (n % 5 == 0) simulator_->Serial().SendText("VT2088 ready\r\n");
    ++n;
  }
}

StoreResult UseDemoStore(const DemoPhone& phone) {
  SettingsStore::SetLocation(phone.Folder() + "/store");
  SettingsStore::Batch batch;
  batch.WriteString("Rs232", "COM1Device", phone.SerialPath());
  batch.WriteInt("Peer", "IPAddress", static_cast<int>(phone.PhoneAddressValue()));
  return batch.Commit();
}

}  // namespace quill
