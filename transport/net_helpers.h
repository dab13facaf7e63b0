// Address and number helpers shared by the transports, the settings and the debug decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

constexpr int32_t kParseNumberFailed = INT32_MIN;  // 0x80000000: nothing could be scanned
constexpr uint32_t kResolveFailed = 0xFFFFFFFF;     // INADDR_NONE

// The text lower-cased; if it contains "0x" it is scanned from its start with "0x%x", otherwise with "%d".
int32_t ParseNumber(std::string_view text);

// A dotted address first (as inet_addr reads it), else the first IPv4 address of the host name; 0xFFFFFFFF
// when both fail. The result is in network order (first octet first in memory).
uint32_t ResolveHost(std::string_view text);

// The dotted form of an address in network order.
std::string AddressToString(uint32_t networkOrder);

// The first IPv4 address of the local host's own name (read into a 128-byte buffer), network order; 0 when
// the name cannot be looked up (no datagram is then taken for the tool's own).
uint32_t LocalHostAddress();

// The host-name lookup behind ResolveHost and LocalHostAddress (first IPv4 address, network order). Tests
// install a table so no name ever reaches a name server; nullptr restores the system's lookup.
using HostNameLookup = std::function<std::optional<uint32_t>(const std::string& name)>;
void InstallHostNameLookup(HostNameLookup lookup);

class ScopedHostNameLookup {
 public:
  explicit ScopedHostNameLookup(HostNameLookup lookup) { InstallHostNameLookup(std::move(lookup)); }
  ~ScopedHostNameLookup() { InstallHostNameLookup(nullptr); }
  ScopedHostNameLookup(const ScopedHostNameLookup&) = delete;
  ScopedHostNameLookup& operator=(const ScopedHostNameLookup&) = delete;
};

// Conversions between the store's form (first octet most significant) and network order.
uint32_t HostToNetworkAddress(uint32_t firstOctetMostSignificant);
uint32_t NetworkToHostAddress(uint32_t networkOrder);

}  // namespace quill
