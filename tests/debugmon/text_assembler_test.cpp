#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debugmon/cdr_text_assembler.h"
#include "debugmon/debug_text_assembler.h"
#include "tests/support/loopback.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using Parts = std::vector<std::string>;

const uint32_t kPhone = HostToNetworkAddress(0xC0A80164);  // 192.168.1.100
const uint32_t kOther = loopback::kOnlyInText.Network();
const std::string kPhonePrefix = "192.168.1.100: ";

Parts Feed(CDebugTextAssembler& a, uint32_t sender, const std::string& bytes) {
  return a.Assemble(sender, bytes.data(), bytes.size());
}

std::string Piece(size_t length) {
  std::string s;
  for (size_t i = 0; i < length; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

TEST(CDebugTextAssembler, PiecesAreDecodedAndPrefixedWithTheSender) {
  struct Row {
    const char* what;
    std::string datagram;
    Parts parts;
  } rows[] = {
      {"no zero byte", "abc", {kPhonePrefix, "abc"}},
      {"one terminated piece", std::string("0x1018 3\n", 9) + '\0', {kPhonePrefix, "arp send 3\n"}},
      {"two pieces",
       std::string("0x1018 3\n\0boot 0x1000\n\0", 23),
       {kPhonePrefix, "arp send 3\n", kPhonePrefix, "boot check point 0\n"}},
      {"last piece without its zero", std::string("a\0b", 3), {kPhonePrefix, "a", kPhonePrefix, "b"}},
      {"empty piece still prefixed", std::string("a\0\0", 3), {kPhonePrefix, "a", kPhonePrefix}},
      {"piece that decodes to nothing", "0x100B", {kPhonePrefix}},
  };
  for (const Row& r : rows) {
    CDebugTextAssembler a;
    EXPECT_EQ(Feed(a, kPhone, r.datagram), r.parts) << r.what;
  }
}

TEST(CDebugTextAssembler, OnlyA480CharacterPieceIsContinuedWithoutPrefix) {
  struct Row {
    size_t length;
    bool continued;
  } rows[] = {{479, false}, {480, true}, {481, false}};
  for (const Row& r : rows) {
    // The next piece in the same datagram.
    CDebugTextAssembler same;
    std::string first = Piece(r.length);
    Parts expected = {kPhonePrefix, first};
    if (!r.continued) expected.push_back(kPhonePrefix);
    expected.push_back("tail");
    EXPECT_EQ(Feed(same, kPhone, first + '\0' + "tail"), expected) << r.length;

    // The next piece in the next datagram, the first one ended with its zero or without it.
    for (bool zero : {true, false}) {
      CDebugTextAssembler next;
      EXPECT_EQ(Feed(next, kPhone, zero ? first + '\0' : first), (Parts{kPhonePrefix, first}));
      EXPECT_EQ(next.LastPieceSize(), r.length + 1);
      Parts second = r.continued ? Parts{"arp send"} : Parts{kPhonePrefix, "arp send"};
      EXPECT_EQ(Feed(next, kPhone, "0x1018"), second) << r.length << (zero ? " with zero" : " without zero");
      // The continuation is an ordinary piece: what follows it is prefixed again.
      EXPECT_EQ(Feed(next, kPhone, "x"), (Parts{kPhonePrefix, "x"}));
    }
  }
}

TEST(CDebugTextAssembler, ChainedContinuationsAndAFullDatagram) {
  CDebugTextAssembler a;
  std::string p = Piece(480);
  // 480 + 480 + rest: one prefix for the whole run.
  EXPECT_EQ(Feed(a, kPhone, p + '\0' + p + '\0' + "end"), (Parts{kPhonePrefix, p, p, "end"}));
  EXPECT_EQ(a.LastPieceSize(), 4u);
  // A datagram filling the 1400-byte receive buffer with no zero is one piece.
  std::string big = Piece(1400);
  EXPECT_EQ(Feed(a, kPhone, big), (Parts{kPhonePrefix, big}));
  EXPECT_EQ(a.LastPieceSize(), 1401u);
}

TEST(CDebugTextAssembler, AnotherPhoneNeverContinuesAPiece) {
  CDebugTextAssembler a;
  std::string p = Piece(480);
  EXPECT_EQ(Feed(a, kPhone, p), (Parts{kPhonePrefix, p}));
  EXPECT_EQ(Feed(a, kOther, "hello"), (Parts{loopback::kOnlyInText + ": ", "hello"}));
}

TEST(CCdrTextAssembler, RecordsAreShownAsTheyCame) {
  CCdrTextAssembler cdr;
  struct Row {
    std::string datagram;
    Parts parts;
  } rows[] = {
      {"abc", {kPhonePrefix, "abc"}},
      {"0x1018 3\r\n", {kPhonePrefix, "0x1018 3\r\n"}},
      {std::string("rec\0junk", 8), {kPhonePrefix, "rec"}},
      {std::string("\0x", 2), {kPhonePrefix}},
  };
  for (const Row& r : rows) EXPECT_EQ(cdr.Assemble(kPhone, r.datagram.data(), r.datagram.size()), r.parts);
}

}  // namespace
}  // namespace quill
