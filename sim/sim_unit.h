// One unit of what the phone received, as the tool sends it: the TCP loader's blocks, commands and read
// requests, and the serial loader's wake-up, probes, erases, chunks and SDRAM steps. The bytes of the units
// of a session, joined in order, are exactly the bytes that arrived, so tests can compare byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quill::sim {

enum class UnitKind : uint8_t {
  // TCP loader
  Block,    // a 128-byte data block
  Command,  // a one-byte command: page 0-15 or 0x80-0x85
  Request,  // "dh" or "sh", answered by the next 128 bytes
  Partial,  // the bytes left when a connection ended in the middle of a unit
  // serial loader
  WakeUp,              // 16 x 0x55
  Probe,               // one 0xAA
  EraseSector,         // 8 x 0xFF, then the sector number
  BeginWrite,          // 8 x 0x00 after a wake-up and probe
  Chunk,               // 0x08 and eight data bytes of the flash page
  End,                 // 0xFF that ends the flash write
  SdramLoadStart,      // 8 x 0x00 without a wake-up and probe
  SdramChunk,          // 0x08 and eight data bytes of the SDRAM load
  SdramLoadEnd,        // 0xFF that ends the SDRAM load
  SdramExportStart,    // 8 x 0xFF without a probe
  SdramExportRequest,  // 0x08, answered by eight SDRAM bytes
  SdramExportEnd,      // 0x00 that ends the export
  Stray,               // bytes that make no unit in the state the loader was in
};

struct SimUnit {
  UnitKind kind = UnitKind::Stray;
  int session = 0;             // TCP connection or serial line session, numbered from 1
  std::vector<uint8_t> bytes;  // exactly the bytes received for this unit
  bool answered = false;       // an answer was queued for it
};

const char* UnitKindName(UnitKind kind);

// One line for people, without a line end: "block 128 bytes: 00 01 02 ...", "command 0x82 (ring)".
std::string DescribeUnit(const SimUnit& unit);

// "00 01 02" of at most max bytes, "..." after them when there are more.
std::string HexBytes(const std::vector<uint8_t>& bytes, size_t max);

}  // namespace quill::sim
