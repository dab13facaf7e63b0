#include "webgen/http_generator.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/settings_store.h"
#include "webgen/html_page_converter.h"
#include "webgen/http_file_formats.h"

namespace quill::webgen {
namespace {

// An output file that remembers whether every write reached it, so a short write or a failing close is
// reported rather than leaving a truncated header behind silently.
class OutputFile {
 public:
  bool Create(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }
  bool Write(std::string_view bytes) {
    if (!file_) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
    return !failed_;
  }
  bool Close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
  }
  ~OutputFile() { Close(); }
  const std::string& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

std::optional<std::string> ReadSource(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[16384];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) return std::nullopt;  // a folder opens but cannot be read
  return bytes;
}

std::string WithPath(const char* before, const std::string& path, const char* after) {
  return std::string(before) + path + after;
}

bool WriteTempHtml(const std::string& path, std::string_view text) {
  OutputFile file;
  if (!file.Create(path)) return false;
  file.Write(TempHtmlText(text));
  return file.Close();
}

}  // namespace

GenHttpOptions LoadGenHttpOptions() {
  SettingsStore& store = SettingsStore::Profile();
  GenHttpOptions o;
  o.replace = store.GetInt(kGenHttpSection, "Replace", 1) != 0;
  o.chinese = store.GetInt(kGenHttpSection, "Language", 0) != 0;
  o.multipart = store.GetInt(kGenHttpSection, "Multipart", 0) != 0;
  o.writeTempHtml = store.GetInt(kGenHttpSection, "WriteTempHtml", 0) != 0;
  o.pageNum = store.GetInt(kGenHttpSection, "PageNum", 0);
  o.msgFile = store.GetString(kGenHttpSection, "MsgFile", "");
  o.infoFile = store.GetString(kGenHttpSection, "InfoFile", "");
  o.commonFile = store.GetString(kGenHttpSection, "CommonFile", "");
  o.tempHtmlFile = store.GetString(kGenHttpSection, "TempHtmlFile", "");
  return o;
}

void SaveGenHttpOptions(const GenHttpOptions& o) {
  SettingsStore& store = SettingsStore::Profile();
  store.WriteInt(kGenHttpSection, "Replace", o.replace ? 1 : 0);
  store.WriteInt(kGenHttpSection, "Language", o.chinese ? 1 : 0);
  store.WriteInt(kGenHttpSection, "Multipart", o.multipart ? 1 : 0);
  store.WriteInt(kGenHttpSection, "WriteTempHtml", o.writeTempHtml ? 1 : 0);
  store.WriteInt(kGenHttpSection, "PageNum", o.pageNum);
  store.WriteString(kGenHttpSection, "MsgFile", o.msgFile);
  store.WriteString(kGenHttpSection, "InfoFile", o.infoFile);
  store.WriteString(kGenHttpSection, "CommonFile", o.commonFile);
  store.WriteString(kGenHttpSection, "TempHtmlFile", o.tempHtmlFile);
}

bool GenerateHttpFiles(const GenHttpOptions& options, const std::vector<std::string>& pages, Ui& ui) {
  WaitCursor wait(ui);
  OutputFile common, msg, info;
  for (auto [file, path] : {std::pair{&common, &options.commonFile}, std::pair{&msg, &options.msgFile},
                            std::pair{&info, &options.infoFile}}) {
    if (!file->Create(*path)) {
      ui.Message(WithPath("Can not create Dst file ", *path, " !"));
      return false;
    }
  }
  auto writeFailed = [&ui](OutputFile& file) {
    ui.Message(WithPath("Can not write Dst file ", file.Path(), " !"));
    return false;
  };

  const HtmlPageConverter converter(options.replace, options.chinese);
  bool allWritten = true;
  for (size_t i = 0; i < pages.size(); ++i) {
    const int p = static_cast<int>(i);
    const std::string& path = pages[i];
    std::optional<std::string> source = ReadSource(path);
    if (!source) {
      ui.Message("Can not open source file");
      return false;
    }
    ConvertedPage page = converter.Convert(*source);
    switch (page.error) {
      case ConvertedPage::Error::kNone:
        break;
      case ConvertedPage::Error::kFieldName:
        ui.Message(WithPath("Source Html ", path, " has format error, possibly space after \"name=\" !"));
        return false;
      case ConvertedPage::Error::kTooManySlots:
        ui.Message(
            WithPath("Source Html ", path, " has more than 512 value slots, the most one page can hold !"));
        return false;
    }
    if (!common.Write(CommonDefines(p, page.text.size()))) return writeFailed(common);
    if (!msg.Write(PageArray(p, page.text, options.chinese))) return writeFailed(msg);
    if (!info.Write(OptionTable(p, page.records))) return writeFailed(info);

    if (options.writeTempHtml && !WriteTempHtml(TempHtmlPath(options.tempHtmlFile, p), page.text)) {
      ui.Message("Can not open Dst .htm file");
      allWritten = false;
    }
  }
  for (OutputFile* file : {&common, &msg, &info})
    if (!file->Close()) return writeFailed(*file);
  return allWritten;
}

}  // namespace quill::webgen
