// hid-recorder captures: the report descriptor (R:), the name (N:), the bus
// and ids (I:), and one input report per E: line with its time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Recording {
  struct Event {
    double seconds;
    std::vector<uint8_t> bytes;
  };
  std::string name;
  uint16_t bus = 0, vendor = 0, product = 0;
  std::vector<uint8_t> descriptor;
  std::vector<Event> events;
  std::vector<std::string> errors;

  static Recording Parse(const std::string &text);
};

}  // namespace sim
