// The phones of a fleet run: a CSV inventory, a list, or a range of IPv4 addresses. Every problem is
// found, with its line, before anything is sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill::fleet {

struct Phone {
  std::string address;   // dotted IPv4
  std::string name;      // may be empty
  std::string settings;  // a settings text file for this phone; may be empty
  int line = 0;          // in the inventory file; 0 for a list or a range
};

struct Problem {
  int line = 0;  // 0: not about one line
  std::string text;
};

struct Inventory {
  std::vector<Phone> phones;
  std::vector<Problem> problems;
  bool Ok() const { return problems.empty() && !phones.empty(); }
};

// The largest inventory read, and the most phones one run takes.
constexpr size_t kMaxInventoryFile = size_t{4} << 20;
constexpr size_t kMaxPhones = 10000;

// The CSV text: a header naming the columns (address required; name and settings optional; any other
// column ignored), then one phone per row. Lines starting with "#" and blank lines are skipped; fields may
// be quoted ("a, b" and "say ""hi"""). A settings path that is not absolute is taken from folder.
Inventory ParseInventory(std::string_view text, const std::string& folder = ".");
// The file at path (a regular file of at most kMaxInventoryFile bytes).
Inventory ReadInventory(const std::string& path);
// "A,B,C" or "A-B" (both ends included).
Inventory InventoryFromList(std::string_view list);

// The fields of one CSV line (quoted fields unquoted, others trimmed); false when a quote is left open.
bool SplitCsv(std::string_view line, std::vector<std::string>& fields);

// The dotted IPv4 address as a number (first octet most significant), or false.
bool ParseIPv4(std::string_view text, uint32_t& value);
std::string FormatIPv4(uint32_t value);

// One line per problem: "inventory.csv:7: 10.0.0.5 is already on line 3".
std::string DescribeProblems(const Inventory& inventory, const std::string& origin);

}  // namespace quill::fleet
