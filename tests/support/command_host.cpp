#include "tests/support/command_host.h"

#include <cstdlib>

#include "app/tool_options.h"

namespace quill::test {

CommandValues FakeCommandHost::SaveToolOptions() {
  ++saves;
  ToolOptions o;
  o.linkType = linkType;
  o.serialPortIndex = portName == "COM1" ? 0 : 1;
  o.ipField = ipField;
  o.flashPage = page;
  o.chipType = chipType;
  o.sdramLength = sdramLength;
  const bool lengthValid = SdramLengthInRange(sdramLength);
  const bool stored = WriteToolOptions(o, lengthValid).Ok() && !storeFails;
  return CommandValuesOf(o, lengthValid, stored);
}

uint32_t FieldAddress(const std::string& dotted) {
  uint32_t a = 0;
  const char* p = dotted.c_str();
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    a = (a << 8) | (static_cast<uint32_t>(std::strtoul(p, &end, 10)) & 0xFF);
    p = *end == '.' ? end + 1 : end;
  }
  return a;
}

}  // namespace quill::test
