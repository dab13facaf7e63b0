// The codec members, the audio file tools and the voice-prompt batch.
#include <gtest/gtest.h>

#include <filesystem>

#include "filetools/audio_tools.h"
#include "filetools/file_convert_tools.h"
#include "filetools/prompt_batch.h"
#include "platform/settings_store.h"
#include "tests/support/fake_ui.h"
#include "tests/support/test_env.h"

namespace quill {
namespace {

struct HookCall {
  std::string hook;
  CodecOptions codec;
  std::string destination, source;
};

class RecordingHooks : public CAudioHooks {
 public:
  int EncodeAudioFile(const CodecOptions& codec, const std::string& dst, const std::string& src) override {
    calls.push_back({"encode", codec, dst, src});
    return result;
  }
  int DecodeAudioFile(const CodecOptions& codec, const std::string& dst, const std::string& src) override {
    calls.push_back({"decode", codec, dst, src});
    return result;
  }
  int WaveToPcm(const std::string& dst, const std::string& src) override {
    calls.push_back({"wave", {}, dst, src});
    return result;
  }
  std::vector<HookCall> calls;
  int result = 1;
};

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearStore();
    ASSERT_TRUE(SettingsStore::Profile().WriteString("Paths", "DriveC", dir_.Path()).Ok());
  }
  void TearDown() override { AttachAudioEngine(nullptr); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  test::TempDir dir_;
  test::FakeUi ui_;
};

TEST(CodecList, SevenTextsInOrder) {
  const char* expected[] = {"8k pass through",   "ITU-T G.711 A Law", "ITU-T G.711 MU Law",
                            "ITU-T G.721 ADPCM", "GSM 6.10",          "ITU-T G.729 with Annex A&B",
                            "ITU-T G.723.1"};
  for (int i = 0; i < kCodecTypeCount; ++i) EXPECT_STREQ(CodecTypeName(i), expected[i]);
  EXPECT_STREQ(CodecTypeName(7), "");
  EXPECT_STREQ(CodecTypeName(-1), "");
}

TEST_F(AudioTest, CodecMembersComeFromTheStoreAndAreNeverWrittenBack) {
  EXPECT_EQ(CFileConvertTools(ui_).Codec(), (CodecOptions{1, 1, 1, 0}));
  SettingsStore& store = SettingsStore::Profile();
  ASSERT_TRUE(store.WriteInt("UdpAudio", "NoAcm", 0).Ok());
  ASSERT_TRUE(store.WriteInt("UdpAudio", "UseHighRate", 0).Ok());
  ASSERT_TRUE(store.WriteInt("UdpAudio", "UseVAD", 1).Ok());
  ASSERT_TRUE(store.WriteInt("Audio", "CodecType", 4).Ok());
  CFileConvertTools tools(ui_);
  EXPECT_EQ(tools.Codec(), (CodecOptions{0, 0, 1, 4}));
  tools.Codec().codecType = 6;
  EXPECT_EQ(store.GetInt("Audio", "CodecType", -1), 4);
}

TEST_F(AudioTest, FileToolsStoreTheirChoicesAndCallTheirHook) {
  struct Case {
    int button;
    const char* section;
    const char* hook;
    const char* srcDefault;
    const char* srcExt;
    const char* srcFilter;
    const char* dstDefault;
    const char* dstExt;
    const char* dstFilter;
  };
  const char* pcm = "PCM files (*.pcm)|*.pcm|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
  const char* data = "Data files (*.dat)|*.dat|All data files|*.dat;*.pcm;*.raw|All files (*.*)|*.*||";
  const Case cases[] = {
      {1122, "AudioEncode", "encode", "udpaudio.pcm", "*.pcm", pcm, "udpaudio.dat", "*.dat", data},
      {1123, "AudioDecode", "decode", "udpaudio.dat", "*.dat", data, "udpaudio.pcm", "*.pcm", pcm},
      {1127, "WAVE2PCM", "wave", "demo.wav", "*.wav", "Wave files (*.wav)|*.wav|All files (*.*)|*.*||",
       "demo.pcm", "*.pcm", pcm},
  };
  ASSERT_TRUE(SettingsStore::Profile().WriteInt("Audio", "CodecType", 3).Ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    RecordingHooks hooks;
    AttachAudioEngine(&hooks);
    test::FakeUi ui;
    CFileConvertTools tools(ui);
    // The destination dialog cancelled: the source is stored all the same, no hook runs.
    ui.AnswerFile(File("in"));
    ASSERT_TRUE(tools.PressButton(c.button));
    EXPECT_EQ(tools.LastResult(), ToolResult::Cancelled);
    EXPECT_EQ(SettingsStore::Profile().GetString(c.section, "SrcName", ""), File("in"));
    EXPECT_TRUE(hooks.calls.empty());
    ASSERT_EQ(ui.fileDialogs.size(), 2u);
    EXPECT_EQ(ui.fileDialogs[0].mode, FileDialogSpec::Mode::Open);
    EXPECT_EQ(ui.fileDialogs[0].initialName, c.srcDefault);
    EXPECT_EQ(ui.fileDialogs[0].defaultExt, c.srcExt);
    EXPECT_EQ(ui.fileDialogs[0].filter, c.srcFilter);
    EXPECT_EQ(ui.fileDialogs[1].mode, FileDialogSpec::Mode::Save);
    EXPECT_EQ(ui.fileDialogs[1].initialName, c.dstDefault);
    EXPECT_EQ(ui.fileDialogs[1].defaultExt, c.dstExt);
    EXPECT_EQ(ui.fileDialogs[1].filter, c.dstFilter);

    ui.AnswerFile(File("in"));
    ui.AnswerFile(File("out"));
    tools.PressButton(c.button);
    EXPECT_EQ(SettingsStore::Profile().GetString(c.section, "DstName", ""), File("out"));
    ASSERT_EQ(hooks.calls.size(), 1u);
    EXPECT_EQ(hooks.calls[0].hook, c.hook);
    EXPECT_EQ(hooks.calls[0].destination, File("out"));
    EXPECT_EQ(hooks.calls[0].source, File("in"));
    if (std::string(c.hook) != "wave") {
      EXPECT_EQ(hooks.calls[0].codec.codecType, 3);
    }
  }
  // Without an engine the encoder makes no file.
  AttachAudioEngine(nullptr);
  CFileConvertTools tools(ui_);
  ui_.AnswerFile(File("in"));
  ui_.AnswerFile(File("made.dat"));
  tools.EncodeAudio();
  EXPECT_FALSE(test::FileExists(File("made.dat")));
  EXPECT_EQ(tools.EncodeAudioFile(File("a"), File("b")), 1);
  EXPECT_EQ(tools.DecodeAudioFile(File("a"), File("b")), 1);
  EXPECT_EQ(WaveToPcm(File("a"), File("b")), 1);
}

TEST_F(AudioTest, BatchVisitsNinetySixPromptsInRunOrder) {
  // Every destination folder is there and the temporary file holds "encoded" data.
  for (const char* f :
       {"zediza323/voice/g7231", "zediza323/evoice/g7231", "zediza323/voice/g729", "zediza323/evoice/g729"})
    std::filesystem::create_directories(File(f));
  test::WriteFile(File("encode.tmp"), "\x01\x02");
  RecordingHooks hooks;
  AttachAudioEngine(&hooks);
  CFileConvertTools tools(ui_);
  EXPECT_TRUE(tools.PressButton(1124));

  ASSERT_EQ(hooks.calls.size(), 96u);
  const char* sources[] = {"viziduv/p_voice/chn_m/", "viziduv/p_voice/eng_m/", "viziduv/p_voice/chn_m/",
                           "viziduv/p_voice/eng_m/"};
  for (int run = 0; run < 4; ++run) {
    for (int p = 0; p < kPromptCount; ++p) {
      const HookCall& call = hooks.calls[(static_cast<size_t>(run) * kPromptCount) + static_cast<size_t>(p)];
      EXPECT_EQ(call.hook, "encode");
      EXPECT_EQ(call.source, File(std::string(sources[run]) + kPromptNames[p] + ".pcm"));
      EXPECT_EQ(call.destination, File("encode.tmp"));
      EXPECT_EQ(call.codec, (CodecOptions{1, 1, 0, run < 2 ? 6 : 5}));
    }
  }
  EXPECT_STREQ(kPromptNames[0], "0");
  EXPECT_STREQ(kPromptNames[12], "benji");
  EXPECT_STREQ(kPromptNames[23], "ziwang");
  // The headers are named after the prompts; the temporary file stays.
  EXPECT_EQ(test::ReadFile(File("zediza323/voice/g7231/0.h")),
            "#define DATA_0_SIZE\t2\r\n#ifdef __LOAD_SDRAM\r\nstatic CCHAR _cData_0[DATA_0_SIZE] = {\r\n"
            "0x01, 0x02, \r\n};\r\n#endif\r\n");
  EXPECT_NE(test::ReadFile(File("zediza323/evoice/g729/benji.h")).find("_cData_BENJI[DATA_BENJI_SIZE]"),
            std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(File("zediza323/evoice/g729")),
                          std::filesystem::directory_iterator()),
            24);
  EXPECT_TRUE(test::FileExists(File("encode.tmp")));
  EXPECT_TRUE(ui_.messages.empty());
  // The members keep the batch's values; the store keeps its own.
  EXPECT_EQ(tools.Codec(), (CodecOptions{1, 1, 0, 5}));
  EXPECT_FALSE(SettingsStore::Profile().Contains("Audio", "CodecType"));
  EXPECT_FALSE(SettingsStore::Profile().Contains("UdpAudio", "UseVAD"));
}

TEST_F(AudioTest, BatchReportsEachPromptItCannotConvertAndGoesOn) {
  // Without an engine nothing is encoded, so there is no temporary file: one message per prompt.
  CFileConvertTools tools(ui_);
  tools.BatchIvr();
  auto headlines = [](const test::FakeUi& ui) {
    std::vector<std::string> lines;
    for (const auto& m : ui.messages) lines.push_back(m.text.substr(0, m.text.find('\n')));
    return lines;
  };
  EXPECT_EQ(headlines(ui_), std::vector<std::string>(96, "Can not open source file"));

  // With the temporary file but no destination folders: "Can not create dest file" per prompt.
  test::FakeUi ui;
  CFileConvertTools second(ui);
  test::WriteFile(File("encode.tmp"), "x");
  second.BatchIvr();
  EXPECT_EQ(headlines(ui), std::vector<std::string>(96, "Can not create dest file"));

  // An encoder that fails: the prompt is skipped without a header or a message.
  test::FakeUi quiet;
  RecordingHooks failing;
  failing.result = 0;
  AttachAudioEngine(&failing);
  CFileConvertTools third(quiet);
  EXPECT_EQ(third.ConvertPrompt("c:\\zediza323\\", "c:\\viziduv\\", "1"), 0);
  EXPECT_TRUE(quiet.messages.empty());
  EXPECT_EQ(failing.calls.size(), 1u);
}

}  // namespace
}  // namespace quill
