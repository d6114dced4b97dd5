// A simulated HID-over-I2C touch controller on the bus: its HID descriptor
// register, report descriptor register and command register. It checks the
// host's side of the protocol and records each breach.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "Contacts.h"
#include "I2cController.h"
#include "ReportDescriptor.h"

namespace sim {

struct HidDescriptorFields {
  uint16_t wHIDDescLength = 30;
  uint16_t bcdVersion = 0x0100;
  uint16_t wReportDescLength = 0;  // 0: the length of the report descriptor
  uint16_t wReportDescRegister = 0x0002;
  uint16_t wInputRegister = 0x0003;
  uint16_t wMaxInputLength = 64;
  uint16_t wOutputRegister = 0x0004;
  uint16_t wMaxOutputLength = 16;
  uint16_t wCommandRegister = 0x0005;
  uint16_t wDataRegister = 0x0006;
  uint16_t wVendorID = 0x2A94;
  uint16_t wProductID = 0x0C31;
  uint16_t wVersionID = 0x0102;
};

struct TouchDescription {
  uint16_t hidDescriptorRegister = 0x0001;
  HidDescriptorFields hid;
  std::vector<uint8_t> reportDescriptor;
  bool answerReset = true;  // a device that never answers RESET keeps the host waiting
};

class TouchController : public I2cSlave {
 public:
  explicit TouchController(TouchDescription description);

  // The 30 bytes the HID descriptor register answers.
  std::vector<uint8_t> HidDescriptorBytes() const;
  const TouchDescription &Description() const { return description_; }

  // Commands written to the command register, as raw bytes.
  std::vector<std::vector<uint8_t>> Commands() const;
  void ClearCommands();

  // The interrupt line: asserted while a report waits.
  void ConnectLine(std::function<void(bool asserted)> line);
  // Queues an input report (the bytes after the length field); dropped while asleep.
  // Both return false when the report was dropped.
  bool QueueReport(const std::vector<uint8_t> &report);
  // Queues bytes exactly as the host will read them, length field included.
  bool QueueRaw(const std::vector<uint8_t> &bytes);
  size_t PendingReports() const;
  bool Asleep() const;
  unsigned Resets() const;
  unsigned InputReads() const;
  // Malformed host transfers, one text each.
  std::vector<std::string> ProtocolBreaches() const;

  // The parsed report descriptor and, for a digitizer, where its contacts go.
  const ReportDescriptor &Descriptor() const { return parsed_; }
  const std::optional<ContactLayout> &Layout() const { return layout_; }
  // Queues one input report with these contacts.
  void QueueContacts(const std::vector<Contact> &contacts);

  // Output reports written to the output register, as the report bytes.
  std::vector<std::vector<uint8_t>> OutputReports() const;
  // Feature reports: what GET_REPORT answers and SET_REPORT stores, by id.
  std::vector<uint8_t> Feature(uint8_t id) const;
  void SetFeature(uint8_t id, std::vector<uint8_t> bytes);
  // The length field the next GET_REPORT answers with, in place of the true one.
  void OverrideFeatureLength(std::optional<uint16_t> length);

  size_t Transfer(const std::vector<uint8_t> &written, uint8_t *read, size_t readLength) override;

 private:
  void Breach(std::string text);
  void Command(const std::vector<uint8_t> &written);
  size_t ReportCommand(const std::vector<uint8_t> &written, uint8_t *read, size_t readLength);
  void OutputWrite(const std::vector<uint8_t> &written);
  void UpdateLine();

  TouchDescription description_;
  ReportDescriptor parsed_;
  std::optional<ContactLayout> layout_;
  mutable std::mutex mutex_;
  std::vector<std::vector<uint8_t>> outputs_;
  std::map<uint8_t, std::vector<uint8_t>> features_;
  std::optional<uint16_t> featureLength_;
  std::vector<std::vector<uint8_t>> commands_;
  std::deque<std::vector<uint8_t>> fifo_;
  std::function<void(bool)> line_;
  bool asleep_ = false;
  unsigned resets_ = 0;
  unsigned inputReads_ = 0;
  std::vector<std::string> breaches_;
};

}  // namespace sim
