#include "filetools/image_builder.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "filetools/hex_file.h"
#include "filetools/tool_run.h"
#include "platform/paths.h"

namespace quill {
namespace {

// The pieces of the work tree; each HEX file holds one flash page with 16-bit offsets.
constexpr const char* kP0 = "c:\\zediza323\\page0\\page0.hex";  // boot page
constexpr const char* kP1 = "c:\\zediza323\\main\\page1.hex";
constexpr const char* kWel = "c:\\zediza323\\welcome\\welcome.hex";
constexpr const char* kG723 = "c:\\zediza323\\g723\\g723.hex";
constexpr const char* kG723M = "c:\\zediza323\\g723misc\\g723misc.hex";
constexpr const char* kP4 = "c:\\zediza323\\main\\page4.hex";
constexpr const char* kP5 = "c:\\zediza323\\main\\page5.hex";
constexpr const char* kG729 = "c:\\zediza323\\g729\\g729.hex";
constexpr const char* kG729M = "c:\\zediza323\\g729misc\\g729misc.hex";
constexpr const char* kP7 = "c:\\zediza323\\page7\\page7.hex";
constexpr const char* kF40P7 = "c:\\zediza323\\page7\\f40page7.hex";

// Seven pages: welcome, G.723.1 and its misc page, pages 4 and 5, G.729, page 7.
BuildVariant SevenPageVariant(const char* name, int id, const char* caption, const char* image,
                              const char* allImage) {
  return {name,
          id,
          caption,
          {{image, {kWel, kG723, kG723M, kP4, kP5, kG729, kP7}, {}},
           {allImage, {kP0, kWel, kG723, kG723M, kP4, kP5, kG729, kP7}, {kP0}}}};
}

// Three pages: page 1 and one codec pair; the "_9" image carries the G.729 pair.
BuildVariant ThreePageVariant(const char* name, int id, const char* caption, const char* image,
                              const char* image9, const char* allImage) {
  return {name,
          id,
          caption,
          {{image, {kP1, kG723, kG723M}, {}},
           {image9, {kP1, kG729, kG729M}, {}},
           {allImage, {kP0, kP1, kG723, kG723M}, {kP0}}}};
}

std::vector<BuildVariant> MakeVariants() {
  std::vector<BuildVariant> v;
  // First column of the dialog.
  v.push_back(ThreePageVariant("VT20B", 1181, "Build VT20B", "c:\\zediza323\\VT20B.bin",
                               "c:\\zediza323\\VT20B_9.bin", "c:\\zediza323\\VT20B_all.bin"));
  v.push_back(ThreePageVariant("VT20C", 1182, "Build VT20C", "c:\\zediza323\\VT20C.bin",
                               "c:\\zediza323\\VT20C_9.bin", "c:\\zediza323\\VT20C_all.bin"));
  v.push_back(ThreePageVariant("VT20E", 1183, "Build VT20E", "c:\\zediza323\\VT20E.bin",
                               "c:\\zediza323\\VT20E_9.bin", "c:\\zediza323\\VT20E_all.bin"));
  v.push_back(SevenPageVariant("VT20F", 1174, "Build VT20F", "c:\\zediza323\\vt20f.bin",
                               "c:\\zediza323\\vt20f_all.bin"));
  v.push_back(SevenPageVariant("VT20FB", 1195, "Build VT20FB", "c:\\zediza323\\VT20FB.bin",
                               "c:\\zediza323\\VT20FB_all.bin"));
  {
    // Page 7 fills the rest of the flash: nine copies.
    std::vector<const char*> pages = {kWel, kG723, kG723M, kP4, kP5, kG729};
    pages.insert(pages.end(), 9, kP7);
    std::vector<const char*> all = {kP0};
    all.insert(all.end(), pages.begin(), pages.end());
    v.push_back({"VT20G",
                 1175,
                 "Build VT20G",
                 {{"c:\\zediza323\\VT20G.bin", pages, {}}, {"c:\\zediza323\\VT20G_all.bin", all, {kP0}}}});
  }
  // Second column.
  v.push_back(SevenPageVariant("MERLE", 1180, "Build MERLE", "c:\\zediza323\\MERLE.bin",
                               "c:\\zediza323\\MERLE_all.bin"));
  v.push_back(SevenPageVariant("TERN_A", 1179, "Build TERN_A", "c:\\zediza323\\TERN_A.bin",
                               "c:\\zediza323\\TERN_A_all.bin"));
  v.push_back(SevenPageVariant("TERN_A_4T", 1187, "Build TERN_A_4T", "c:\\zediza323\\TERN_A_4T.bin",
                               "c:\\zediza323\\TERN_A_4T_all.bin"));
  v.push_back({"BRISK_D",
               1185,
               "Build BRISK_D",
               {{"c:\\zediza323\\BRISK_D.bin", {kWel, kG723, kG723M, kP4, kP5, kG729}, {}},
                {"c:\\zediza323\\BRISK_D_all.bin",
                 {kP0, kWel, kG723, kG723M, kP4, kP5, kG729, kF40P7},
                 {kP0, kF40P7}}}});
  v.push_back(
      {"ORLAN",
       1184,
       "Build ORLAN",
       {{"c:\\zediza323\\ORLAN.bin", {kWel, kG723, kG723M, kP4, kP5, kP7}, {}},
        {"c:\\zediza323\\ORLAN_9.bin", {kWel, kG729, kG729M, kP4, kP5, kP7}, {}},
        {"c:\\zediza323\\ORLAN_all.bin", {kP0, kWel, kG723, kG723M, kP4, kP5, kP7, kF40P7}, {kP0, kF40P7}}}});
  // KX30D has no boot image.
  v.push_back({"KX30D",
               1176,
               "Build KX30D",
               {{"c:\\zediza323\\KX30D.bin", {kWel, kG723, kG723M, kP4, kP5, kP7}, {}},
                {"c:\\zediza323\\KX30D_9.bin", {kWel, kG729, kG729M, kP4, kP5, kP7}, {}}}});
  return v;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

const std::vector<BuildVariant>& BuildVariants() {
  static const std::vector<BuildVariant> variants = MakeVariants();
  return variants;
}

const BuildVariant* FindBuildVariant(std::string_view name) {
  for (const auto& v : BuildVariants())
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

const BuildVariant* FindBuildVariantById(int buttonId) {
  for (const auto& v : BuildVariants())
    if (v.buttonId == buttonId) return &v;
  return nullptr;
}

namespace {

// Writes the pages of one image into out; false when a piece is one of the files of the run (the image
// itself), which ends the build. A missing piece leaves a page of 0xFF and the build goes on past it.
bool WriteImage(Ui& ui, CToolRun& run, COutputFile& out, const std::vector<std::string>& pieces) {
  auto page = std::make_unique<PageImage>();
  for (const auto& piece : pieces) {
    if (piece.empty() || out.Failed()) break;
    page->fill(0xFF);
    FileError error;
    LoadHexFile(ui, piece, *page, &error);
    if (error.sameFile) return false;
    if (error.IsSet()) run.WentOnPast();
    out.Write(page->data(), page->size());
  }
  return true;
}

}  // namespace

bool BuildImage(Ui& ui, const std::string& imagePath, const std::vector<std::string>& pieces) {
  CToolRun run(ui);
  run.BeginWait();
  COutputFile* out = run.Create(imagePath);
  const bool written = out && WriteImage(ui, run, *out, pieces);
  return run.Finish(written ? ToolResult::Done : ToolResult::Failed) != ToolResult::Failed;
}

ToolResult RunBuildVariant(Ui& ui, const BuildVariant& variant) {
  // The images of one button are made together: each is written beside its old file, and all replace
  // theirs at the end, so a failure or an interrupt leaves every image as it was.
  CToolRun run(ui);
  run.BeginWait();
  for (const auto& image : variant.images) {
    bool present = std::all_of(image.needs.begin(), image.needs.end(),
                               [](const char* piece) { return PathExists(MapWindowsPath(piece)); });
    // The images that need pieces come last: a missing one ends the button.
    if (!present) break;
    std::vector<std::string> pieces;
    for (const char* piece : image.pieces) pieces.push_back(MapWindowsPath(piece));
    COutputFile* out = run.Create(MapWindowsPath(image.image));
    if (!out) return run.Finish(ToolResult::Failed);
    if (!WriteImage(ui, run, *out, pieces)) return run.Finish(ToolResult::Failed);
  }
  return run.Finish(ToolResult::Done);
}

}  // namespace quill
