// The web page generator on a large page: the conversion's tag scan and the page array writer.
#include <benchmark/benchmark.h>

#include <string>

#include "webgen/html_page_converter.h"
#include "webgen/http_file_formats.h"

namespace {

// About 64 KiB of table rows, one known field in every third row among plain tags and text.
std::string LargePage() {
  std::string page = "<html><head><title>Bench</title></head><body><form><table>\n";
  const char* fields[] = {"<input name=ip>", "<input type=checkbox name=gk>",
                          "<select name=ringtype><option>PCM<option>DTMF</select>"};
  for (int i = 0; page.size() < 64 * 1024; ++i) {
    page += "   <tr><td>Row " + std::to_string(i) + "</td><td>";
    page += i % 3 == 0 ? fields[(i / 3) % 3] : "<b>plain</b> text";
    page += "</td></tr>\n";
  }
  return page + "</table></form></body></html>\n";
}

void BM_ConvertPage(benchmark::State& state) {
  const std::string page = LargePage();
  const quill::webgen::HtmlPageConverter converter(true, false);
  for (auto _ : state) {
    auto converted = converter.Convert(page);
    benchmark::DoNotOptimize(converted.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_ConvertPage);

void BM_PageArray(benchmark::State& state) {
  const std::string page = quill::webgen::HtmlPageConverter(true, false).Convert(LargePage()).text;
  for (auto _ : state) {
    auto text = quill::webgen::PageArray(0, page, state.range(0) != 0);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_PageArray)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
