// `quilltool gen-http`: the web page headers from a list of source pages, without the dialog. The options
// are taken from the arguments only; section "GenHttp" of the store is neither read nor written.
#include <cstdio>
#include <utility>

#include "cli/subcommand.h"
#include "webgen/http_generator.h"

namespace quill::cli {
namespace {

int Run(const Args& args, TerminalUi& ui) {
  webgen::GenHttpOptions options;
  auto msg = args.Value("--msg");
  auto info = args.Value("--info");
  auto common = args.Value("--common");
  for (const auto& [given, name] :
       {std::pair{msg, "--msg"}, std::pair{info, "--info"}, std::pair{common, "--common"}})
    if (!given) return UsageError("gen-http", std::string(name) + " FILE is required");
  options.msgFile = *msg;
  options.infoFile = *info;
  options.commonFile = *common;
  options.chinese = args.Has("--chinese");
  options.replace = !args.Has("--no-replace");
  if (auto temp = args.Value("--temp")) {
    options.writeTempHtml = true;
    options.tempHtmlFile = *temp;
  }
  options.pageNum = static_cast<int>(args.Positionals().size());
  for (const auto& page : args.Positionals()) ui.NoteFile(page, false);
  for (const auto* out : {&options.msgFile, &options.infoFile, &options.commonFile}) ui.NoteFile(*out, true);
  return webgen::GenerateHttpFiles(options, args.Positionals(), ui) ? kExitOk : kExitFailure;
}

const bool registered = [] {
  Subcommand c{
      "gen-http",
      "convert HTML configuration pages into the page, replace-options and common C headers",
      "Converts the pages in order (page numbers from 0) and writes the three files below.\n"
      "A page is read whole: it must be a regular file of at most 16 MiB. The outputs replace their old\n"
      "files together, only when every page was converted and every file written: a failed or interrupted\n"
      "run leaves them as they were. A page named as an output, or two outputs naming one file, are "
      "refused.\n",
      {},
      {},
      Run};
  c.synopsis = "--msg FILE --info FILE --common FILE [options] PAGE...";
  c.options = {
      {"--msg", "FILE", "the page file: each page's text as a CCHAR array", ValueKind::File},
      {"--info", "FILE", "the replace-options file: each page's table of value slots", ValueKind::File},
      {"--common", "FILE", "the common file: each page's length, blocks and memory position",
       ValueKind::File},
      {"--chinese", "", "Chinese pages: Chinese option labels, every page byte in hexadecimal"},
      {"--no-replace", "", "keep form fields and titles as written (no value slots)"},
      {"--temp", "PATTERN", "also write each page as temp_page_N in the pattern's folder, with its extension",
       ValueKind::File},
  };
  c.minPositionals = 1;
  c.json = true;
  return RegisterSubcommand(std::move(c));
}();

}  // namespace
}  // namespace quill::cli
