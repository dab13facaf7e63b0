#include "tests/link/command_test_support.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/tool_options.h"

namespace quill::test {

CommandValues FakeCommandHost::SaveToolOptions() {
  ++saves;
  ToolOptions o;
  o.linkType = linkType;
  o.serialPortIndex = portName == "COM1" ? 0 : 1;
  o.ipField = ipField;
  o.flashPage = page;
  o.chipType = chipType;
  o.sdramLength = sdramLength;
  const bool lengthValid = SdramLengthInRange(sdramLength);
  const bool stored = WriteToolOptions(o, lengthValid).Ok() && !storeFails;
  return CommandValuesOf(o, lengthValid, stored);
}

uint32_t FieldAddress(const std::string& dotted) {
  uint32_t a = 0;
  const char* p = dotted.c_str();
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    a = (a << 8) | (static_cast<uint32_t>(std::strtoul(p, &end, 10)) & 0xFF);
    p = *end == '.' ? end + 1 : end;
  }
  return a;
}

std::string IntelHex(const std::vector<HexPiece>& pieces) {
  std::string out;
  char line[64];
  for (const HexPiece& piece : pieces) {
    for (size_t at = 0; at < piece.bytes.size(); at += 16) {
      size_t n = std::min<size_t>(16, piece.bytes.size() - at);
      unsigned address = piece.address + static_cast<unsigned>(at);
      unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF);
      std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n), address & 0xFFFF);
      out += line;
      for (size_t i = 0; i < n; ++i) {
        sum += piece.bytes[at + i];
        std::snprintf(line, sizeof line, "%02X", piece.bytes[at + i]);
        out += line;
      }
      std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
      out += line;
    }
  }
  return out + ":00000001FF\n";
}

ScriptedSerialPhone::ScriptedSerialPhone(std::vector<Rule> rules) : rules_(std::move(rules)) {
  thread_ = std::thread([this] { Run(); });
}

ScriptedSerialPhone::~ScriptedSerialPhone() {
  stop_ = true;
  thread_.join();
}

std::vector<uint8_t> ScriptedSerialPhone::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void ScriptedSerialPhone::Run() {
  uint8_t buffer[256];
  while (!stop_) {
    pollfd p{pty_.Master(), POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
    ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
    if (n <= 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    for (ssize_t i = 0; i < n; ++i) {
      received_.push_back(buffer[i]);
      for (Rule& r : rules_) {
        if (r.times <= 0 || received_.size() < r.pattern.size()) continue;
        if (!std::equal(r.pattern.begin(), r.pattern.end(),
                        received_.end() - static_cast<long>(r.pattern.size())))
          continue;
        --r.times;
        std::vector<uint8_t> answer(8, r.answer);
        ssize_t written = ::write(pty_.Master(), answer.data(), answer.size());
        (void)written;
      }
    }
  }
}

}  // namespace quill::test
