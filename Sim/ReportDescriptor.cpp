#include "ReportDescriptor.h"

#include <cctype>
#include <cstdlib>

namespace sim {
namespace {

struct Globals {
  uint16_t usagePage = 0;
  int32_t logicalMin = 0, logicalMax = 0, physicalMin = 0, physicalMax = 0;
  int32_t unitExponent = 0;
  uint32_t unit = 0;
  uint32_t reportSize = 0, reportCount = 0;
  uint8_t reportId = 0;
};

struct Locals {
  std::vector<uint32_t> usages;
  bool haveMin = false;
  uint32_t usageMin = 0;
  void Clear() {
    usages.clear();
    haveMin = false;
  }
};

int32_t Signed(uint32_t value, int size) {
  switch (size) {
    case 1:
      return (int8_t)value;
    case 2:
      return (int16_t)value;
    default:
      return (int32_t)value;
  }
}

}  // namespace

uint32_t HidField::UsageOf(uint32_t i) const {
  if (usages.empty()) return 0;
  return i < usages.size() ? usages[i] : usages.back();
}

ReportDescriptor ReportDescriptor::Parse(const std::vector<uint8_t> &bytes) {
  ReportDescriptor d;
  Globals g;
  std::vector<Globals> stack;
  Locals l;
  std::vector<int> open;  // collection indices
  std::map<std::pair<int, uint8_t>, size_t> index;  // (kind, id) -> report

  size_t at = 0;
  while (at < bytes.size()) {
    uint8_t prefix = bytes[at];
    if (prefix == 0xFE) {  // long item
      if (at + 2 >= bytes.size()) {
        d.errors.push_back("long item cut short");
        break;
      }
      at += 3 + bytes[at + 1];
      continue;
    }
    int size = prefix & 3;
    if (size == 3) size = 4;
    int type = (prefix >> 2) & 3;
    int tag = prefix >> 4;
    if (at + 1 + size > bytes.size()) {
      d.errors.push_back("item at " + std::to_string(at) + " cut short");
      break;
    }
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= (uint32_t)bytes[at + 1 + i] << (8 * i);
    at += 1 + size;

    if (type == 0) {  // main
      if (tag == 0xA) {
        HidCollection c{l.usages.empty() ? 0 : l.usages.front(), (uint8_t)value, open.empty() ? -1 : open.back()};
        d.collections.push_back(c);
        open.push_back((int)d.collections.size() - 1);
      } else if (tag == 0xC) {
        if (open.empty())
          d.errors.push_back("end collection without a collection");
        else
          open.pop_back();
      } else if (tag == 0x8 || tag == 0x9 || tag == 0xB) {
        ReportKind kind = tag == 0x8 ? ReportKind::Input : tag == 0x9 ? ReportKind::Output : ReportKind::Feature;
        auto key = std::make_pair((int)kind, g.reportId);
        auto it = index.find(key);
        if (it == index.end()) {
          HidReport r;
          r.kind = kind;
          r.id = g.reportId;
          d.reports.push_back(r);
          it = index.emplace(key, d.reports.size() - 1).first;
        }
        HidReport &r = d.reports[it->second];
        HidField f;
        f.kind = kind;
        f.reportId = g.reportId;
        f.bitOffset = r.bits;
        f.bitSize = g.reportSize;
        f.count = g.reportCount;
        f.constant = value & 1;
        f.variable = value & 2;
        f.relative = value & 4;
        f.logicalMin = g.logicalMin;
        f.logicalMax = g.logicalMax;
        // A maximum that reads negative under a non-negative minimum was
        // meant unsigned.
        if (f.logicalMin >= 0 && f.logicalMax < 0) f.logicalMax = (int32_t)(uint32_t)g.logicalMax & 0x7FFFFFFF;
        f.physicalMin = g.physicalMin;
        f.physicalMax = g.physicalMax;
        f.unit = g.unit;
        f.unitExponent = g.unitExponent;
        f.usages = l.usages;
        f.collection = open.empty() ? -1 : open.back();
        r.bits += g.reportSize * g.reportCount;
        r.fields.push_back(f);
      }
      l.Clear();
    } else if (type == 1) {  // global
      switch (tag) {
        case 0: g.usagePage = (uint16_t)value; break;
        case 1: g.logicalMin = Signed(value, size); break;
        case 2: g.logicalMax = Signed(value, size); break;
        case 3: g.physicalMin = Signed(value, size); break;
        case 4: g.physicalMax = Signed(value, size); break;
        case 5: g.unitExponent = (value & 8) ? (int32_t)value - 16 : (int32_t)value; break;
        case 6: g.unit = value; break;
        case 7: g.reportSize = value; break;
        case 8:
          g.reportId = (uint8_t)value;
          d.usesReportIds = true;
          break;
        case 9: g.reportCount = value; break;
        case 10: stack.push_back(g); break;
        case 11:
          if (stack.empty()) {
            d.errors.push_back("pop without push");
          } else {
            g = stack.back();
            stack.pop_back();
          }
          break;
        default: break;
      }
    } else if (type == 2) {  // local
      uint32_t full = size == 4 ? value : Usage(g.usagePage, (uint16_t)value);
      switch (tag) {
        case 0: l.usages.push_back(full); break;
        case 1:
          l.usageMin = full;
          l.haveMin = true;
          break;
        case 2:
          if (l.haveMin) {
            // A range, bounded so that a hostile descriptor cannot ask for millions.
            uint32_t last = std::min<uint32_t>(full, l.usageMin + 4096);
            for (uint32_t u = l.usageMin; u <= last && u >= l.usageMin; ++u) l.usages.push_back(u);
          }
          break;
        default: break;
      }
    }
  }
  if (!open.empty()) d.errors.push_back("collection not closed");
  return d;
}

std::vector<const HidReport *> ReportDescriptor::Reports(ReportKind kind) const {
  std::vector<const HidReport *> out;
  for (auto &r : reports)
    if (r.kind == kind) out.push_back(&r);
  return out;
}

const HidReport *ReportDescriptor::Find(ReportKind kind, uint8_t id) const {
  for (auto &r : reports)
    if (r.kind == kind && r.id == id) return &r;
  return nullptr;
}

size_t ReportDescriptor::ByteLength(const HidReport &report) const {
  return (report.bits + 7) / 8 + (usesReportIds ? 1 : 0);
}

size_t ReportDescriptor::MaxByteLength(ReportKind kind) const {
  size_t most = 0;
  for (auto *r : Reports(kind)) most = std::max(most, ByteLength(*r));
  return most;
}

int ReportDescriptor::Enclosing(int index, uint32_t u) const {
  for (int i = index; i >= 0; i = collections[i].parent)
    if (collections[i].usage == u) return i;
  return -1;
}

uint32_t ReadBits(const uint8_t *data, size_t bytes, uint32_t bitOffset, uint32_t bitSize) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < bitSize && i < 32; ++i) {
    uint32_t bit = bitOffset + i;
    if (bit / 8 >= bytes) break;
    if (data[bit / 8] & (1u << (bit % 8))) value |= 1u << i;
  }
  return value;
}

void WriteBits(uint8_t *data, size_t bytes, uint32_t bitOffset, uint32_t bitSize, uint32_t value) {
  for (uint32_t i = 0; i < bitSize && i < 32; ++i) {
    uint32_t bit = bitOffset + i;
    if (bit / 8 >= bytes) break;
    if (value & (1u << i))
      data[bit / 8] |= (uint8_t)(1u << (bit % 8));
    else
      data[bit / 8] &= (uint8_t) ~(1u << (bit % 8));
  }
}

std::vector<uint8_t> ParseHexBytes(const std::string &text) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !std::isxdigit((unsigned char)text[i])) ++i;
    size_t start = i;
    while (i < text.size() && std::isxdigit((unsigned char)text[i])) ++i;
    if (i > start) out.push_back((uint8_t)std::strtoul(text.substr(start, i - start).c_str(), nullptr, 16));
  }
  return out;
}

}  // namespace sim
