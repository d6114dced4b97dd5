// The HID class driver above the minidriver: it sends the internal I/O
// controls of the HID minidriver interface and reports what came back.
#pragma once

#include <wdf.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Framework/Fx.h"
#include "Platform.h"

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

class HidClass {
 public:
  explicit HidClass(WDFDEVICE device) : device_(device) {}

  // Sends one request and waits for it to complete.
  HidResult Send(ULONG code, void *buffer, ULONG outputLength, PVOID type3 = nullptr, bool boundInformation = true);
  // Sends one request and returns at once; the completion tells when it is done.
  std::shared_ptr<host::fx::IrpCompletion> Start(ULONG code, void *buffer, ULONG outputLength, PVOID type3 = nullptr,
                                                 bool boundInformation = true,
                                                 std::function<void(host::fx::IrpCompletion &)> onComplete = {});

  // The start sequence of the class driver: descriptor, attributes, report
  // descriptor sized from the descriptor's wReportLength, the three strings.
  Enumeration Enumerate();

  HidResult GetString(uint16_t id, uint16_t language, std::u16string &text, ULONG bufferBytes = 256);

 private:
  WDFDEVICE device_;
};

}  // namespace sim
