#include "fleet/inventory.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/file_io.h"

namespace quill::fleet {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool SplitCsv(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  bool wasQuoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && Trim(field).empty()) {
      field.clear();
      quoted = wasQuoted = true;
    } else if (c == ',') {
      fields.push_back(wasQuoted ? field : std::string(Trim(field)));
      field.clear();
      wasQuoted = false;
    } else {
      field += c;
    }
  }
  if (quoted) return false;
  fields.push_back(wasQuoted ? field : std::string(Trim(field)));
  return true;
}

namespace {

// Adds a phone unless its address is already there; the problem names both lines.
void Add(Inventory& inv, std::map<uint32_t, int>& seen, Phone phone, uint32_t value) {
  auto [at, fresh] = seen.emplace(value, phone.line);
  if (!fresh) {
    inv.problems.push_back({phone.line, phone.address + " is already " +
                                            (at->second > 0 ? "on line " + std::to_string(at->second)
                                                            : std::string("in the list"))});
    return;
  }
  if (inv.phones.size() >= kMaxPhones) {
    if (inv.phones.size() == kMaxPhones)
      inv.problems.push_back({phone.line, "more than " + std::to_string(kMaxPhones) + " phones"});
    return;
  }
  inv.phones.push_back(std::move(phone));
}

}  // namespace

bool ParseIPv4(std::string_view text, uint32_t& value) {
  value = 0;
  int octets = 0;
  size_t at = 0;
  while (octets < 4) {
    uint32_t octet = 0;
    size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
      octet = octet * 10 + static_cast<uint32_t>(text[at++] - '0');
      ++digits;
    }
    if (digits == 0 || octet > 255) return false;
    value = (value << 8) | octet;
    if (++octets < 4 && (at >= text.size() || text[at++] != '.')) return false;
  }
  return at == text.size();
}

std::string FormatIPv4(uint32_t v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
         std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

Inventory ParseInventory(std::string_view text, const std::string& folder) {
  Inventory inv;
  std::map<uint32_t, int> seen;
  int addressColumn = -1, nameColumn = -1, settingsColumn = -1;
  bool header = false;
  int lineNumber = 0;
  std::vector<std::string> fields;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);  // a spreadsheet's mark
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (!SplitCsv(line, fields)) {
      inv.problems.push_back({lineNumber, "a quote is not closed"});
      continue;
    }
    if (!header) {
      header = true;
      for (size_t i = 0; i < fields.size(); ++i) {
        const std::string name = Lower(fields[i]);
        int* column = name == "address"    ? &addressColumn
                      : name == "name"     ? &nameColumn
                      : name == "settings" ? &settingsColumn
                                           : nullptr;
        if (!column) continue;
        if (*column >= 0)
          inv.problems.push_back({lineNumber, "the column " + name + " is named twice"});
        else
          *column = static_cast<int>(i);
      }
      if (addressColumn < 0) {
        inv.problems.push_back({lineNumber, "the header names no address column"});
        return inv;
      }
      continue;
    }
    if (static_cast<int>(fields.size()) <= addressColumn ||
        fields[static_cast<size_t>(addressColumn)].empty()) {
      inv.problems.push_back({lineNumber, "no address"});
      continue;
    }
    Phone phone;
    phone.line = lineNumber;
    phone.address = fields[static_cast<size_t>(addressColumn)];
    uint32_t value = 0;
    if (!ParseIPv4(phone.address, value)) {
      inv.problems.push_back({lineNumber, "\"" + phone.address + "\" is not an IPv4 address"});
      continue;
    }
    phone.address = FormatIPv4(value);
    auto field = [&fields](int column) {
      return column >= 0 && static_cast<size_t>(column) < fields.size() ? fields[static_cast<size_t>(column)]
                                                                        : std::string();
    };
    phone.name = field(nameColumn);
    phone.settings = field(settingsColumn);
    if (phone.name.find_first_of("/\n\r") != std::string::npos ||
        phone.name.find('\0') != std::string::npos) {
      inv.problems.push_back({lineNumber, "the name \"" + phone.name + "\" holds a \"/\""});
      continue;
    }
    if (!phone.settings.empty() && phone.settings.front() != '/' && folder != ".")
      phone.settings = folder + "/" + phone.settings;
    Add(inv, seen, std::move(phone), value);
  }
  if (!header)
    inv.problems.push_back({0, "no header line (it names the columns: address,name,settings)"});
  else if (inv.phones.empty() && inv.problems.empty())
    inv.problems.push_back({0, "no phones"});
  return inv;
}

Inventory ReadInventory(const std::string& path) {
  CInputFile in;
  std::vector<uint8_t> bytes;
  Inventory inv;
  if (!in.OpenRegular(path) || !in.ReadUpTo(bytes, kMaxInventoryFile + 1)) {
    inv.problems.push_back({0, FileFailureText("Can not open source file", in.Error())});
    return inv;
  }
  if (bytes.size() > kMaxInventoryFile) {
    inv.problems.push_back({0, "larger than " + std::to_string(kMaxInventoryFile >> 20) + " MiB"});
    return inv;
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1));
  return ParseInventory(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), folder);
}

Inventory InventoryFromList(std::string_view list) {
  Inventory inv;
  std::map<uint32_t, int> seen;
  const size_t dash = list.find('-');
  if (dash != std::string_view::npos && list.find(',') == std::string_view::npos) {
    uint32_t first = 0, last = 0;
    if (!ParseIPv4(Trim(list.substr(0, dash)), first) || !ParseIPv4(Trim(list.substr(dash + 1)), last) ||
        last < first) {
      inv.problems.push_back({0, "\"" + std::string(list) + "\" is not a range A-B of IPv4 addresses"});
      return inv;
    }
    if (last - first >= kMaxPhones) {
      inv.problems.push_back({0, "the range holds more than " + std::to_string(kMaxPhones) + " addresses"});
      return inv;
    }
    for (uint64_t v = first; v <= last; ++v) {
      Phone p;
      p.address = FormatIPv4(static_cast<uint32_t>(v));
      Add(inv, seen, std::move(p), static_cast<uint32_t>(v));
    }
    return inv;
  }
  while (true) {
    const size_t comma = list.find(',');
    const std::string_view item = Trim(list.substr(0, comma));
    uint32_t value = 0;
    if (!item.empty()) {
      if (!ParseIPv4(item, value)) {
        inv.problems.push_back({0, "\"" + std::string(item) + "\" is not an IPv4 address"});
      } else {
        Phone p;
        p.address = FormatIPv4(value);
        Add(inv, seen, std::move(p), value);
      }
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  if (inv.phones.empty() && inv.problems.empty()) inv.problems.push_back({0, "no phones"});
  return inv;
}

std::string DescribeProblems(const Inventory& inventory, const std::string& origin) {
  std::string text;
  for (const Problem& p : inventory.problems) {
    text += origin;
    if (p.line > 0) text += ":" + std::to_string(p.line);
    text += ": " + p.text + "\n";
  }
  return text;
}

}  // namespace quill::fleet
