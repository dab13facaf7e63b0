// The voice-prompt batch ("Batch IVR ..."): the phone's 24 spoken prompts, for the Chinese and English
// prompt sets and the G.723.1 and G.729 codecs, from raw PCM to C data headers. Each prompt is encoded to
// the temporary file "c:\encode.tmp" (never deleted), which then becomes the prompt's header.
#pragma once

namespace quill {

inline constexpr int kPromptCount = 24;
// In conversion order.
extern const char* const kPromptNames[kPromptCount];

inline constexpr const char* kEncodeTempFile = "c:\\encode.tmp";

struct PromptRun {
  const char* sourceFolder;       // ends with a backslash: names are joined to it as they are
  const char* destinationFolder;  // likewise
  int codecType;
};
inline constexpr int kPromptRunCount = 4;
extern const PromptRun kPromptRuns[kPromptRunCount];

}  // namespace quill
