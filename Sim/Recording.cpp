#include "Recording.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "ReportDescriptor.h"

namespace sim {

Recording Recording::Parse(const std::string &text) {
  Recording r;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.size() < 2 || line[1] != ':') continue;
    std::string rest = line.substr(2);
    std::istringstream fields(rest);
    switch (line[0]) {
      case 'N':
        r.name = rest.substr(std::min(rest.size(), rest.find_first_not_of(' ')));
        break;
      case 'I': {
        std::string bus, vendor, product;
        fields >> bus >> vendor >> product;
        r.bus = (uint16_t)std::strtoul(bus.c_str(), nullptr, 16);
        r.vendor = (uint16_t)std::strtoul(vendor.c_str(), nullptr, 16);
        r.product = (uint16_t)std::strtoul(product.c_str(), nullptr, 16);
        break;
      }
      case 'R': {
        size_t length = 0;
        fields >> length;
        std::string bytes;
        std::getline(fields, bytes);
        r.descriptor = ParseHexBytes(bytes);
        if (r.descriptor.size() != length)
          r.errors.push_back("line " + std::to_string(number) + ": descriptor of " + std::to_string(r.descriptor.size()) +
                             " bytes, announced " + std::to_string(length));
        break;
      }
      case 'E': {
        Event e;
        size_t length = 0;
        fields >> e.seconds >> length;
        std::string bytes;
        std::getline(fields, bytes);
        e.bytes = ParseHexBytes(bytes);
        if (e.bytes.size() != length)
          r.errors.push_back("line " + std::to_string(number) + ": report of " + std::to_string(e.bytes.size()) +
                             " bytes, announced " + std::to_string(length));
        r.events.push_back(std::move(e));
        break;
      }
      default:
        break;
    }
  }
  return r;
}

}  // namespace sim
