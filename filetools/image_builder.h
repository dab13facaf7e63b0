// The flash image builders: one Build button per board variant writes complete flash images, each the
// concatenation of 64 KiB pages loaded from fixed HEX pieces of the firmware work tree "c:\zediza323\".
// Page k of an image is flash page k; there is no header. The "_all" images start with the boot page and
// are written only when the boot piece (and, for two variants, the F40 page-7 piece) exists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "filetools/tool_result.h"

namespace quill {

class Ui;

// One image of a variant: its file and pieces as the work tree names them (Windows paths, mapped
// through the drive map when used).
struct BuildImageSpec {
  const char* image;
  std::vector<const char*> pieces;
  // The pieces that must exist for the image to be written; empty: always written.
  std::vector<const char*> needs;
};

struct BuildVariant {
  const char* name;                    // "VT20F", as the command line takes it
  int buttonId;                        // 1174
  const char* caption;                 // "Build VT20F"
  std::vector<BuildImageSpec> images;  // in the order they are written
};

// The twelve variants in the order of the dialog's columns.
const std::vector<BuildVariant>& BuildVariants();
// By name (case ignored) or by button; null for none.
const BuildVariant* FindBuildVariant(std::string_view name);
const BuildVariant* FindBuildVariantById(int buttonId);

// Writes one image from pieces (paths on this system) up to the first empty name: each piece loaded into
// a page filled with 0xFF; a piece that cannot be read gives "can not open hex file" and a page of 0xFF,
// and the build goes on past it (see CToolRun for what becomes of the image then). False after "Can not
// create dest file" with the path and the reason, when a piece is the image itself, or when the image was
// not kept; the image is then as it was.
bool BuildImage(Ui& ui, const std::string& imagePath, const std::vector<std::string>& pieces);

// The Build button: the always-written images in order; then, when their pieces exist, the others. The
// images replace their old files together at the end; when one cannot be written none does (Failed,
// after the message). A missing piece is a failure the build goes on past (KeptAfterFailure in the
// window). No message reports success or an image that was not written.
ToolResult RunBuildVariant(Ui& ui, const BuildVariant& variant);

}  // namespace quill
