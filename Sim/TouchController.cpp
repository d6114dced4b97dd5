#include "TouchController.h"

#include <algorithm>
#include <cstring>

namespace sim {

TouchController::TouchController(TouchDescription description) : description_(std::move(description)) {
  if (description_.hid.wReportDescLength == 0)
    description_.hid.wReportDescLength = (uint16_t)description_.reportDescriptor.size();
  parsed_ = ReportDescriptor::Parse(description_.reportDescriptor);
  layout_ = FindContactLayout(parsed_);
}

void TouchController::QueueContacts(const std::vector<Contact> &contacts) {
  if (layout_) QueueReport(EncodeContacts(*layout_, contacts));
}

std::vector<std::vector<uint8_t>> TouchController::OutputReports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputs_;
}

std::vector<uint8_t> TouchController::Feature(uint8_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = features_.find(id);
  if (it != features_.end()) return it->second;
  // A feature never set reads as zeros of its length, its id first.
  const HidReport *r = parsed_.Find(ReportKind::Feature, id);
  std::vector<uint8_t> bytes(r ? parsed_.ByteLength(*r) : 1, 0);
  if (parsed_.usesReportIds && !bytes.empty()) bytes[0] = id;
  return bytes;
}

void TouchController::SetFeature(uint8_t id, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  features_[id] = std::move(bytes);
}

void TouchController::OverrideFeatureLength(std::optional<uint16_t> length) {
  std::lock_guard<std::mutex> lock(mutex_);
  featureLength_ = length;
}

// GET_REPORT and SET_REPORT: the command word, the id byte when the id does
// not fit its 4 bits, the data register, and for SET_REPORT the report with
// its length field.
size_t TouchController::ReportCommand(const std::vector<uint8_t> &written, uint8_t *read, size_t readLength) {
  uint8_t type = (written[2] >> 4) & 3;
  uint8_t id = written[2] & 0x0F;
  size_t at = 4;
  if (id == 0x0F) {
    if (written.size() < 5) {
      Breach("report command without its id byte");
      return 0;
    }
    id = written[4];
    at = 5;
  }
  bool get = (written[3] & 0x0F) == 0x02;
  if (type != 3) Breach("report command for a report type other than feature");
  if (written.size() < at + 2 || Le16(&written[at]) != description_.hid.wDataRegister) {
    Breach("report command without the data register");
    return 0;
  }
  at += 2;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(written);
  }
  if (get) {
    if (written.size() != at) Breach("GET_REPORT with trailing bytes");
    std::vector<uint8_t> report = Feature(id);
    std::optional<uint16_t> length;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      length = featureLength_;
    }
    uint16_t field = length ? *length : (uint16_t)(report.size() + 2);
    std::vector<uint8_t> answer;
    answer.reserve(report.size() + 2);
    answer.push_back((uint8_t)field);
    answer.push_back((uint8_t)(field >> 8));
    for (uint8_t b : report) answer.push_back(b);
    size_t n = std::min(answer.size(), readLength);
    std::memcpy(read, answer.data(), n);
    if (n < readLength) std::memset(read + n, 0, readLength - n);
    return readLength;
  }
  if (written.size() < at + 2) {
    Breach("SET_REPORT without a length field");
    return 0;
  }
  uint16_t length = Le16(&written[at]);
  std::vector<uint8_t> report(written.begin() + at + 2, written.end());
  if (length != report.size() + 2) Breach("SET_REPORT length field does not match the report");
  SetFeature(id, report);
  return 0;
}

void TouchController::OutputWrite(const std::vector<uint8_t> &written) {
  if (written.size() < 4) {
    Breach("output report without a length field");
    return;
  }
  std::vector<uint8_t> report(written.begin() + 4, written.end());
  if (Le16(&written[2]) != report.size() + 2) Breach("output report length field does not match the report");
  if (report.size() > description_.hid.wMaxOutputLength) Breach("output report longer than wMaxOutputLength");
  std::lock_guard<std::mutex> lock(mutex_);
  outputs_.push_back(report);
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

void TouchController::ClearCommands() {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.clear();
}

void TouchController::ConnectLine(std::function<void(bool)> line) {
  std::lock_guard<std::mutex> lock(mutex_);
  line_ = std::move(line);
}

void TouchController::UpdateLine() {
  std::function<void(bool)> line;
  bool asserted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line = line_;
    asserted = !fifo_.empty();
  }
  if (line) line(asserted);
}

bool TouchController::QueueReport(const std::vector<uint8_t> &report) {
  uint16_t length = (uint16_t)(report.size() + 2);
  std::vector<uint8_t> bytes;
  bytes.reserve(report.size() + 2);
  bytes.push_back((uint8_t)length);
  bytes.push_back((uint8_t)(length >> 8));
  for (uint8_t b : report) bytes.push_back(b);
  return QueueRaw(bytes);
}

bool TouchController::QueueRaw(const std::vector<uint8_t> &bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (asleep_) return false;
    fifo_.push_back(bytes);
  }
  UpdateLine();
  return true;
}

size_t TouchController::PendingReports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fifo_.size();
}

bool TouchController::Asleep() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return asleep_;
}

unsigned TouchController::Resets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resets_;
}

unsigned TouchController::InputReads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inputReads_;
}

void TouchController::Command(const std::vector<uint8_t> &written) {
  if (written.size() < 4) {
    Breach("command of " + std::to_string(written.size()) + " bytes");
    return;
  }
  uint8_t argument = written[2];
  uint8_t opcode = written[3] & 0x0F;
  bool clearFifo = false, queueReset = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(written);
    switch (opcode) {
      case 0x01:  // RESET
        if (written.size() != 4 || argument != 0) breaches_.push_back("malformed RESET");
        ++resets_;
        asleep_ = false;
        clearFifo = queueReset = true;
        break;
      case 0x08:  // SET_POWER
        if (written.size() != 4 || argument > 1)
          breaches_.push_back("malformed SET_POWER");
        else
          asleep_ = argument == 1;
        if (asleep_) clearFifo = true;
        break;
      default:
        breaches_.push_back("unknown opcode " + std::to_string(opcode));
    }
    if (asleep_ && opcode != 0x08) breaches_.push_back("command while asleep");
    if (clearFifo) fifo_.clear();
    // The answer to RESET: an input report whose length field is 0.
    if (queueReset && description_.answerReset) fifo_.push_back(std::vector<uint8_t>{0x00, 0x00});
  }
  UpdateLine();
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
    // An input read: the oldest waiting report, or a zero length when none waits.
    std::vector<uint8_t> report;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++inputReads_;
      if (!fifo_.empty()) {
        report = fifo_.front();
        fifo_.pop_front();
      }
    }
    report.resize(std::max(report.size(), readLength), 0);
    size_t n = answer(report);
    // Still more to read: the line drops and rises again, so that an edge-
    // sensitive receiver sees the next report too.
    std::function<void(bool)> line;
    bool more;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      line = line_;
      more = !fifo_.empty();
    }
    if (line && more) line(false);
    UpdateLine();
    return n;
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
    if (written.size() >= 4 && ((written[3] & 0x0F) == 0x02 || (written[3] & 0x0F) == 0x03))
      return ReportCommand(written, read, readLength);
    Command(written);
    return 0;
  }
  if (reg == description_.hid.wOutputRegister) {
    OutputWrite(written);
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
