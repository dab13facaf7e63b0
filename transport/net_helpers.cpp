#include "transport/net_helpers.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace quill {
namespace {

std::mutex g_lookupMutex;
HostNameLookup& Lookup() {
  static HostNameLookup lookup;
  return lookup;
}

std::optional<uint32_t> SystemLookup(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result) return std::nullopt;
  uint32_t address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(result);
  return address;
}

}  // namespace

void InstallHostNameLookup(HostNameLookup lookup) {
  std::lock_guard<std::mutex> lock(g_lookupMutex);
  Lookup() = std::move(lookup);
}

int32_t ParseNumber(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // The scan is the C library's own, so every form it accepts (blanks, signs, a second "0x") reads the same.
  if (lower.find("0x") != std::string::npos) {
    unsigned int value = 0;
    if (std::sscanf(lower.c_str(), "0x%x", &value) == 1) return static_cast<int32_t>(value);
    return kParseNumberFailed;
  }
  int value = 0;
  if (std::sscanf(lower.c_str(), "%d", &value) == 1) return value;
  return kParseNumberFailed;
}

namespace {

// The installed table when there is one, else the system's lookup.
std::optional<uint32_t> LookUpName(const std::string& name) {
  HostNameLookup lookup;
  {
    std::lock_guard<std::mutex> lock(g_lookupMutex);
    lookup = Lookup();
  }
  return lookup ? lookup(name) : SystemLookup(name);
}

}  // namespace

uint32_t ResolveHost(std::string_view text) {
  std::string name(text);
  in_addr_t a = ::inet_addr(name.c_str());
  if (a != INADDR_NONE) return a;
  auto found = LookUpName(name);
  return found ? *found : kResolveFailed;
}

std::string AddressToString(uint32_t networkOrder) {
  in_addr a{};
  a.s_addr = networkOrder;
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

uint32_t LocalHostAddress() {
  char name[128] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return 0;
  auto found = LookUpName(name);
  return found ? *found : 0;
}

uint32_t HostToNetworkAddress(uint32_t v) { return htonl(v); }
uint32_t NetworkToHostAddress(uint32_t v) { return ntohl(v); }

}  // namespace quill
