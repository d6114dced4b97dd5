// Touch contacts in the reports of a digitizer: where a report keeps each
// finger's tip switch, contact id, X and Y, and the contact count, found
// from the parsed report descriptor; contacts encoded into reports and
// decoded from them.
#pragma once

#include <optional>
#include <vector>

#include "ReportDescriptor.h"

namespace sim {

struct Contact {
  uint32_t id = 0;
  bool tip = true;
  uint32_t x = 0, y = 0;
  bool operator==(const Contact &o) const { return id == o.id && tip == o.tip && x == o.x && y == o.y; }
};

struct ContactLayout {
  struct Ref {
    bool present = false;
    uint32_t bitOffset = 0, bitSize = 0;
  };
  struct Finger {
    Ref tip, id, x, y;
  };
  uint8_t reportId = 0;
  size_t byteLength = 0;  // with the id byte when the descriptor uses ids
  bool usesReportIds = false;
  std::vector<Finger> fingers;
  Ref count;
};

// The first input report that carries fingers, if any.
std::optional<ContactLayout> FindContactLayout(const ReportDescriptor &descriptor);

// A report with these contacts in its first fingers and the contact count.
std::vector<uint8_t> EncodeContacts(const ContactLayout &layout, const std::vector<Contact> &contacts);
// The contacts of a report: fingers whose tip switch is set, or, with a
// contact count, the first that many fingers.
std::vector<Contact> DecodeContacts(const ContactLayout &layout, const uint8_t *report, size_t length);

}  // namespace sim
