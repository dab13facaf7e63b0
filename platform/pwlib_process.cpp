#include "platform/pwlib_process.h"

namespace quill {

PProcess* PProcess::current_ = nullptr;

PProcess::PProcess(std::string manufacturer, std::string name, unsigned major, unsigned minor,
                   CodeStatus status, unsigned build)
    : manufacturer_(std::move(manufacturer)),
      name_(std::move(name)),
      major_(major),
      minor_(minor),
      status_(status),
      build_(build) {
  current_ = this;
}

PProcess::~PProcess() {
  if (current_ == this) current_ = nullptr;
}

}  // namespace quill
