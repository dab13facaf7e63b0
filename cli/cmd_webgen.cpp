// `quilltool gen-http`: the web page headers from a list of source pages, without the dialog. The options
// are taken from the arguments only; section "GenHttp" of the store is neither read nor written.
#include <cstdio>

#include "cli/subcommand.h"
#include "webgen/http_generator.h"

namespace quill::cli {
namespace {

int Run(const Args& args, TerminalUi& ui) {
  webgen::GenHttpOptions options;
  auto msg = args.Value("--msg");
  auto info = args.Value("--info");
  auto common = args.Value("--common");
  if (!msg || !info || !common || args.Positionals().empty()) {
    std::fprintf(stderr, "quilltool gen-http: --msg, --info, --common and at least one PAGE are needed\n");
    return kExitUsage;
  }
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
  return webgen::GenerateHttpFiles(options, args.Positionals(), ui) ? kExitOk : kExitFailure;
}

const bool registered = RegisterSubcommand({
    "gen-http",
    "convert HTML configuration pages into the page, replace-options and common C headers",
    "Usage: quilltool gen-http --msg FILE --info FILE --common FILE [--chinese] [--no-replace]\n"
    "                          [--temp PATTERN] PAGE...\n"
    "Converts the pages in order (page numbers from 0) and writes:\n"
    "  --msg FILE      the page file: each page's text as a CCHAR array\n"
    "  --info FILE     the replace-options file: each page's table of value slots\n"
    "  --common FILE   the common file: each page's length, blocks and memory position\n"
    "  --chinese       Chinese pages: Chinese option labels, every page byte in hexadecimal\n"
    "  --no-replace    keep form fields and titles as written (no value slots)\n"
    "  --temp PATTERN  also write each converted page as temp_page_N in the pattern's folder,\n"
    "                  with the pattern's extension\n"
    "A page is read whole: it must be a regular file of at most 16 MiB. The outputs replace their old\n"
    "files together, only when every page was converted and every file written: a failed or interrupted\n"
    "run leaves them as they were. A page named as an output, or two outputs naming one file, are refused.\n",
    {"--chinese", "--no-replace"},
    {"--msg", "--info", "--common", "--temp"},
    Run,
});

}  // namespace
}  // namespace quill::cli
