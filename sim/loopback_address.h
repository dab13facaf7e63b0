// The simulator only ever runs on loopback: every address it binds or sends to passes this check first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill::sim {

// The dotted address in network order when it lies in 127.0.0.0/8; nothing for any other text.
std::optional<uint32_t> ParseLoopbackAddress(std::string_view dotted);

// "A is not a loopback address (127.0.0.0/8)", the reason every entry point gives.
std::string NotLoopbackMessage(std::string_view dotted);

// The loopback address after this one (127.0.0.1 gives 127.0.0.2); nothing past 127.255.255.254 or for an
// address outside 127.0.0.0/8.
std::optional<std::string> NextLoopbackAddress(std::string_view dotted);

// True when something already listens on this TCP port of this loopback address, so a phone cannot.
bool LoopbackPortInUse(std::string_view dotted, uint16_t port);

}  // namespace quill::sim
