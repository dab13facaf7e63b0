#include "filetools/prompt_batch.h"

#include "filetools/audio_tools.h"

namespace quill {

const char* const kPromptNames[kPromptCount] = {
    "0",  "1",     "2",      "3",        "4",     "5",     "6",       "7",
    "8",  "9",     "10",     "bai",      "benji", "blank", "dian",    "haoma",
    "ip", "liang", "signal", "wangguan", "yanma", "yao",   "yunying", "ziwang",
};

const PromptRun kPromptRuns[kPromptRunCount] = {
    {"c:\\viziduv\\p_voice\\chn_m\\", "c:\\zediza323\\voice\\g7231\\", kCodecG7231},
    {"c:\\viziduv\\p_voice\\eng_m\\", "c:\\zediza323\\evoice\\g7231\\", kCodecG7231},
    {"c:\\viziduv\\p_voice\\chn_m\\", "c:\\zediza323\\voice\\g729\\", kCodecG729},
    {"c:\\viziduv\\p_voice\\eng_m\\", "c:\\zediza323\\evoice\\g729\\", kCodecG729},
};

}  // namespace quill
