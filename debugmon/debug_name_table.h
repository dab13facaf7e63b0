// The names of the phone's debug event codes and the reason texts of the three codes that report one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quill {

// The phone numbers its debug events 0x1000 to 0x11C5; the codes above 0x11C5 were never assigned.
constexpr uint32_t kFirstDebugCode = 0x1000;
constexpr uint32_t kLastDebugCode = 0x11C5;
constexpr size_t kDebugNameCount = kLastDebugCode - kFirstDebugCode + 1;  // 454
constexpr size_t kDebugNameFieldSize = 40;  // a zero-terminated, zero-padded name of at most 39 characters

// Entry i names the code 0x1000 + i; an unused code has the empty name.
extern const char DebugNameTable[kDebugNameCount][kDebugNameFieldSize];
// The length of each name, so that a lookup never scans a field.
extern const std::array<uint8_t, kDebugNameCount> DebugNameLengths;

constexpr bool IsDebugCode(uint32_t code) {
  return code >= kFirstDebugCode && code <= kLastDebugCode;
}

// The name of a code; empty for an unused code and for any number outside the table.
std::string_view DebugName(uint32_t code);

// Codes whose value is a reason; its text is appended after "--".
constexpr uint32_t kRasAdmissionReject = 0x1085;        // H.225.0 AdmissionRejectReason index * 16
constexpr uint32_t kH2250ReleaseComplete = 0x10A5;      // H.225.0 ReleaseCompleteReason index * 8
constexpr uint32_t kH245LogicalChannelReject = 0x10BA;  // H.245 OpenLogicalChannelReject cause index * 16

// No reason text is longer; output buffers are sized by it.
constexpr size_t kMaxDebugReasonLength = 63;

struct DebugReason {
  int value;
  std::string_view text;
};

extern const DebugReason AdmissionRejectReasons[8];
extern const DebugReason ReleaseCompleteReasons[3];
extern const DebugReason LogicalChannelRejectReasons[3];

constexpr bool HasDebugReason(uint32_t code) {
  return code == kRasAdmissionReject || code == kH2250ReleaseComplete || code == kH245LogicalChannelReject;
}

// The reasons a code reports; empty for a code that carries none.
std::span<const DebugReason> DebugReasons(uint32_t code);

// The text of a reason value; empty when the code carries no reasons or the value is not among them.
std::string_view DebugReasonText(uint32_t code, long long value);

}  // namespace quill
