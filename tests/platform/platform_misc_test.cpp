#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/debug_log.h"
#include "platform/file_filter.h"
#include "platform/paths.h"
#include "platform/progress_model.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

TEST(DriveMap, FixedWindowsPathsLandUnderTheMappedDriveWithCaseKept) {
  test::ClearStore();
  ASSERT_TRUE(SettingsStore::Profile().WriteString("Paths", "DriveC", "/srv/drive-c"));
  EXPECT_EQ(MapWindowsPath("c:\\zediza323\\page0\\page0.hex"), "/srv/drive-c/zediza323/page0/page0.hex");
  EXPECT_EQ(MapWindowsPath("C:\\FSI\\BIN\\C51.EXE"), "/srv/drive-c/FSI/BIN/C51.EXE");
  EXPECT_EQ(MapWindowsPath("c:\\viziduv\\p_voice\\chn_m\\"), "/srv/drive-c/viziduv/p_voice/chn_m/");
  EXPECT_EQ(MapWindowsPath("c:\\encode.tmp"), "/srv/drive-c/encode.tmp");
}

TEST(DriveMap, DriveCDefaultsToTheHomeFolder) {
  test::ClearStore();
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(MapWindowsPath("c:\\encode.tmp"), JoinPath(home, "encode.tmp"));
}

TEST(ComPortMap, StoredNamesMapToDevices) {
  test::ClearStore();
  EXPECT_EQ(ComPortDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ComPortDevice("COM2"), "/dev/ttyS1");
  ASSERT_TRUE(SettingsStore::Profile().WriteString("Rs232", "COM1Device", "/dev/pts/7"));
  EXPECT_EQ(ComPortDevice("COM1"), "/dev/pts/7");
}

TEST(FileFilter, ParsesTheSystemsFilterStrings) {
  auto f = ParseFileFilter("Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].label, "Data files (*.dat)");
  EXPECT_EQ(f[1].patterns, (std::vector<std::string>{"*.dat", "*.pcm", "*.raw"}));
  EXPECT_TRUE(MatchesFilter(f[1], "RING.PCM"));
  EXPECT_FALSE(MatchesFilter(f[0], "ring.pcm"));
  EXPECT_TRUE(MatchesFilter(f[2], "anything"));
  auto t = ParseFileFilter("Text files (*.txt)|*.txt|All Text files|*.txt;|All files (*.*)|*.*||");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].patterns, (std::vector<std::string>{"*.txt"}));
}

TEST(ProgressModel, PercentagesOfAnEightStepRange) {
  ProgressModel m;
  m.SetRange(0, 8);
  m.SetStep(1);
  EXPECT_EQ(m.Label(), " 0 %");
  std::vector<std::string> labels;
  for (int i = 0; i < 8; ++i) {
    m.Step();
    labels.push_back(m.Label());
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"12%", "25%", "37%", "50%", "62%", "75%", "87%", "100%"}));
}

TEST(ProgressModel, AHundredStaysAndLargerValuesWrap) {
  EXPECT_EQ(ProgressModel::LabelFor(100), "100%");
  EXPECT_EQ(ProgressModel::LabelFor(112), "12%");
  EXPECT_EQ(ProgressModel::LabelFor(0), "0%");
  ProgressModel m;
  m.SetRange(0, 20771);  // the serial write's last chunk steps past the upper bound
  m.SetStep(8);
  for (int i = 0; i < 2597; ++i) m.Step();
  EXPECT_EQ(m.Label(), "100%");
  ProgressModel empty;
  empty.SetRange(5, 5);
  empty.Step();
  EXPECT_EQ(empty.Percent(), 0);
}

TEST(ProgressModel, TheLabelIsRewrittenOnlyWhenItChanges) {
  ProgressModel m;
  m.SetRange(0, 1000);
  m.SetStep(1);
  EXPECT_TRUE(m.Step());   // 0% replaces " 0 %"
  EXPECT_FALSE(m.Step());  // still 0%
}

TEST(StringTable, EnglishLoadsOnceTheLocaleIs1033) {
  SetThreadLocale(kLocaleChinesePRC);
  EXPECT_EQ(LoadString(IDS_START_DEBUG), "开始调试");
  SetThreadLocale(kLocaleEnglishUS);
  EXPECT_EQ(LoadString(IDS_WAIT), "Wait...");
  EXPECT_EQ(LoadString(IDS_START_DEBUG), "Start Debug");
  EXPECT_EQ(LoadString(IDS_STOP_DEBUG), "Stop Debug");
  EXPECT_EQ(LoadString(IDS_START_UDP_AUDIO), "Start Udp Audio");
  EXPECT_EQ(LoadString(IDS_STOP_UDP_AUDIO), "Stop Udp Audio");
  EXPECT_EQ(LoadString(IDS_STOP_UDP_AUDIO, kLocaleChinesePRC), "停止音频Udp");
  EXPECT_EQ(LoadString(IDS_WAIT, kLocaleChinesePRC), "请等待...");
  EXPECT_EQ(LoadString(9999), "");
}

TEST(DebugLog, IsSilentUntilCapturedOrDirected) {
  OutputDebugString("nobody hears this\n");
  DebugLogCapture capture;
  OutputDebugString("WinSock2 Init\n");
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"WinSock2 Init\n"}));
  test::TempDir dir;
  {
    DebugLogCapture inner;  // nested captures restore the previous sink
    ASSERT_TRUE(DebugLog::ToFile(dir.File("log.txt")));
    OutputDebugString("to the file\n");
  }
  OutputDebugString("back to the capture\n");
  EXPECT_EQ(capture.Count("back to the capture\n"), 1u);
  EXPECT_EQ(capture.Count("to the file\n"), 0u);
}

}  // namespace
}  // namespace quill
