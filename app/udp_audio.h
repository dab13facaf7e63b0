// What the main window's UDP audio hands to the audio engine's start hook (filetools/audio_tools.h, where
// an engine attaches): the window's audio options, codec and phone address, and the file for the received
// audio.
#pragma once

#include <string>

#include "app/tool_options.h"
#include "filetools/audio_tools.h"

namespace quill {

UdpAudioOptions UdpAudioOptionsOf(const ToolOptions& options, std::string saveFileName);

}  // namespace quill
