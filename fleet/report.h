// The run folder's reports: report.csv and report.json, one row per phone, and the earlier report a
// resumed run reads back.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "fleet/runner.h"

namespace quill::fleet {

// The phones' rows as CSV (address,name,outcome,message,bytes,seconds,attempts) and as JSON.
std::string ReportCsv(const std::vector<PhoneState>& phones);
std::string ReportJson(const std::string& command, const std::vector<PhoneState>& phones, int exitCode);

// Writes both into folder through the file layer (both or neither); false with the reason in error.
bool WriteReports(const std::string& folder, const std::string& command,
                  const std::vector<PhoneState>& phones, int exitCode, std::string& error);

// The addresses an earlier report.csv lists as succeeded (or skipped as done before). A report.json path
// stands for the report.csv beside it. False with the reason when it cannot be read.
bool ReadSucceeded(const std::string& path, std::set<std::string>& addresses, std::string& error);

// The summary table: failures first, each with its message, then the rest.
std::string SummaryTable(const std::vector<PhoneState>& phones);

}  // namespace quill::fleet
