// Starting other programs: the web browser, the telnet client in a terminal, the compiler. Tests use a fake.
#pragma once

#include <string>
#include <vector>

namespace quill {

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts program (looked up on PATH) with args, detached and shown normally; nothing waits for it.
  // False when it could not be started.
  virtual bool Start(const std::string& program, const std::vector<std::string>& args) = 0;
};

class SystemLauncher : public Launcher {
 public:
  bool Start(const std::string& program, const std::vector<std::string>& args) override;
};

}  // namespace quill
