#include "app/tool_options.h"

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

class ToolOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  SettingsStore& store = SettingsStore::Profile();
};

TEST_F(ToolOptionsTest, AnEmptyStoreGivesTheDefaults) {
  ToolOptions o = LoadToolOptions();
  EXPECT_EQ(o.serialPortIndex, 0);
  EXPECT_EQ(o.PortName(), "COM1");
  EXPECT_EQ(o.linkType, 1);
  EXPECT_EQ(o.realtime, 1);
  EXPECT_EQ(o.saveFile, 0);
  EXPECT_EQ(o.realtimeOut, 1);
  EXPECT_EQ(o.noAcm, 1);
  EXPECT_EQ(o.useVad, 1);
  EXPECT_EQ(o.useHighRate, 1);
  EXPECT_EQ(o.codecType, 0);
  EXPECT_EQ(o.sdramLength, 0);
  EXPECT_EQ(o.ipField, 0xC0A80164u);
  EXPECT_EQ(o.flashPage, 0);
  EXPECT_EQ(o.chipType, 4);
}

TEST_F(ToolOptionsTest, APortTextOtherThanCom1SelectsTheSecondPortAndIsStoredAsCom2) {
  for (const char* stored : {"com1", "COM3", "COM1 ", ""}) {
    EXPECT_TRUE(store.WriteString("Rs232", "Port", stored));
    ToolOptions o = LoadToolOptions();
    EXPECT_EQ(o.serialPortIndex, 1) << stored;
    EXPECT_TRUE(WriteToolOptions(o));
    EXPECT_EQ(store.GetString("Rs232", "Port", ""), "COM2") << stored;
  }
}

TEST_F(ToolOptionsTest, TheAddressIsStoredFirstOctetMostSignificantButNeverLoadedIntoTheField) {
  ToolOptions o = LoadToolOptions();
  o.ipField = 0x0A000005;  // 10.0.0.5
  EXPECT_TRUE(WriteToolOptions(o));
  EXPECT_EQ(static_cast<uint32_t>(store.GetInt("Peer", "IPAddress", 0)), 0x0A000005u);
  EXPECT_EQ(LoadToolOptions().ipField, 0xC0A80164u);
  EXPECT_EQ(DottedAddress(0x0A000005), "10.0.0.5");
}

TEST_F(ToolOptionsTest, PageAndChipAreWrittenButNeverReadBack) {
  ToolOptions o = LoadToolOptions();
  o.flashPage = 7;
  o.chipType = 2;
  o.linkType = 0;
  o.codecType = 5;
  o.sdramLength = 1000;
  EXPECT_TRUE(WriteToolOptions(o));
  EXPECT_EQ(store.GetInt("PFlash", "Page", -1), 7);
  EXPECT_EQ(store.GetInt("PFlash", "Type", -1), 2);
  ToolOptions back = LoadToolOptions();
  EXPECT_EQ(back.flashPage, 0);
  EXPECT_EQ(back.chipType, 4);
  EXPECT_EQ(back.linkType, 0);
  EXPECT_EQ(back.codecType, 5);
  EXPECT_EQ(back.sdramLength, 1000);
}

TEST_F(ToolOptionsTest, AnIntegerOptionHoldingTextReadsAsItsDefault) {
  EXPECT_TRUE(store.WriteString("UdpAudio", "SaveFile", "yes"));
  EXPECT_TRUE(store.WriteString("Comm", "Type", "tcp"));
  ToolOptions o = LoadToolOptions();
  EXPECT_EQ(o.saveFile, 0);
  EXPECT_EQ(o.linkType, 1);
}

TEST(SdramLength, RangeIsZeroTo640000WithTheFrameworksMessage) {
  EXPECT_TRUE(SdramLengthInRange(0));
  EXPECT_TRUE(SdramLengthInRange(640000));
  EXPECT_FALSE(SdramLengthInRange(640001));
  EXPECT_FALSE(SdramLengthInRange(-1));
  EXPECT_EQ(RangeMessage(0, 640000), "Please enter an integer between 0 and 640000.");
}

}  // namespace
}  // namespace quill
