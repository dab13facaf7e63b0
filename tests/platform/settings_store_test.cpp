#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>

#include "platform/application.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearStore(); }
  SettingsStore& store = SettingsStore::Profile();
};

TEST_F(SettingsStoreTest, MissingValuesReadAsTheDefault) {
  EXPECT_EQ(store.GetInt("Comm", "Type", 1), 1);
  EXPECT_EQ(store.GetString("Rs232", "Port", "COM1"), "COM1");
  EXPECT_FALSE(store.Contains("Comm", "Type"));
}

TEST_F(SettingsStoreTest, ValuesRoundTripWithTheirKind) {
  ASSERT_TRUE(store.WriteInt("Peer", "IPAddress", static_cast<int>(0xC0A80164u)));
  ASSERT_TRUE(store.WriteString("ProgramUpdate", "SrcName", "/tmp/a b,c.bin"));
  ASSERT_TRUE(store.WriteString("Names", "Chinese", "话机设置"));
  EXPECT_EQ(store.GetInt("Peer", "IPAddress", 0), -1062731420);
  EXPECT_EQ(store.GetString("ProgramUpdate", "SrcName", ""), "/tmp/a b,c.bin");
  EXPECT_EQ(store.GetString("Names", "Chinese", ""), "话机设置");
}

TEST_F(SettingsStoreTest, AnIntegerKeyThatHoldsNoIntegerReadsAsTheDefault) {
  ASSERT_TRUE(store.WriteString("Comm", "Type", "serial"));
  EXPECT_EQ(store.GetInt("Comm", "Type", 1), 1);
  ASSERT_TRUE(store.WriteString("Comm", "Type", "99999999999"));  // past 32 bits: not silently wrapped
  EXPECT_EQ(store.GetInt("Comm", "Type", 1), 1);
  ASSERT_TRUE(store.WriteString("Comm", "Type", " 0 "));
  EXPECT_EQ(store.GetInt("Comm", "Type", 1), 0);
}

TEST_F(SettingsStoreTest, WritingTheValueAKeyHoldsLeavesTheFileAsItIs) {
  ASSERT_TRUE(store.WriteString("Binary2H", "SrcName", "/tmp/a.bin"));
  ASSERT_TRUE(store.WriteInt("PFlash", "Page", 3));
  struct stat before {};
  ASSERT_EQ(::stat(store.FilePath().c_str(), &before), 0);
  EXPECT_TRUE(store.WriteString("Binary2H", "SrcName", "/tmp/a.bin"));
  EXPECT_TRUE(store.WriteInt("PFlash", "Page", 3));
  struct stat after {};
  ASSERT_EQ(::stat(store.FilePath().c_str(), &after), 0);
  // A save writes a new file and renames it over the old one.
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  ASSERT_TRUE(store.WriteInt("PFlash", "Page", 4));
  EXPECT_EQ(store.GetInt("PFlash", "Page", 0), 4);
  EXPECT_EQ(store.GetString("Binary2H", "SrcName", ""), "/tmp/a.bin");
  // A text that reads as the same number is still written in its own form.
  ASSERT_TRUE(store.WriteString("PFlash", "Page", " 4 "));
  EXPECT_EQ(store.GetString("PFlash", "Page", ""), " 4 ");
}

TEST(SettingsStoreParse, AcceptsSignedAndUnsigned32BitTexts) {
  EXPECT_EQ(SettingsStore::ParseStoredInt("-256"), -256);
  EXPECT_EQ(SettingsStore::ParseStoredInt("4294967040"), -256);  // FF FF FF 00 written unsigned
  EXPECT_EQ(SettingsStore::ParseStoredInt("+7"), 7);
  EXPECT_EQ(SettingsStore::ParseStoredInt("4294967296"), std::nullopt);
  EXPECT_EQ(SettingsStore::ParseStoredInt("-2147483649"), std::nullopt);
  EXPECT_EQ(SettingsStore::ParseStoredInt("12abc"), std::nullopt);
  EXPECT_EQ(SettingsStore::ParseStoredInt(""), std::nullopt);
  EXPECT_EQ(SettingsStore::ParseStoredInt("0x10"), std::nullopt);
}

TEST_F(SettingsStoreTest, TheStoreIsNamedAfterTheRegistryKeyAndTheProgram) {
  SettingsStore::SetRegistryKey("Quillmark Communications");
  std::string path = store.FilePath();
  EXPECT_NE(path.find("/Quillmark Communications/"), std::string::npos) << path;
  EXPECT_NE(path.find("/" + ApplicationName() + ".conf"), std::string::npos) << path;
}

}  // namespace
}  // namespace quill

namespace quill {
namespace {

TEST(SettingsStoreBatch, WritesAreVisibleAtOnceAndReachTheFileWhenTheBatchIsCommitted) {
  test::ClearStore();
  SettingsStore& store = SettingsStore::Profile();
  ASSERT_TRUE(store.WriteInt("Audio", "CodecType", 2));
  {
    SettingsStore::Batch batch;
    batch.WriteInt("Comm", "Type", 0);
    batch.WriteInt("Audio", "CodecType", 5);
    batch.WriteInt("Audio", "CodecType", 2);  // the last value of a key is the one stored
    {
      SettingsStore::Batch inner;
      ASSERT_TRUE(store.WriteString("Rs232", "Port", "COM2"));  // a write inside a batch joins it
      EXPECT_TRUE(store.Contains("Rs232", "Port"));
      EXPECT_EQ(test::ReadFile(store.FilePath()).find("COM2"), std::string::npos);  // not saved yet
      ASSERT_TRUE(inner.Commit());  // saves what the batches hold so far
    }
    EXPECT_NE(test::ReadFile(store.FilePath()).find("Port=COM2"), std::string::npos);
    batch.WriteInt("PFlash", "Page", 9);
    EXPECT_EQ(store.GetInt("PFlash", "Page", 0), 9);  // this thread sees its batch
    ASSERT_TRUE(batch.Commit());
  }
  std::string file = test::ReadFile(store.FilePath());
  EXPECT_NE(file.find("Type=0"), std::string::npos) << file;
  EXPECT_NE(file.find("Page=9"), std::string::npos) << file;
  EXPECT_NE(file.find("CodecType=2"), std::string::npos) << file;
}

// A failed save keeps none of the batch's values, also when an inner batch failed and the outer one goes on;
// a batch that ends without Commit still saves, and its failure is not lost: it goes to the notice handler.
TEST(SettingsStoreBatch, AFailedSaveKeepsNoneOfItsValuesAndIsNeverSilent) {
  test::TempDir dir;
  test::WriteFile(dir.File("a-file"), "");
  SettingsStore::SetLocation(dir.File("a-file"));  // every save fails: a file where the folder should be
  std::vector<std::string> notices;
  SettingsStore::SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
  SettingsStore& store = SettingsStore::Profile();
  {
    SettingsStore::Batch outer;
    outer.WriteInt("Comm", "Type", 0);
    {
      SettingsStore::Batch inner;
      inner.WriteInt("Audio", "CodecType", 3);
      EXPECT_FALSE(inner.Commit());
    }
    EXPECT_EQ(store.GetInt("Comm", "Type", 1), 1);
    outer.WriteInt("PFlash", "Page", 2);
    StoreResult result = outer.Commit();
    EXPECT_FALSE(result);
    EXPECT_NE(result.Reason().find("Not a directory"), std::string::npos) << result.Reason();
  }
  EXPECT_EQ(store.GetInt("Audio", "CodecType", 0), 0);
  EXPECT_EQ(store.GetInt("PFlash", "Page", 0), 0);
  EXPECT_TRUE(notices.empty());
  {
    SettingsStore::Batch forgotten;
    forgotten.WriteInt("Comm", "Type", 0);
  }
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(
      notices[0].rfind("Can not write the settings store\n" + store.FilePath() + ": Not a directory", 0), 0u)
      << notices[0];

  test::UsePrivateStore();
  test::ClearStore();
  {
    SettingsStore::Batch forgotten;
    forgotten.WriteInt("Comm", "Type", 0);
  }
  EXPECT_EQ(notices.size(), 1u);
  EXPECT_NE(test::ReadFile(store.FilePath()).find("Type=0"), std::string::npos);
  SettingsStore::SetNoticeHandler(nullptr);
}

}  // namespace
}  // namespace quill
