#include "fleet/report.h"

#include <algorithm>
#include <cstdio>

#include "platform/file_io.h"
#include "platform/text.h"

namespace quill::fleet {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The CSV keeps one line per phone; report.json has the message exactly.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", s);
  return text;
}

// Failures first, then the others, each in inventory order.
std::vector<const PhoneState*> FailuresFirst(const std::vector<PhoneState>& phones) {
  std::vector<const PhoneState*> order;
  order.reserve(phones.size());
  for (const PhoneState& p : phones) order.push_back(&p);
  std::stable_sort(order.begin(), order.end(), [](const PhoneState* a, const PhoneState* b) {
    return !Good(a->outcome) && Good(b->outcome);
  });
  return order;
}

}  // namespace

std::string ReportCsv(const std::vector<PhoneState>& phones) {
  std::string text = "address,name,outcome,message,bytes,seconds,attempts\n";
  for (const PhoneState& p : phones) {
    text += CsvField(p.phone.address) + "," + CsvField(p.phone.name) + "," + OutcomeName(p.outcome) + "," +
            CsvField(OneLine(p.message)) + "," + std::to_string(p.bytes) + "," + Seconds(p.seconds) + "," +
            std::to_string(p.attempts) + "\n";
  }
  return text;
}

std::string ReportJson(const std::string& command, const std::vector<PhoneState>& phones, int exitCode) {
  std::string text = "{\n  \"command\": " + JsonString(command) +
                     ",\n  \"exit_code\": " + std::to_string(exitCode) + ",\n  \"phones\": [";
  bool first = true;
  for (const PhoneState& p : phones) {
    text += first ? "\n" : ",\n";
    first = false;
    text += "    {\"address\": " + JsonString(p.phone.address) + ", \"name\": " + JsonString(p.phone.name) +
            ", \"outcome\": " + JsonString(OutcomeName(p.outcome)) +
            ", \"message\": " + JsonString(p.message) + ", \"bytes\": " + std::to_string(p.bytes) +
            ", \"seconds\": " + Seconds(p.seconds) + ", \"attempts\": " + std::to_string(p.attempts) +
            ", \"reached\": " + JsonString(ReachedName(p.reached)) + ", \"log\": " + JsonString(p.logPath) +
            "}";
  }
  return text + "\n  ]\n}\n";
}

bool WriteReports(const std::string& folder, const std::string& command,
                  const std::vector<PhoneState>& phones, int exitCode, std::string& error) {
  COutputFile csv, json;
  if (!csv.Create(folder + "/report.csv") || !json.Create(folder + "/report.json")) {
    error = FileFailureText("Can not create report", csv.IsOpen() ? json.Error() : csv.Error());
    return false;
  }
  csv.Write(ReportCsv(phones));
  json.Write(ReportJson(command, phones, exitCode));
  COutputFile* files[] = {&csv, &json};
  if (!COutputFile::CommitAll(files)) {
    error = FileFailureText("Can not write report", csv.Failed() ? csv.Error() : json.Error());
    return false;
  }
  return true;
}

bool ReadSucceeded(const std::string& path, std::set<std::string>& addresses, std::string& error) {
  std::string csvPath = path;
  if (csvPath.size() >= 5 && csvPath.ends_with(".json"))
    csvPath = csvPath.substr(0, csvPath.size() - 5) + ".csv";
  CLineReader reader;
  if (!reader.OpenRegular(csvPath)) {
    error = FileFailureText("Can not open source file", reader.Error());
    return false;
  }
  std::string_view line;
  bool header = true;
  while (reader.ReadLine(line)) {
    if (header) {
      header = false;
      if (!line.starts_with("address,name,outcome")) {
        error = csvPath + ": not a fleet report";
        return false;
      }
      continue;
    }
    std::vector<std::string> fields;
    if (!SplitCsv(line, fields) || fields.size() < 3) continue;
    if (fields[2] == "succeeded" || fields[2] == "skipped") addresses.insert(fields[0]);
  }
  if (reader.Failed()) {
    error = FileFailureText("Can not read file", reader.Error());
    return false;
  }
  return true;
}

std::string SummaryTable(const std::vector<PhoneState>& phones) {
  size_t addressWidth = 7, nameWidth = 4;
  for (const PhoneState& p : phones) {
    addressWidth = std::max(addressWidth, p.phone.address.size());
    nameWidth = std::max(nameWidth, std::min<size_t>(p.phone.name.size(), 24));
  }
  char row[512];
  std::string text;
  std::snprintf(row, sizeof row, "%-*s  %-*s  %-11s  %8s  %3s  %s\n", static_cast<int>(addressWidth),
                "ADDRESS", static_cast<int>(nameWidth), "NAME", "OUTCOME", "SECONDS", "TRY", "MESSAGE");
  text += row;
  for (const PhoneState* p : FailuresFirst(phones)) {
    std::string message = p->message;
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::snprintf(row, sizeof row, "%-*s  %-*.24s  %-11s  %8.1f  %3d  ", static_cast<int>(addressWidth),
                  p->phone.address.c_str(), static_cast<int>(nameWidth), p->phone.name.c_str(),
                  OutcomeName(p->outcome), p->seconds, p->attempts);
    text += row + message + "\n";
  }
  return text;
}

}  // namespace quill::fleet
