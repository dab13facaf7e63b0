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

}  // namespace quill::sim
