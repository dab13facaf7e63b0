#include "debugmon/debug_name_table.h"

#include <array>
#include <iterator>

namespace quill {

// Indexed directly by code - 0x1000. The names are kept letter for letter, misspellings ("bandwith",
// "gatekeepr") and the single blank of 0x119E included: logs decoded by earlier tools must read the same.
constexpr char DebugNameTable[kDebugNameCount][kDebugNameFieldSize] = {
    // 0x1000: check points, codec overflow
    "check point 0",    // 0x1000
    "check point 1",    // 0x1001
    "check point 2",    // 0x1002
    "check point 3",    // 0x1003
    "check point 4",    // 0x1004
    "check point 5",    // 0x1005
    "check point 6",    // 0x1006
    "check point 7",    // 0x1007
    "check point 8",    // 0x1008
    "check point 9",    // 0x1009
    "RSVP packet",      // 0x100A
    "",                 // 0x100B
    "",                 // 0x100C
    "",                 // 0x100D
    "encode overflow",  // 0x100E
    "decode overflow",  // 0x100F

    // 0x1010: network configuration, ARP, PPPoE
    "mac address",         // 0x1010
    "local ip",            // 0x1011
    "subnet mask",         // 0x1012
    "router ip",           // 0x1013
    "proxy ip",            // 0x1014
    "gk ras port",         // 0x1015
    "H.323 faststart",     // 0x1016
    "service ip",          // 0x1017
    "arp send",            // 0x1018
    "arp failed",          // 0x1019
    "arp resolved",        // 0x101A
    "arp retry",           // 0x101B
    "",                    // 0x101C
    "",                    // 0x101D
    "pppoe large packet",  // 0x101E
    "",                    // 0x101F

    // 0x1020: TCP, ICMP
    "tcp state",          // 0x1020
    "tcp unknown",        // 0x1021
    "tcp retry",          // 0x1022
    "tcp large packet",   // 0x1023
    "",                   // 0x1024
    "",                   // 0x1025
    "",                   // 0x1026
    "",                   // 0x1027
    "icmp echorq",        // 0x1028
    "icmp redirect",      // 0x1029
    "icmp large packet",  // 0x102A
    "icmp echo reply",    // 0x102B
    "icmp echo timer",    // 0x102C
    "",                   // 0x102D
    "",                   // 0x102E
    "",                   // 0x102F

    // 0x1030: DNS, UDP
    "dns ip",             // 0x1030
    "dns result",         // 0x1031
    "dns send",           // 0x1032
    "dns failed",         // 0x1033
    "dns retry",          // 0x1034
    "",                   // 0x1035
    "",                   // 0x1036
    "",                   // 0x1037
    "udp unknown",        // 0x1038
    "udp unknown large",  // 0x1039
    "",                   // 0x103A
    "",                   // 0x103B
    "",                   // 0x103C
    "",                   // 0x103D
    "",                   // 0x103E
    "",                   // 0x103F

    // 0x1040: DHCP
    "dhcp server",         // 0x1040
    "dhcp discover",       // 0x1041
    "dhcp retry",          // 0x1042
    "dhcp failed",         // 0x1043
    "dhcp invalid reply",  // 0x1044
    "dhcp message type",   // 0x1045
    "dhcp lease time",     // 0x1046
    "dhcp error",          // 0x1047
    "dhcp T1",             // 0x1048
    "dhcp T2",             // 0x1049
    "dhcp reserved",       // 0x104A
    "dhcp length",         // 0x104B
    "dhcp bound",          // 0x104C
    "dhcp renewed",        // 0x104D
    "dhcp renewing",       // 0x104E
    "dhcp rebinding",      // 0x104F

    // 0x1050: network time, telnet
    "nts ip",               // 0x1050
    "nts update",           // 0x1051
    "nts timer failed",     // 0x1052
    "nts connected",        // 0x1053
    "nts closed",           // 0x1054
    "",                     // 0x1055
    "",                     // 0x1056
    "",                     // 0x1057
    "telnet timer failed",  // 0x1058
    "telnet init",          // 0x1059
    "telnet timer",         // 0x105A
    "",                     // 0x105B
    "",                     // 0x105C
    "",                     // 0x105D
    "",                     // 0x105E
    "",                     // 0x105F

    // 0x1060: POP3, DDA, CDR
    "pop3 timer failed",      // 0x1060
    "pop3 connected",         // 0x1061
    "pop3 data",              // 0x1062
    "",                       // 0x1063
    "",                       // 0x1064
    "",                       // 0x1065
    "",                       // 0x1066
    "",                       // 0x1067
    "DDA logon Failed",       // 0x1068
    "DDA send ARQ",           // 0x1069
    "DDA logon ok",           // 0x106A
    "DDA receive ART",        // 0x106B
    "CDR send CODE_CONNECT",  // 0x106C
    "CDR receive CODE_POLL",  // 0x106D
    "CDR send CODE_CDR",      // 0x106E
    "CDR receive CODE_ACK",   // 0x106F

    // 0x1070: HTTP, TFTP
    "http password error",  // 0x1070
    "http update success",  // 0x1071
    "http update fail",     // 0x1072
    "http accept",          // 0x1073
    "http connect",         // 0x1074
    "http timer fail",      // 0x1075
    "",                     // 0x1076
    "",                     // 0x1077
    "tftp start",           // 0x1078
    "tftp oack",            // 0x1079
    "tftp successful",      // 0x107A
    "block",                // 0x107B
    "tftp error",           // 0x107C
    "tftp retry",           // 0x107D
    "tftp failed",          // 0x107E
    "",                     // 0x107F

    // 0x1080: RAS
    "ras reg req",                // 0x1080
    "ras reg cfm",                // 0x1081
    "ras reg rej",                // 0x1082
    "ras adm req",                // 0x1083
    "ras adm cfm",                // 0x1084
    "ras adm rej",                // 0x1085
    "ras unreg req",              // 0x1086
    "ras unreg cfm",              // 0x1087
    "ras unreg rej",              // 0x1088
    "ras disengage req",          // 0x1089
    "ras disengage cfm",          // 0x108A
    "ras disengage rej",          // 0x108B
    "ras info req",               // 0x108C
    "ras timer failed",           // 0x108D
    "ras reg alive",              // 0x108E
    "ras decode reg cfm failed",  // 0x108F

    // 0x1090: Q.931
    "q931 port",              // 0x1090
    "q931 error",             // 0x1091
    "q931 msg type",          // 0x1092
    "q931 from destination",  // 0x1093
    "q931 bearer",            // 0x1094
    "q931 cause",             // 0x1095
    "q931 facility",          // 0x1096
    "q931 progress",          // 0x1097
    "q931 call state",        // 0x1098
    "q931 display",           // 0x1099
    "q931 signal",            // 0x109A
    "q931 calling number",    // 0x109B
    "q931 called number",     // 0x109C
    "q931 keypad",            // 0x109D
    "",                       // 0x109E
    "",                       // 0x109F

    // 0x10A0: H.225.0 call signalling
    "h2250 unknown",           // 0x10A0
    "h2250 setup",             // 0x10A1
    "h2250 connect",           // 0x10A2
    "h2250 alerting",          // 0x10A3
    "h2250 call proceeding",   // 0x10A4
    "h2250 release complete",  // 0x10A5
    "h2250 facility",          // 0x10A6
    "h2250 timer failed",      // 0x10A7
    "h2250 closed",            // 0x10A8
    "h2250 information",       // 0x10A9
    "h2250 progress",          // 0x10AA
    "h2250 user input",        // 0x10AB
    "h2250 status inquiry",    // 0x10AC
    "h2250 tcp accept",        // 0x10AD
    "h2250 status",            // 0x10AE
    "h2250 user info",         // 0x10AF

    // 0x10B0: H.245
    "h245 port",         // 0x10B0
    "h245 unknown",      // 0x10B1
    "h245 cap",          // 0x10B2
    "h245 cap ack",      // 0x10B3
    "h245 cap rej",      // 0x10B4
    "h245 msd",          // 0x10B5
    "h245 msd ack",      // 0x10B6
    "h245 msd rej",      // 0x10B7
    "h245 olc",          // 0x10B8
    "h245 olc ack",      // 0x10B9
    "h245 olc rej",      // 0x10BA
    "h245 olc close",    // 0x10BB
    "h245 end session",  // 0x10BC
    "h245 rt req",       // 0x10BD
    "h245 closed",       // 0x10BE
    "h245 user input",   // 0x10BF

    // 0x10C0: H.245 (to 0x10C6), RTP (from 0x10C8)
    "h245 msd master",    // 0x10C0
    "h245 msd slave",     // 0x10C1
    "h245 timer failed",  // 0x10C2
    "h245 cap release",   // 0x10C3
    "h245 msd release",   // 0x10C4
    "h245 rt resp",       // 0x10C5
    "h245 tcp accept",    // 0x10C6
    "",                   // 0x10C7
    "rtp port",           // 0x10C8
    "rtp unknown",        // 0x10C9
    "rtp packet lost",    // 0x10CA
    "rtp packet late",    // 0x10CB
    "",                   // 0x10CC
    "",                   // 0x10CD
    "",                   // 0x10CE
    "",                   // 0x10CF

    // 0x10D0: call tasks, parties
    "task restart",        // 0x10D0
    "task call",           // 0x10D1
    "task called",         // 0x10D2
    "task hangup",         // 0x10D3
    "task answer",         // 0x10D4
    "",                    // 0x10D5
    "",                    // 0x10D6
    "",                    // 0x10D7
    "local alias",         // 0x10D8
    "local phone number",  // 0x10D9
    "peer alias",          // 0x10DA
    "peer phone number",   // 0x10DB
    "peer ip",             // 0x10DC
    "peer info",           // 0x10DD
    "current time",        // 0x10DE
    "bandwith",            // 0x10DF

    // 0x10E0: gatekeeper state (to 0x10E4), handset, voice messages
    "gk routed call",           // 0x10E0
    "gk routed h245",           // 0x10E1
    "logon fail",               // 0x10E2
    "logon success",            // 0x10E3
    "gk h323 version",          // 0x10E4
    "handset up",               // 0x10E5
    "handset down",             // 0x10E6
    "page1 running",            // 0x10E7
    "upgrade binary mismatch",  // 0x10E8
    "voice msg create",         // 0x10E9
    "voice msg open",           // 0x10EA
    "voice msg close",          // 0x10EB
    "voice msg read",           // 0x10EC
    "voice msg write",          // 0x10ED
    "voice msg delete",         // 0x10EE
    "voice msg index",          // 0x10EF

    // 0x10F0: handset and handfree paths, call records (from 0x10F8)
    "handset output",     // 0x10F0
    "handset input",      // 0x10F1
    "handfree output",    // 0x10F2
    "handfree input",     // 0x10F3
    "",                   // 0x10F4
    "",                   // 0x10F5
    "",                   // 0x10F6
    "",                   // 0x10F7
    "call start time",    // 0x10F8
    "call duration",      // 0x10F9
    "call type",          // 0x10FA
    "call write stop",    // 0x10FB
    "call write start",   // 0x10FC
    "call rec index",     // 0x10FD
    "call type wrong",    // 0x10FE
    "call record empty",  // 0x10FF

    // 0x1100: LCP, PAP, IPCP, PPPoE
    "lcp cfg req",      // 0x1100
    "lcp cfg ack",      // 0x1101
    "lcp cfg nak",      // 0x1102
    "lcp cfg rej",      // 0x1103
    "lcp echo req",     // 0x1104
    "lcp echo reply",   // 0x1105
    "lcp term req",     // 0x1106
    "lcp term ack",     // 0x1107
    "pap auth req",     // 0x1108
    "pap auth ack",     // 0x1109
    "pap auth nak",     // 0x110A
    "ipcp cfg req",     // 0x110B
    "ipcp cfg ack",     // 0x110C
    "ipcp cfg nak",     // 0x110D
    "ipcp cfg rej",     // 0x110E
    "PPPoE connected",  // 0x110F

    // 0x1110: ICMP destination-unreachable kinds
    "Network unreachable",              // 0x1110
    "Host unreachable",                 // 0x1111
    "Protocol unreachable",             // 0x1112
    "Port unreachable",                 // 0x1113
    "Fragmentation needed and DF set",  // 0x1114
    "Source route failed",              // 0x1115
    "Destination network unknown",      // 0x1116
    "Destination host unknown",         // 0x1117
    "Source host isolate",              // 0x1118
    "",                                 // 0x1119
    "",                                 // 0x111A
    "Network unreachable for TOS",      // 0x111B
    "Host unreachable for TOS",         // 0x111C
    "",                                 // 0x111D
    "",                                 // 0x111E
    "",                                 // 0x111F

    // 0x1120: H.450, hold
    "h450 ctInitiate",     // 0x1120
    "h450 Return Result",  // 0x1121
    "h450 Return Error",   // 0x1122
    "h450 invoke",         // 0x1123
    "h450 ctSetup",        // 0x1124
    "peer hold",           // 0x1125
    "peer retrieve",       // 0x1126
    "",                    // 0x1127
    "",                    // 0x1128
    "",                    // 0x1129
    "",                    // 0x112A
    "",                    // 0x112B
    "",                    // 0x112C
    "",                    // 0x112D
    "",                    // 0x112E
    "",                    // 0x112F

    // 0x1130: gatekeeper discovery
    "gatekeeper request",        // 0x1130
    "gatekeeper confirm",        // 0x1131
    "gatekeepr reject",          // 0x1132
    "ras info response",         // 0x1133
    "gk id mismatch",            // 0x1134
    "ignore ras from other gk",  // 0x1135
    "",                          // 0x1136
    "",                          // 0x1137
    "",                          // 0x1138
    "",                          // 0x1139
    "",                          // 0x113A
    "",                          // 0x113B
    "",                          // 0x113C
    "",                          // 0x113D
    "",                          // 0x113E
    "",                          // 0x113F

    // 0x1140: CHAP, FTP
    "chap challenge",            // 0x1140
    "chap response",             // 0x1141
    "chap success",              // 0x1142
    "chap failure",              // 0x1143
    "",                          // 0x1144
    "",                          // 0x1145
    "",                          // 0x1146
    "ftp get file",              // 0x1147
    "ftp connected",             // 0x1148
    "ftp closed",                // 0x1149
    "ftp timer failed",          // 0x114A
    "ftp data connected",        // 0x114B
    "ftp data closed",           // 0x114C
    "ftp data timer failed",     // 0x114D
    "ftp start file transfer",   // 0x114E
    "ftp finish file transfer",  // 0x114F

    // 0x1150: unused
    "",  // 0x1150
    "",  // 0x1151
    "",  // 0x1152
    "",  // 0x1153
    "",  // 0x1154
    "",  // 0x1155
    "",  // 0x1156
    "",  // 0x1157
    "",  // 0x1158
    "",  // 0x1159
    "",  // 0x115A
    "",  // 0x115B
    "",  // 0x115C
    "",  // 0x115D
    "",  // 0x115E
    "",  // 0x115F

    // 0x1160: unused
    "",  // 0x1160
    "",  // 0x1161
    "",  // 0x1162
    "",  // 0x1163
    "",  // 0x1164
    "",  // 0x1165
    "",  // 0x1166
    "",  // 0x1167
    "",  // 0x1168
    "",  // 0x1169
    "",  // 0x116A
    "",  // 0x116B
    "",  // 0x116C
    "",  // 0x116D
    "",  // 0x116E
    "",  // 0x116F

    // 0x1170: unused
    "",  // 0x1170
    "",  // 0x1171
    "",  // 0x1172
    "",  // 0x1173
    "",  // 0x1174
    "",  // 0x1175
    "",  // 0x1176
    "",  // 0x1177
    "",  // 0x1178
    "",  // 0x1179
    "",  // 0x117A
    "",  // 0x117B
    "",  // 0x117C
    "",  // 0x117D
    "",  // 0x117E
    "",  // 0x117F

    // 0x1180: display texts
    "Ready For Calls",  // 0x1180
    "VT2088 Powered",   // 0x1181
    "Local IP",         // 0x1182
    "Subnet Mask",      // 0x1183
    "Router IP",        // 0x1184
    "DNS IP",           // 0x1185
    "Upgrade IP",       // 0x1186
    "Proxy IP",         // 0x1187
    "Service IP",       // 0x1188
    "Phone Number",     // 0x1189
    "Missed Calls",     // 0x118A
    "Answered Calls",   // 0x118B
    "Dialed Calls",     // 0x118C
    "Recording ...",    // 0x118D
    "Playing ...",      // 0x118E
    "Delete",           // 0x118F

    // 0x1190: display texts
    "Empty",          // 0x1190
    "Message Full",   // 0x1191
    "Memory",         // 0x1192
    "Speed Dial",     // 0x1193
    "Vol+",           // 0x1194
    "Vol-",           // 0x1195
    "Redial",         // 0x1196
    "Handfree",       // 0x1197
    "Call",           // 0x1198
    "Calling ...",    // 0x1199
    "Ringing ...",    // 0x119A
    "Answering ...",  // 0x119B
    "Connected",      // 0x119C
    "Disconnecting",  // 0x119D
    " ",              // 0x119E
    "OK",             // 0x119F

    // 0x11A0: display texts
    "Failed",        // 0x11A0
    "Handset Up",    // 0x11A1
    "Handset Down",  // 0x11A2
    "Network",       // 0x11A3
    "DHCP",          // 0x11A4
    "PPPoE",         // 0x11A5
    "DNS",           // 0x11A6
    "Log On",        // 0x11A7
    "Log Off",       // 0x11A8
    "Updating ...",  // 0x11A9
    "Please Wait",   // 0x11AA
    "Test Mode",     // 0x11AB
    "Test",          // 0x11AC
    "Start",         // 0x11AD
    "Stop",          // 0x11AE
    "Restart",       // 0x11AF

    // 0x11B0: display texts
    "Dial Number",      // 0x11B0
    "Service Port",     // 0x11B1
    "Service Dns",      // 0x11B2
    "0%",               // 0x11B3
    "00:00:00",         // 0x11B4
    "Connecting...",    // 0x11B5
    "PPP",              // 0x11B6
    "Peer Hangup",      // 0x11B7
    "Invalid Number",   // 0x11B8
    "Peer Busy",        // 0x11B9
    "Unknown Number",   // 0x11BA
    "Call Hold",        // 0x11BB
    "Call Transfer",    // 0x11BC
    "Please Dial ...",  // 0x11BD
    "No Answer",        // 0x11BE
    "Peer Reject",      // 0x11BF

    // 0x11C0: display texts
    "Last Call:",      // 0x11C0
    "Wait Logon ...",  // 0x11C1
    "Network Error",   // 0x11C2
    "GK Clear Call",   // 0x11C3
    "Please Hangup",   // 0x11C4
    "ARP",             // 0x11C5
};

constexpr std::array<uint8_t, kDebugNameCount> DebugNameLengths = [] {
  std::array<uint8_t, kDebugNameCount> lengths{};
  for (size_t i = 0; i < kDebugNameCount; ++i) {
    size_t n = 0;
    while (n < kDebugNameFieldSize && DebugNameTable[i][n] != '\0') ++n;
    lengths[i] = static_cast<uint8_t>(n);
  }
  return lengths;
}();
static_assert(sizeof DebugNameTable == 18160);

// The values are the positions in the H.225.0 and H.245 reason lists, scaled as the phone prints them.
constexpr DebugReason AdmissionRejectReasons[8] = {
    {0, "called party not registered -- can't translate address"},
    {16, "invalid permission -- permission has expired"},
    {32, "request denied -- no bandwith available"},
    {48, "undefined reason"},
    {64, "caller not registered"},
    {80, "route call to gatekeeper"},
    {96, "invalid endpoint identifier"},
    {112, "resource unavailable"},
};

constexpr DebugReason ReleaseCompleteReasons[3] = {
    {0, "noBandwith"},
    {8, "gatekeeperResources"},
    {88, "undefinedReason"},
};

constexpr DebugReason LogicalChannelRejectReasons[3] = {
    {0, "unspecified"},
    {48, "dataTypeNotAvailable"},
    {64, "unknownDataType"},
};

constexpr bool ReasonsFit(const DebugReason* begin, const DebugReason* end) {
  for (; begin != end; ++begin)
    if (begin->text.size() > kMaxDebugReasonLength) return false;
  return true;
}
static_assert(ReasonsFit(std::begin(AdmissionRejectReasons), std::end(AdmissionRejectReasons)) &&
              ReasonsFit(std::begin(ReleaseCompleteReasons), std::end(ReleaseCompleteReasons)) &&
              ReasonsFit(std::begin(LogicalChannelRejectReasons), std::end(LogicalChannelRejectReasons)));

std::string_view DebugName(uint32_t code) {
  if (!IsDebugCode(code)) return {};
  size_t i = code - kFirstDebugCode;
  return {DebugNameTable[i], DebugNameLengths[i]};
}

std::span<const DebugReason> DebugReasons(uint32_t code) {
  switch (code) {
    case kRasAdmissionReject:
      return AdmissionRejectReasons;
    case kH2250ReleaseComplete:
      return ReleaseCompleteReasons;
    case kH245LogicalChannelReject:
      return LogicalChannelRejectReasons;
    default:
      return {};
  }
}

std::string_view DebugReasonText(uint32_t code, long long value) {
  for (const DebugReason& r : DebugReasons(code)) {
    if (r.value == value) return r.text;
  }
  return {};
}

}  // namespace quill
