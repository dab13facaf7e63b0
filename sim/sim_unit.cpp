#include "sim/sim_unit.h"

#include <cstdio>

namespace quill::sim {
namespace {

const char* CommandName(uint8_t command) {
  if (command <= 15) return "flash page";
  switch (command) {
    case 0x80: return "settings";
    case 0x81: return "program";
    case 0x82: return "ring";
    case 0x83: return "hold announcement";
    case 0x84: return "digit map";
    case 0x85: return "alternate settings";
    default: return "unknown";
  }
}

// Kinds for which the phone owes an answer: only these say when it gave none.
bool ExpectsAnswer(UnitKind kind) {
  switch (kind) {
    case UnitKind::Block:
    case UnitKind::Command:
    case UnitKind::Request:
    case UnitKind::WakeUp:
    case UnitKind::Probe:
    case UnitKind::EraseSector:
    case UnitKind::BeginWrite:
    case UnitKind::Chunk:
    case UnitKind::SdramLoadStart:
    case UnitKind::SdramChunk:
    case UnitKind::SdramExportStart:
    case UnitKind::SdramExportRequest:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* UnitKindName(UnitKind kind) {
  switch (kind) {
    case UnitKind::Block: return "block";
    case UnitKind::Command: return "command";
    case UnitKind::Request: return "request";
    case UnitKind::Partial: return "partial";
    case UnitKind::WakeUp: return "wake-up";
    case UnitKind::Probe: return "probe";
    case UnitKind::EraseSector: return "erase";
    case UnitKind::BeginWrite: return "begin write";
    case UnitKind::Chunk: return "chunk";
    case UnitKind::End: return "end";
    case UnitKind::SdramLoadStart: return "sdram load start";
    case UnitKind::SdramChunk: return "sdram chunk";
    case UnitKind::SdramLoadEnd: return "sdram load end";
    case UnitKind::SdramExportStart: return "sdram export start";
    case UnitKind::SdramExportRequest: return "sdram export request";
    case UnitKind::SdramExportEnd: return "sdram export end";
    case UnitKind::Stray: return "stray";
  }
  return "unit";
}

std::string HexBytes(const std::vector<uint8_t>& bytes, size_t max) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < bytes.size() && i < max; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (!out.empty()) out += ' ';
    out += hex;
  }
  if (bytes.size() > max) out += " ...";
  return out;
}

std::string DescribeUnit(const SimUnit& unit) {
  char head[96];
  const std::vector<uint8_t>& b = unit.bytes;
  switch (unit.kind) {
    case UnitKind::Command:
      std::snprintf(head, sizeof head, "command 0x%02x (%s)", b.empty() ? 0 : b[0],
                    CommandName(b.empty() ? 0xFF : b[0]));
      break;
    case UnitKind::Request:
      std::snprintf(head, sizeof head, "request \"%.*s\"", static_cast<int>(b.size()),
                    reinterpret_cast<const char*>(b.data()));
      break;
    case UnitKind::EraseSector:
      std::snprintf(head, sizeof head, "erase sector %d", b.empty() ? -1 : b.back());
      break;
    case UnitKind::Probe:
    case UnitKind::WakeUp:
    case UnitKind::BeginWrite:
    case UnitKind::End:
    case UnitKind::SdramLoadStart:
    case UnitKind::SdramLoadEnd:
    case UnitKind::SdramExportStart:
    case UnitKind::SdramExportRequest:
    case UnitKind::SdramExportEnd:
      std::snprintf(head, sizeof head, "%s (%zu bytes)", UnitKindName(unit.kind), b.size());
      break;
    case UnitKind::Chunk:
    case UnitKind::SdramChunk:
      // The leading 0x08 is the chunk's marker; the eight data bytes are what matters to a reader.
      std::snprintf(head, sizeof head, "%s:", UnitKindName(unit.kind));
      return std::string(head) + " " +
             HexBytes(std::vector<uint8_t>(b.begin() + (b.empty() ? 0 : 1), b.end()), 8) +
             (unit.answered ? "" : " (unanswered)");
    default:
      std::snprintf(head, sizeof head, "%s %zu bytes:", UnitKindName(unit.kind), b.size());
      return std::string(head) + " " + HexBytes(b, 16) +
             (ExpectsAnswer(unit.kind) && !unit.answered ? " (unanswered)" : "");
  }
  return std::string(head) + (ExpectsAnswer(unit.kind) && !unit.answered ? " (unanswered)" : "");
}

}  // namespace quill::sim
