#include "webgen/field_table.h"

namespace quill::webgen {
namespace {

using enum FieldKind;
constexpr FieldLanguage kBoth = FieldLanguage::kBoth;
constexpr FieldLanguage kChinese = FieldLanguage::kChinese;
constexpr FieldLanguage kEnglish = FieldLanguage::kEnglish;

// A list is "<SELECT name=NAME size=1>", then per option "<OPTION value=D AREA>LABEL</OPTION>" where D is
// the option's number and AREA eight bytes, then "</SELECT>"; each option's slot is its "value=" plus 8.
// The slots and widths are the firmware's: a change here must be matched in the phone's sources.
constexpr FieldEntry kFields[] = {
    {0, "ip", kBoth, kValue,
     "<INPUT name=ip value=255.255.255.255 size=16 maxlength=15>",
     {21}, 15},
    {1, "gkip", kBoth, kValue,
     "<INPUT name=gkip value=255.255.255.255 size=16 maxlength=15>",
     {23}, 15},
    {2, "gk", kBoth, kCheckBox,
     "<INPUT name=gk CHECKED type=checkbox>",
     {15}, 7},
    {3, "ringtype", kBoth, kList,
     "<SELECT name=ringtype size=1>"
     "<OPTION value=0         >PCM</OPTION>"
     "<OPTION value=1         >DTMF</OPTION>"
     "</SELECT>",
     {45, 82}, 8},
    {4, "phonenumber", kBoth, kValue,
     "<INPUT name=phonenumber value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>",
     {31}, 17},
    {5, "subnetmask", kBoth, kValue,
     "<INPUT name=subnetmask value=255.255.255.255 size=16 maxlength=15>",
     {29}, 15},
    {6, "router", kBoth, kValue,
     "<INPUT name=router value=255.255.255.255 size=16 maxlength=15>",
     {25}, 15},
    {7, "dhcp", kBoth, kCheckBox,
     "<INPUT name=dhcp CHECKED type=checkbox>",
     {17}, 7},
    {8, "handsetin", kBoth, kValue,
     "<INPUT name=handsetin value=xx size=5 maxlength=2>",
     {28}, 2},
    {9, "handsetout", kBoth, kValue,
     "<INPUT name=handsetout value=xx size=5 maxlength=2>",
     {29}, 2},
    {10, "agc", kBoth, kCheckBox,
     "<INPUT name=agc CHECKED type=checkbox>",
     {16}, 7},
    {11, "dns", kBoth, kValue,
     "<INPUT name=dns value=255.255.255.255 size=16 maxlength=15>",
     {22}, 15},
    {12, "h235", kBoth, kCheckBox,
     "<INPUT name=h235 CHECKED type=checkbox>",
     {17}, 7},
    {13, "answer", kBoth, kValue,
     "<INPUT name=answer value=xx size=5 maxlength=2>",
     {25}, 2},
    {14, "localalias", kBoth, kList,
     "<SELECT name=localalias size=1>"
     "<OPTION value=0         >Phone number</OPTION>"
     "<OPTION value=1         >Full Number</OPTION>"
     "<OPTION value=2         >H.323 ID</OPTION>"
     "<OPTION value=3         >MAC</OPTION>"
     "<OPTION value=4         >Gateway</OPTION>"
     "</SELECT>",
     {47, 93, 138, 180, 217}, 8},
    {15, "speakerout", kBoth, kValue,
     "<INPUT name=speakerout value=xx size=5 maxlength=2>",
     {29}, 2},
    {16, "audiotype", kBoth, kList,
     "<SELECT name=audiotype size=1>"
     "<OPTION value=0         >G.711U</OPTION>"
     "<OPTION value=1         >G.711A</OPTION>"
     "<OPTION value=2         >G.723.1</OPTION>"
     "<OPTION value=3         >G.729</OPTION>"
     "<OPTION value=4         >G.729A</OPTION>"
     "<OPTION value=5         >G.729B</OPTION>"
     "<OPTION value=6         >G.729AB</OPTION>"
     "</SELECT>",
     {46, 86, 126, 167, 206, 246, 286}, 8},
    {17, "audioframes", kBoth, kValue,
     "<INPUT name=audioframes value=xx size=5 maxlength=2>",
     {30}, 2},
    {18, "q931port", kBoth, kValue,
     "<INPUT name=q931port value=xxxxx size=5 maxlength=5>",
     {27}, 5},
    {19, "vad", kBoth, kCheckBox,
     "<INPUT name=vad CHECKED type=checkbox>",
     {16}, 7},
    {20, "6.3k", kBoth, kCheckBox,
     "<INPUT name=6.3k CHECKED type=checkbox>",
     {17}, 7},
    {21, "speakerin", kBoth, kValue,
     "<INPUT name=speakerin value=xx size=5 maxlength=2>",
     {28}, 2},
    {22, "proxyip", kBoth, kValue,
     "<INPUT name=proxyip value=255.255.255.255 size=16 maxlength=15>",
     {26}, 15},
    {23, "proxy", kChinese, kList,
     "<SELECT name=proxy size=1>"
     "<OPTION value=0         >\xb2\xbb\xca\xb9\xd3\xc3</OPTION>"  // 不使用
     "<OPTION value=1         >\xca\xb9\xd3\xc3</OPTION>"  // 使用
     "<OPTION value=2         >\xd7\xd4\xb6\xaf\xd1\xb0\xd5\xd2" "2\xbc\xb6\xc2\xb7\xd3\xc9</OPTION>"  // 自动寻找2级路由
     "<OPTION value=3         >\xd7\xd4\xb6\xaf\xd1\xb0\xd5\xd2" "3\xbc\xb6\xc2\xb7\xd3\xc9</OPTION>"  // 自动寻找3级路由
     "<OPTION value=4         >\xd7\xd4\xb6\xaf\xd1\xb0\xd5\xd2" "4\xbc\xb6\xc2\xb7\xd3\xc9</OPTION>"  // 自动寻找4级路由
     "<OPTION value=5         >\xd7\xd4\xb6\xaf\xc1\xac\xbd\xd3</OPTION>"  // 自动连接
     "</SELECT>",
     {42, 82, 120, 169, 218, 267}, 8},
    {23, "proxy", kEnglish, kList,
     "<SELECT name=proxy size=1>"
     "<OPTION value=0         >disable</OPTION>"
     "<OPTION value=1         >enable</OPTION>"
     "<OPTION value=2         >search 2</OPTION>"
     "<OPTION value=3         >search 3</OPTION>"
     "<OPTION value=4         >search 4</OPTION>"
     "<OPTION value=5         >connect</OPTION>"
     "</SELECT>",
     {42, 83, 123, 165, 207, 249}, 8},
    {24, "tftp", kBoth, kValue,
     "<INPUT name=tftp value=255.255.255.255 size=16 maxlength=15>",
     {23}, 15},
    {25, "faststart", kChinese, kList,
     "<SELECT name=faststart size=1>"
     "<OPTION value=0         >\xb2\xbb\xca\xb9\xd3\xc3</OPTION>"  // 不使用
     "<OPTION value=1         >\xca\xb9\xd3\xc3</OPTION>"  // 使用
     "<OPTION value=2         >H245\xcb\xed\xb5\xc0</OPTION>"  // H245隧道
     "</SELECT>",
     {46, 86, 124}, 8},
    {25, "faststart", kEnglish, kList,
     "<SELECT name=faststart size=1>"
     "<OPTION value=0         >Disable</OPTION>"
     "<OPTION value=1         >Faststart</OPTION>"
     "<OPTION value=2         >Tunneling</OPTION>"
     "</SELECT>",
     {46, 87, 130}, 8},
    {26, "dtmf", kBoth, kList,
     "<SELECT name=dtmf size=1>"
     "<OPTION value=0         >H.245 string</OPTION>"
     "<OPTION value=1         >H.245 signal</OPTION>"
     "<OPTION value=2         >Q.931 keypad</OPTION>"
     "<OPTION value=3         >RFC2833</OPTION>"
     "</SELECT>",
     {41, 87, 133, 179}, 8},
    {27, "password", kBoth, kValue,
     "<INPUT name=password value=\"xxxxxxxxxxxxxxx\" size=16 maxlength=15 type=password>",
     {28}, 16},
    {28, "iddcode", kBoth, kValue,
     "<INPUT name=iddcode value=xxxx size=5 maxlength=4>",
     {26}, 4},
    {29, "iddprefix", kBoth, kValue,
     "<INPUT name=iddprefix value=xxx size=5 maxlength=3>",
     {28}, 3},
    {30, "dialplan", kBoth, kCheckBox,
     "<INPUT name=dialplan CHECKED type=checkbox>",
     {21}, 7},
    {31, "dddcode", kBoth, kValue,
     "<INPUT name=dddcode value=xxxx size=5 maxlength=4>",
     {26}, 4},
    {32, "dddprefix", kBoth, kValue,
     "<INPUT name=dddprefix value=xxx size=5 maxlength=3>",
     {28}, 3},
    {33, "maxnumberlen", kBoth, kValue,
     "<INPUT name=maxnumberlen value=xx size=5 maxlength=2>",
     {31}, 2},
    {34, "innerline", kBoth, kCheckBox,
     "<INPUT name=innerline CHECKED type=checkbox>",
     {22}, 7},
    {35, "localprefix", kBoth, kValue,
     "<INPUT name=localprefix value=xx size=5 maxlength=2>",
     {30}, 2},
    {36, "nonlocalprefix", kBoth, kValue,
     "<INPUT name=nonlocalprefix value=xx size=5 maxlength=2>",
     {33}, 2},
    {37, "prepaid", kChinese, kList,
     "<SELECT name=prepaid size=1>"
     "<OPTION value=0         >\xb2\xbb\xca\xb9\xd3\xc3 </OPTION>"  // 不使用 
     "<OPTION value=1         >Mediaring</OPTION>"
     "<OPTION value=2         >eTalk</OPTION>"
     "<OPTION value=3         >Polylink</OPTION>"
     "<OPTION value=4         >Net2phone</OPTION>"
     "<OPTION value=5         >CTCZZ</OPTION>"
     "</SELECT>",
     {44, 85, 128, 167, 209, 252}, 8},
    {37, "prepaid", kEnglish, kList,
     "<SELECT name=prepaid size=1>"
     "<OPTION value=0         >Not Use</OPTION>"
     "<OPTION value=1         >Mediaring</OPTION>"
     "<OPTION value=2         >eTalk</OPTION>"
     "<OPTION value=3         >Polylink</OPTION>"
     "<OPTION value=4         >Net2phone</OPTION>"
     "<OPTION value=5         >CTCZZ</OPTION>"
     "</SELECT>",
     {44, 85, 128, 167, 209, 252}, 8},
    {38, "account", kBoth, kValue,
     "<INPUT name=account value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>",
     {27}, 17},
    {39, "pin", kBoth, kValue,
     "<INPUT name=pin value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>",
     {23}, 17},
    {40, "cdr", kChinese, kList,
     "<SELECT name=cdr size=1>"
     "<OPTION value=0         >\xb2\xbb\xca\xb9\xd3\xc3</OPTION>"  // 不使用
     "<OPTION value=1         >\xc4\xac\xc8\xcf\xca\xe4\xb3\xf6</OPTION>"  // 默认输出
     "<OPTION value=2         >\xbd\xf6\xd3\xc3" "DDA</OPTION>"  // 仅用DDA
     "</SELECT>",
     {40, 80, 122}, 8},
    {40, "cdr", kEnglish, kList,
     "<SELECT name=cdr size=1>"
     "<OPTION value=0         >Not Use</OPTION>"
     "<OPTION value=1         >Output</OPTION>"
     "<OPTION value=2         >DDA Only</OPTION>"
     "</SELECT>",
     {40, 81, 121}, 8},
    {41, "cdrip", kBoth, kValue,
     "<INPUT name=cdrip value=255.255.255.255 size=16 maxlength=15>",
     {24}, 15},
    {42, "gwip", kBoth, kValue,
     "<INPUT name=gwip value=255.255.255.255 size=16 maxlength=15>",
     {23}, 15},
    {43, "remotealias", kBoth, kList,
     "<SELECT name=remotealias size=1>"
     "<OPTION value=0         >H323 ID</OPTION>"
     "<OPTION value=1         >E.164</OPTION>"
     "</SELECT>",
     {48, 89}, 8},
    {44, "h323id", kBoth, kValue,
     "<INPUT name=h323id value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>",
     {26}, 17},
    {45, "speakertone", kBoth, kValue,
     "<INPUT name=speakertone value=xx size=5 maxlength=2>",
     {30}, 2},
    {46, "handsettone", kBoth, kValue,
     "<INPUT name=handsettone value=xx size=5 maxlength=2>",
     {30}, 2},
    {47, "pppid", kBoth, kValue,
     "<INPUT name=pppid value=\"xxxxxxxxxxxxxxxxxxxxxxx\" size=24 maxlength=23>",
     {25}, 24},
    {48, "ppppin", kBoth, kValue,
     "<INPUT name=ppppin value=\"xxxxxxxxxxxxxxx\" size=16 maxlength=15>",
     {26}, 16},
    {49, "gkid", kBoth, kValue,
     "<INPUT name=gkid value=\"xxxxxxxxxxxxxxxxxxxxxxxx\" size=24 maxlength=24>",
     {24}, 25},
    {50, "rasport", kBoth, kValue,
     "<INPUT name=rasport value=xxxxx size=5 maxlength=5>",
     {26}, 5},
    {51, "h245port", kBoth, kValue,
     "<INPUT name=h245port value=xxxxx size=5 maxlength=5>",
     {27}, 5},
    {52, "rtpport", kBoth, kValue,
     "<INPUT name=rtpport value=xxxxx size=5 maxlength=5>",
     {26}, 5},
    {53, "aec", kBoth, kCheckBox,
     "<INPUT name=aec CHECKED type=checkbox>",
     {16}, 7},
    {54, "predialtime", kBoth, kValue,
     "<INPUT name=predialtime value=xxx size=5 maxlength=3>",
     {30}, 3},
    {55, "interdialtime", kBoth, kValue,
     "<INPUT name=interdialtime value=xxx size=5 maxlength=3>",
     {32}, 3},
    {56, "postdialtime", kBoth, kValue,
     "<INPUT name=postdialtime value=xxx size=5 maxlength=3>",
     {31}, 3},
    {57, "firmware", kBoth, kValue,
     "<INPUT name=firmware value=xx size=5 maxlength=2>",
     {27}, 2},
    {58, "protocol", kBoth, kList,
     "<SELECT name=protocol size=1>"
     "<OPTION value=0 selected>H.323</OPTION>"
     "<OPTION value=1         >SIP</OPTION>"
     "<OPTION value=2         >MGCP</OPTION>"
     "</SELECT>",
     {45, 84, 121}, 8},
    {59, "pppoe", kBoth, kCheckBox,
     "<INPUT name=pppoe CHECKED type=checkbox>",
     {18}, 7},
    {60, "debug", kChinese, kList,
     "<SELECT name=debug size=1>"
     "<OPTION value=0         >\xb2\xbb\xca\xe4\xb3\xf6</OPTION>"  // 不输出
     "<OPTION value=1         >\xca\xe4\xb3\xf6\xd0\xc5\xcf\xa2</OPTION>"  // 输出信息
     "<OPTION value=2         >\xca\xe4\xb3\xf6\xcb\xf9\xd3\xd0\xca\xfd\xbe\xdd</OPTION>"  // 输出所有数据
     "<OPTION value=3         >\xd4\xb6\xb3\xcc\xb5\xf7\xca\xd4</OPTION>"  // 远程调试
     "<OPTION value=4         >\xb2\xbb\xbc\xec\xb2\xe9\xb3\xcc\xd0\xf2\xd0\xcd\xba\xc5</OPTION>"  // 不检查程序型号
     "<OPTION value=5         >\xd4\xca\xd0\xed\xca\xb9\xd3\xc3Quilltool</OPTION>"  // 允许使用Quilltool
     "</SELECT>",
     {42, 82, 124, 170, 212, 260}, 8},
    {60, "debug", kEnglish, kList,
     "<SELECT name=debug size=1>"
     "<OPTION value=0         >No Trace</OPTION>"
     "<OPTION value=1         >Trace Information</OPTION>"
     "<OPTION value=2         >Trace All Data</OPTION>"
     "<OPTION value=3         >Remote Debug</OPTION>"
     "<OPTION value=4         >Disable ProductID</OPTION>"
     "<OPTION value=5         >Enable QuillTool</OPTION>"
     "</SELECT>",
     {42, 84, 135, 183, 229, 280}, 8},
    {61, "digitmap", kBoth, kCheckBox,
     "<INPUT name=digitmap CHECKED type=checkbox>",
     {21}, 7},
    {62, "superpass", kBoth, kValue,
     "<INPUT name=superpass value=\"xxxxxxxxxxxxxxx\" size=16 maxlength=15 type=password>",
     {29}, 16},
    {63, "serviceport", kBoth, kValue,
     "<INPUT name=serviceport value=xxxxx size=5 maxlength=5>",
     {30}, 5},
    {64, "dialnumber", kBoth, kValue,
     "<INPUT name=dialnumber value=\"xxxxxxxxxxxxxxx\" size=16 maxlength=15>",
     {30}, 16},
    {65, "pppid1", kBoth, kValue,
     "<INPUT name=pppid1 value=\"xxxxxxxxxxxxxxxxxxxxxxx\" size=24 maxlength=23>",
     {26}, 24},
    {66, "servicedns", kBoth, kValue,
     "<INPUT name=servicedns value=\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\" size=24 maxlength=48>",
     {30}, 49},
    {67, "cdrdns", kBoth, kValue,
     "<INPUT name=cdrdns value=\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\" size=24 maxlength=48>",
     {26}, 49},
    {68, "", kBoth, kTitle,
     "<TITLE>xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx</TITLE>",
     {7}, 32},
    {69, "", kBoth, kValue,
     "<INPUT name=n001 value=\"xxxxxxxxxxxxxx\" size=16 maxlength=14>",
     {24}, 15},
    {70, "", kBoth, kValue,
     "<INPUT name=p001 value=\"xxxxxxxxxxxxxxxx\" size=16 maxlength=16>",
     {24}, 17},
    {71, "mac", kBoth, kValue,
     "<INPUT name=mac value=xxxxxxxxxxxxxxxx size=16 maxlength=16>",
     {22}, 16},
    {72, "netretry", kBoth, kValue,
     "<INPUT name=netretry value=xxx size=5 maxlength=3>",
     {27}, 3},
    {73, "autoanswer", kBoth, kCheckBox,
     "<INPUT name=autoanswer CHECKED type=checkbox>",
     {23}, 7},
    {74, "abbrdialplan", kBoth, kCheckBox,
     "<INPUT name=abbrdialplan CHECKED type=checkbox>",
     {25}, 7},
};

}  // namespace

std::span<const FieldEntry> FieldTable() { return kFields; }

const FieldEntry* FindFieldEntry(int index, bool chinese) {
  const FieldLanguage wanted = chinese ? kChinese : kEnglish;
  for (const FieldEntry& e : kFields)
    if (e.index == index && (e.language == kBoth || e.language == wanted)) return &e;
  return nullptr;
}

int FieldIndexOfName(std::string_view name) {
  if (name.empty()) return kNoField;
  for (const FieldEntry& e : kFields)
    if (e.name == name) return e.index;
  return kNoField;
}

}  // namespace quill::webgen
