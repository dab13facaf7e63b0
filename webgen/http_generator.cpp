#include "webgen/http_generator.h"

#include <memory>

#include "platform/file_io.h"
#include "platform/settings_store.h"
#include "webgen/html_page_converter.h"
#include "webgen/http_file_formats.h"

namespace quill::webgen {
namespace {

std::string WithPath(const char* before, const std::string& path, const char* after) {
  return std::string(before) + path + after;
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

StoreResult SaveGenHttpOptions(const GenHttpOptions& o) {
  SettingsStore::Batch batch;
  batch.WriteInt(kGenHttpSection, "Replace", o.replace ? 1 : 0);
  batch.WriteInt(kGenHttpSection, "Language", o.chinese ? 1 : 0);
  batch.WriteInt(kGenHttpSection, "Multipart", o.multipart ? 1 : 0);
  batch.WriteInt(kGenHttpSection, "WriteTempHtml", o.writeTempHtml ? 1 : 0);
  batch.WriteInt(kGenHttpSection, "PageNum", o.pageNum);
  batch.WriteString(kGenHttpSection, "MsgFile", o.msgFile);
  batch.WriteString(kGenHttpSection, "InfoFile", o.infoFile);
  batch.WriteString(kGenHttpSection, "CommonFile", o.commonFile);
  batch.WriteString(kGenHttpSection, "TempHtmlFile", o.tempHtmlFile);
  return batch.Commit();
}

bool GenerateHttpFiles(const GenHttpOptions& options, const std::vector<std::string>& pages, Ui& ui) {
  // One run: a page that is also an output, or two outputs that are one file, are refused; the outputs
  // replace their old files together at the end, and only when everything was written.
  CFileRun run;
  WaitCursor wait(ui);
  auto message = [&wait, &ui](const std::string& text) {
    wait.Restore();
    ui.Message(text);
  };
  COutputFile common, msg, info;
  for (auto [file, path] : {std::pair{&common, &options.commonFile}, std::pair{&msg, &options.msgFile},
                            std::pair{&info, &options.infoFile}}) {
    if (!file->Create(*path)) {
      message(FileFailureText(WithPath("Can not create Dst file ", *path, " !"), file->Error()));
      return false;
    }
  }
  auto writeFailed = [&message](COutputFile& file) {
    message(FileFailureText(WithPath("Can not write Dst file ", file.Path(), " !"), file.Error()));
    return false;
  };

  const HtmlPageConverter converter(options.replace, options.chinese);
  std::vector<std::unique_ptr<COutputFile>> tempPages;
  bool allWritten = true;
  for (size_t i = 0; i < pages.size(); ++i) {
    const int p = static_cast<int>(i);
    const std::string& path = pages[i];
    std::string source;
    FileError error;
    if (ReadWholeFile(path, kMaxPageFile, source, &error) != ReadStatus::Ok) {
      message(FileFailureText("Can not open source file", error));
      return false;
    }
    ConvertedPage page = converter.Convert(source);
    switch (page.error) {
      case ConvertedPage::Error::kNone:
        break;
      case ConvertedPage::Error::kFieldName:
        message(WithPath("Source Html ", path, " has format error, possibly space after \"name=\" !"));
        return false;
      case ConvertedPage::Error::kTooManySlots:
        message(
            WithPath("Source Html ", path, " has more than 512 value slots, the most one page can hold !"));
        return false;
    }
    common.Write(CommonDefines(p, page.text.size()));
    msg.Write(PageArray(p, page.text, options.chinese));
    info.Write(OptionTable(p, page.records));
    for (COutputFile* file : {&common, &msg, &info})
      if (file->Failed()) return writeFailed(*file);

    if (options.writeTempHtml) {
      // A temporary page that cannot be written is reported and the pages go on, so every such page is
      // named; nothing is replaced then.
      auto temp = std::make_unique<COutputFile>();
      if (temp->Create(TempHtmlPath(options.tempHtmlFile, p))) {
        temp->Write(TempHtmlText(page.text));
        if (!temp->Failed()) {
          tempPages.push_back(std::move(temp));
          continue;
        }
      }
      message(FileFailureText("Can not open Dst .htm file", temp->Error()));
      if (temp->Error().sameFile) return false;
      allWritten = false;
    }
  }
  if (!allWritten) return false;
  std::vector<COutputFile*> files = {&common, &msg, &info};
  for (auto& temp : tempPages) files.push_back(temp.get());
  if (!COutputFile::CommitAll(files)) {
    for (COutputFile* file : files)
      if (file->Error().IsSet()) return writeFailed(*file);
    return false;
  }
  return true;
}

}  // namespace quill::webgen
