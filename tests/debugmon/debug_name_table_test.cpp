#include "debugmon/debug_name_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quill {
namespace {

TEST(DebugNameTable, HasItsShapeCountEmptiesAndLongestName) {
  EXPECT_EQ(kDebugNameCount, 454u);
  EXPECT_EQ(sizeof DebugNameTable, 18160u);
  int empty = 0;
  size_t longest = 0;
  uint32_t longestCode = 0;
  for (size_t i = 0; i < kDebugNameCount; ++i) {
    const char* field = DebugNameTable[i];
    size_t n = strnlen(field, kDebugNameFieldSize);
    ASSERT_LT(n, kDebugNameFieldSize) << "entry " << i << " is not terminated";
    for (size_t j = n; j < kDebugNameFieldSize; ++j)
      ASSERT_EQ(field[j], '\0') << "entry " << i << " byte " << j;
    if (n == 0) ++empty;
    if (n > longest) longest = n, longestCode = static_cast<uint32_t>(kFirstDebugCode + i);
    EXPECT_EQ(DebugName(static_cast<uint32_t>(kFirstDebugCode + i)), std::string_view(field, n));
  }
  EXPECT_EQ(empty, 127);
  EXPECT_EQ(longest, 31u);
  EXPECT_EQ(longestCode, 0x1114u);
  for (uint32_t code = 0x1150; code <= 0x117F; ++code) EXPECT_EQ(DebugName(code), "") << std::hex << code;
}

TEST(DebugNameTable, NumbersOutsideTheTableHaveNoName) {
  for (uint32_t code : {0u, 0x0FFFu, 0x11C6u, 0x11FFu, 0x1FFFu, 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(IsDebugCode(code)) << std::hex << code;
    EXPECT_EQ(DebugName(code), "") << std::hex << code;
  }
  EXPECT_EQ(DebugName(0x1000), "check point 0");
  EXPECT_EQ(DebugName(0x11C5), "ARP");
}

// Typed from the phone's list independently of the table, several per block, with the neighbours of empty
// runs, the odd spellings and the irregular block edges.
struct NameRow {
  uint32_t code;
  const char* name;
};
// clang-format off
constexpr NameRow kSpotChecks[] = {
    {0x1000, "check point 0"}, {0x1009, "check point 9"}, {0x100A, "RSVP packet"}, {0x100B, ""}, {0x100D, ""},
    {0x100E, "encode overflow"}, {0x100F, "decode overflow"},
    {0x1010, "mac address"}, {0x1016, "H.323 faststart"}, {0x1018, "arp send"}, {0x101B, "arp retry"},
    {0x101C, ""}, {0x101E, "pppoe large packet"}, {0x101F, ""},
    {0x1020, "tcp state"}, {0x1023, "tcp large packet"}, {0x1024, ""}, {0x1028, "icmp echorq"},
    {0x102C, "icmp echo timer"}, {0x102D, ""},
    {0x1030, "dns ip"}, {0x1034, "dns retry"}, {0x1035, ""}, {0x1038, "udp unknown"},
    {0x1039, "udp unknown large"}, {0x103A, ""}, {0x103F, ""},
    {0x1040, "dhcp server"}, {0x1048, "dhcp T1"}, {0x1049, "dhcp T2"}, {0x104F, "dhcp rebinding"},
    {0x1050, "nts ip"}, {0x1054, "nts closed"}, {0x1055, ""}, {0x1058, "telnet timer failed"},
    {0x105A, "telnet timer"}, {0x105B, ""},
    {0x1060, "pop3 timer failed"}, {0x1062, "pop3 data"}, {0x1063, ""}, {0x1068, "DDA logon Failed"},
    {0x106B, "DDA receive ART"}, {0x106C, "CDR send CODE_CONNECT"}, {0x106F, "CDR receive CODE_ACK"},
    {0x1070, "http password error"}, {0x1075, "http timer fail"}, {0x1076, ""}, {0x1078, "tftp start"},
    {0x107B, "block"}, {0x107E, "tftp failed"}, {0x107F, ""},
    {0x1080, "ras reg req"}, {0x1085, "ras adm rej"}, {0x1089, "ras disengage req"},
    {0x108F, "ras decode reg cfm failed"},
    {0x1090, "q931 port"}, {0x1093, "q931 from destination"}, {0x109D, "q931 keypad"}, {0x109E, ""},
    {0x10A0, "h2250 unknown"}, {0x10A5, "h2250 release complete"}, {0x10AD, "h2250 tcp accept"},
    {0x10AF, "h2250 user info"},
    {0x10B0, "h245 port"}, {0x10B5, "h245 msd"}, {0x10BA, "h245 olc rej"}, {0x10BF, "h245 user input"},
    {0x10C0, "h245 msd master"}, {0x10C6, "h245 tcp accept"}, {0x10C7, ""}, {0x10C8, "rtp port"},
    {0x10CB, "rtp packet late"}, {0x10CC, ""},
    {0x10D0, "task restart"}, {0x10D4, "task answer"}, {0x10D5, ""}, {0x10D8, "local alias"},
    {0x10DF, "bandwith"},
    {0x10E0, "gk routed call"}, {0x10E4, "gk h323 version"}, {0x10E5, "handset up"},
    {0x10E8, "upgrade binary mismatch"}, {0x10EF, "voice msg index"},
    {0x10F0, "handset output"}, {0x10F3, "handfree input"}, {0x10F4, ""}, {0x10F7, ""},
    {0x10F8, "call start time"}, {0x10FF, "call record empty"},
    {0x1100, "lcp cfg req"}, {0x1108, "pap auth req"}, {0x110B, "ipcp cfg req"}, {0x110F, "PPPoE connected"},
    {0x1110, "Network unreachable"}, {0x1114, "Fragmentation needed and DF set"},
    {0x1118, "Source host isolate"}, {0x1119, ""}, {0x111B, "Network unreachable for TOS"},
    {0x111C, "Host unreachable for TOS"}, {0x111D, ""},
    {0x1120, "h450 ctInitiate"}, {0x1121, "h450 Return Result"}, {0x1126, "peer retrieve"}, {0x1127, ""},
    {0x1130, "gatekeeper request"}, {0x1132, "gatekeepr reject"}, {0x1135, "ignore ras from other gk"},
    {0x1136, ""},
    {0x1140, "chap challenge"}, {0x1143, "chap failure"}, {0x1144, ""}, {0x1146, ""},
    {0x1147, "ftp get file"}, {0x114F, "ftp finish file transfer"},
    {0x1150, ""},
    {0x117F, ""},
    {0x1180, "Ready For Calls"}, {0x1181, "VT2088 Powered"}, {0x118D, "Recording ..."}, {0x118F, "Delete"},
    {0x1190, "Empty"}, {0x1194, "Vol+"}, {0x1195, "Vol-"}, {0x119E, " "}, {0x119F, "OK"},
    {0x11A0, "Failed"}, {0x11A9, "Updating ..."}, {0x11AF, "Restart"},
    {0x11B0, "Dial Number"}, {0x11B3, "0%"}, {0x11B4, "00:00:00"}, {0x11B5, "Connecting..."},
    {0x11BF, "Peer Reject"},
    {0x11C0, "Last Call:"}, {0x11C1, "Wait Logon ..."}, {0x11C4, "Please Hangup"}, {0x11C5, "ARP"},
};
// clang-format on

TEST(DebugNameTable, SpotChecksAcrossEveryBlock) {
  for (const NameRow& row : kSpotChecks) EXPECT_EQ(DebugName(row.code), row.name) << std::hex << row.code;
}

TEST(DebugNameTable, ReasonTablesHoldTheListedValuesOnly) {
  EXPECT_EQ(DebugReasons(kRasAdmissionReject).size(), 8u);
  EXPECT_EQ(DebugReasons(kH2250ReleaseComplete).size(), 3u);
  EXPECT_EQ(DebugReasons(kH245LogicalChannelReject).size(), 3u);
  EXPECT_TRUE(DebugReasons(0x1018).empty());
  struct Row {
    uint32_t code;
    long long value;
    const char* text;
  } rows[] = {
      {0x1085, 0, "called party not registered -- can't translate address"},
      {0x1085, 16, "invalid permission -- permission has expired"},
      {0x1085, 32, "request denied -- no bandwith available"},
      {0x1085, 48, "undefined reason"},
      {0x1085, 64, "caller not registered"},
      {0x1085, 80, "route call to gatekeeper"},
      {0x1085, 96, "invalid endpoint identifier"},
      {0x1085, 112, "resource unavailable"},
      {0x1085, 1, ""},
      {0x1085, 128, ""},
      {0x1085, -16, ""},
      {0x10A5, 0, "noBandwith"},
      {0x10A5, 8, "gatekeeperResources"},
      {0x10A5, 88, "undefinedReason"},
      {0x10A5, 16, ""},
      {0x10BA, 0, "unspecified"},
      {0x10BA, 48, "dataTypeNotAvailable"},
      {0x10BA, 64, "unknownDataType"},
      {0x10BA, 16, ""},
      {0x1018, 0, ""},
  };
  for (const Row& r : rows)
    EXPECT_EQ(DebugReasonText(r.code, r.value), r.text) << std::hex << r.code << " " << r.value;
}

}  // namespace
}  // namespace quill
