#include "Contacts.h"

#include <map>

namespace sim {

std::optional<ContactLayout> FindContactLayout(const ReportDescriptor &d) {
  for (const HidReport *r : d.Reports(ReportKind::Input)) {
    ContactLayout layout;
    layout.reportId = r->id;
    layout.usesReportIds = d.usesReportIds;
    layout.byteLength = d.ByteLength(*r);
    std::map<int, size_t> fingerOf;  // finger collection -> index
    for (const HidField &f : r->fields) {
      if (!f.variable || f.constant) continue;
      for (uint32_t i = 0; i < f.count; ++i) {
        uint32_t u = f.UsageOf(i);
        ContactLayout::Ref ref{true, f.bitOffset + i * f.bitSize, f.bitSize};
        if (u == usage::ContactCount) {
          if (!layout.count.present) layout.count = ref;
          continue;
        }
        if (u != usage::TipSwitch && u != usage::ContactId && u != usage::X && u != usage::Y) continue;
        int finger = d.Enclosing(f.collection, usage::Finger);
        if (finger < 0) continue;
        auto it = fingerOf.find(finger);
        if (it == fingerOf.end()) {
          it = fingerOf.emplace(finger, layout.fingers.size()).first;
          layout.fingers.emplace_back();
        }
        ContactLayout::Finger &slot = layout.fingers[it->second];
        ContactLayout::Ref &target = u == usage::TipSwitch ? slot.tip
                                     : u == usage::ContactId ? slot.id
                                     : u == usage::X         ? slot.x
                                                             : slot.y;
        if (!target.present) target = ref;
      }
    }
    if (!layout.fingers.empty()) return layout;
  }
  return std::nullopt;
}

std::vector<uint8_t> EncodeContacts(const ContactLayout &layout, const std::vector<Contact> &contacts) {
  std::vector<uint8_t> report(layout.byteLength, 0);
  size_t skip = layout.usesReportIds ? 1 : 0;
  if (skip) report[0] = layout.reportId;
  uint8_t *data = report.data() + skip;
  size_t bytes = report.size() - skip;
  auto put = [&](const ContactLayout::Ref &ref, uint32_t value) {
    if (ref.present) WriteBits(data, bytes, ref.bitOffset, ref.bitSize, value);
  };
  for (size_t i = 0; i < layout.fingers.size() && i < contacts.size(); ++i) {
    put(layout.fingers[i].tip, contacts[i].tip ? 1 : 0);
    put(layout.fingers[i].id, contacts[i].id);
    put(layout.fingers[i].x, contacts[i].x);
    put(layout.fingers[i].y, contacts[i].y);
  }
  put(layout.count, (uint32_t)std::min(contacts.size(), layout.fingers.size()));
  return report;
}

std::vector<Contact> DecodeContacts(const ContactLayout &layout, const uint8_t *report, size_t length) {
  std::vector<Contact> out;
  size_t skip = layout.usesReportIds ? 1 : 0;
  if (length < skip || (skip && report[0] != layout.reportId)) return out;
  const uint8_t *data = report + skip;
  size_t bytes = length - skip;
  auto get = [&](const ContactLayout::Ref &ref) -> uint32_t {
    return ref.present ? ReadBits(data, bytes, ref.bitOffset, ref.bitSize) : 0;
  };
  size_t count = layout.count.present ? std::min<size_t>(get(layout.count), layout.fingers.size())
                                      : layout.fingers.size();
  for (size_t i = 0; i < count; ++i) {
    const auto &f = layout.fingers[i];
    Contact c{get(f.id), f.tip.present ? get(f.tip) != 0 : true, get(f.x), get(f.y)};
    if (!layout.count.present && !c.tip) continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace sim
