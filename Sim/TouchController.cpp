#include "TouchController.h"

#include <algorithm>
#include <cstring>

namespace sim {

TouchController::TouchController(TouchDescription description) : description_(std::move(description)) {
  if (description_.hid.wReportDescLength == 0)
    description_.hid.wReportDescLength = (uint16_t)description_.reportDescriptor.size();
}

std::vector<uint8_t> TouchController::HidDescriptorBytes() const {
  const HidDescriptorFields &h = description_.hid;
  const uint16_t fields[] = {h.wHIDDescLength,   h.bcdVersion,      h.wReportDescLength, h.wReportDescRegister,
                             h.wInputRegister,   h.wMaxInputLength, h.wOutputRegister,   h.wMaxOutputLength,
                             h.wCommandRegister, h.wDataRegister,   h.wVendorID,         h.wProductID,
                             h.wVersionID};
  std::vector<uint8_t> bytes(30, 0);
  for (size_t i = 0; i < 13; ++i) PutLe16(&bytes[2 * i], fields[i]);
  return bytes;
}

std::vector<std::vector<uint8_t>> TouchController::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> TouchController::ProtocolBreaches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return breaches_;
}

void TouchController::Breach(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  breaches_.push_back(std::move(text));
}

size_t TouchController::Transfer(const std::vector<uint8_t> &written, uint8_t *read, size_t readLength) {
  auto answer = [&](const std::vector<uint8_t> &bytes) {
    size_t n = std::min(bytes.size(), readLength);
    if (n) std::memcpy(read, bytes.data(), n);
    return n;
  };
  if (written.empty()) {
    // An input read: nothing waits yet, so the device answers an empty report.
    std::vector<uint8_t> none(readLength, 0);
    return answer(none);
  }
  if (written.size() < 2) {
    Breach("a write of " + std::to_string(written.size()) + " byte names no register");
    return 0;
  }
  uint16_t reg = Le16(written.data());
  if (reg == description_.hidDescriptorRegister && written.size() == 2) return answer(HidDescriptorBytes());
  if (reg == description_.hid.wReportDescRegister && written.size() == 2)
    return answer(description_.reportDescriptor);
  if (reg == description_.hid.wCommandRegister) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(written);
    return 0;
  }
  Breach("transfer to unknown register 0x" + [&] {
    char t[8];
    std::snprintf(t, sizeof t, "%04X", reg);
    return std::string(t);
  }());
  return 0;
}

}  // namespace sim
