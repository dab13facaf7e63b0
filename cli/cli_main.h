#pragma once

#include <string>
#include <vector>

namespace quill::cli {

// Runs one subcommand with the tool's start-up pieces in place (English strings, the store key, the socket
// check, the process-wide events); the process exit code.
int RunCli(const std::string& subcommand, const std::vector<std::string>& args);

}  // namespace quill::cli
