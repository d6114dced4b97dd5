// A parser of HID report descriptors, shared by the touch controller (to
// encode contacts) and the HID class driver (to decode reports): main,
// global and local items, push and pop, report ids, collections, usages and
// usage ranges, sizes and counts, logical and physical ranges and units. It
// yields every report's fields with their bit offsets.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

enum class ReportKind { Input, Output, Feature };

// Usages carry their page in the upper 16 bits.
constexpr uint32_t Usage(uint16_t page, uint16_t id) { return ((uint32_t)page << 16) | id; }
namespace usage {
constexpr uint32_t X = Usage(0x01, 0x30);
constexpr uint32_t Y = Usage(0x01, 0x31);
constexpr uint32_t TipSwitch = Usage(0x0D, 0x42);
constexpr uint32_t ContactId = Usage(0x0D, 0x51);
constexpr uint32_t ContactCount = Usage(0x0D, 0x54);
constexpr uint32_t Finger = Usage(0x0D, 0x22);
}  // namespace usage

struct HidField {
  ReportKind kind;
  uint8_t reportId;
  uint32_t bitOffset;  // from the start of the report data, after the id byte
  uint32_t bitSize;
  uint32_t count;
  std::vector<uint32_t> usages;  // one per element for variables; the range for arrays
  bool constant, variable, relative;
  int32_t logicalMin, logicalMax, physicalMin, physicalMax;
  uint32_t unit;
  int32_t unitExponent;
  int collection;  // index of the innermost collection
  // The usage of element i (the last usage repeats).
  uint32_t UsageOf(uint32_t i) const;
  bool IsSigned() const { return logicalMin < 0; }
};

struct HidCollection {
  uint32_t usage;
  uint8_t type;  // 0 physical, 1 application, 2 logical
  int parent;
};

struct HidReport {
  ReportKind kind;
  uint8_t id;
  uint32_t bits = 0;
  std::vector<HidField> fields;
};

class ReportDescriptor {
 public:
  static ReportDescriptor Parse(const std::vector<uint8_t> &bytes);

  bool usesReportIds = false;
  std::vector<HidCollection> collections;
  std::vector<std::string> errors;

  // Every report of a kind, in the order of their first field.
  std::vector<const HidReport *> Reports(ReportKind kind) const;
  const HidReport *Find(ReportKind kind, uint8_t id) const;
  // Bytes of a report as it travels, the id byte included when ids are used.
  size_t ByteLength(const HidReport &report) const;
  size_t MaxByteLength(ReportKind kind) const;
  // The collection of `index` or any parent with this usage, or -1.
  int Enclosing(int index, uint32_t usage) const;

  std::vector<HidReport> reports;
};

// Reads and writes field values in report data (little-endian bit order).
uint32_t ReadBits(const uint8_t *data, size_t bytes, uint32_t bitOffset, uint32_t bitSize);
void WriteBits(uint8_t *data, size_t bytes, uint32_t bitOffset, uint32_t bitSize, uint32_t value);

// Parses space-separated hex bytes, as the data files hold them.
std::vector<uint8_t> ParseHexBytes(const std::string &text);

}  // namespace sim
