// The HID class driver above the minidriver: it sends the internal I/O
// controls of the HID minidriver interface and reports what came back.
#pragma once

#include <wdf.h>

#include <cstdint>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Contacts.h"
#include "Framework/Fx.h"
#include "Platform.h"
#include "ReportDescriptor.h"

namespace sim {

namespace hid {
inline constexpr ULONG kGetDeviceDescriptor = 0xB0003;
inline constexpr ULONG kGetReportDescriptor = 0xB0007;
inline constexpr ULONG kReadReport = 0xB000B;
inline constexpr ULONG kWriteReport = 0xB000F;
inline constexpr ULONG kGetString = 0xB0013;
inline constexpr ULONG kActivateDevice = 0xB001F;
inline constexpr ULONG kDeactivateDevice = 0xB0023;
inline constexpr ULONG kGetDeviceAttributes = 0xB0027;
inline constexpr ULONG kSendIdleNotification = 0xB002B;
inline constexpr ULONG kSetFeature = 0xB0191;
inline constexpr ULONG kGetFeature = 0xB0192;
inline constexpr ULONG kSetOutputReport = 0xB0195;
inline constexpr ULONG kGetPhysicalDescriptor = 0xB019A;
inline constexpr ULONG kGetInputReport = 0xB01A2;
inline constexpr ULONG kGetIndexedString = 0xB01E2;
inline constexpr uint16_t kLanguageEnglishUs = 0x0409;
}  // namespace hid

struct HidResult {
  NTSTATUS status = STATUS_PENDING;
  ULONG_PTR information = 0;
};

struct Enumeration {
  HidResult deviceDescriptor;
  std::vector<uint8_t> deviceDescriptorBytes;
  HidResult attributes;
  uint16_t vendorId = 0, productId = 0, versionNumber = 0;
  HidResult reportDescriptor;
  std::vector<uint8_t> reportDescriptorBytes;
  HidResult strings[3];
  std::u16string manufacturer, product, serialNumber;
};

using SimEventRef = std::shared_ptr<host::SimEvent>;

struct Delivered {
  uint8_t reportId = 0;
  std::vector<uint8_t> bytes;  // as the read returned them, report id first
  std::vector<Contact> contacts;
  host::Ticks at = 0;
};

class HidClass {
 public:
  explicit HidClass(WDFDEVICE device) : device_(device) {}
  ~HidClass();

  // Sends one request and waits for it to complete.
  HidResult Send(ULONG code, void *buffer, ULONG outputLength, PVOID type3 = nullptr, bool boundInformation = true);
  // Sends one request and returns at once; the completion tells when it is done.
  std::shared_ptr<host::fx::IrpCompletion> Submit(ULONG code, void *buffer, ULONG outputLength, PVOID type3 = nullptr,
                                                 bool boundInformation = true,
                                                 std::function<void(host::fx::IrpCompletion &)> onComplete = {});

  // The start sequence of the class driver: descriptor, attributes, report
  // descriptor sized from the descriptor's wReportLength, the three strings.
  Enumeration Enumerate();

  HidResult GetString(uint16_t id, uint16_t language, std::u16string &text, ULONG bufferBytes = 256);

  // Enumerates, parses the report descriptor and keeps two reads pending,
  // each sent again as soon as it completes.
  Enumeration Start();
  // Cancels the pending reads and sends no more.
  void StopReading();
  void ResumeReading();
  const ReportDescriptor &Descriptor() const { return descriptor_; }
  const std::optional<ContactLayout> &Layout() const { return layout_; }

  std::vector<Delivered> Reports() const;
  // Reads completed with a failure status, by status.
  std::vector<NTSTATUS> FailedReads() const;
  size_t ReadsPending() const;
  size_t DeliveredCount() const { return delivered_; }
  // Set at each delivered report (for free-running benchmarks).
  SimEventRef Delivery() { return delivery_; }

  // Feature and output requests through HID_XFER_PACKETs.
  HidResult GetFeature(uint8_t id, std::vector<uint8_t> &bytes);
  HidResult SetFeature(const std::vector<uint8_t> &bytes);
  HidResult WriteOutput(const std::vector<uint8_t> &bytes);

 private:
  struct ReadSlot;
  void IssueRead(const std::shared_ptr<ReadSlot> &slot);
  void OnRead(const std::shared_ptr<ReadSlot> &slot, host::fx::IrpCompletion &completion);

  WDFDEVICE device_;
  ReportDescriptor descriptor_;
  std::optional<ContactLayout> layout_;
  size_t readLength_ = 1;
  mutable std::mutex mutex_;
  bool reading_ = false;
  std::vector<std::shared_ptr<ReadSlot>> slots_;
  std::vector<Delivered> reports_;
  std::vector<NTSTATUS> failed_;
  std::atomic<size_t> delivered_{0};
  SimEventRef delivery_ = std::make_shared<host::SimEvent>(false, false, "report delivered");
};

}  // namespace sim
