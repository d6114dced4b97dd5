#include "HidClass.h"

#include <cstring>

namespace sim {

std::shared_ptr<host::fx::IrpCompletion> HidClass::Start(ULONG code, void *buffer, ULONG outputLength, PVOID type3,
                                                         bool boundInformation,
                                                         std::function<void(host::fx::IrpCompletion &)> onComplete) {
  host::fx::InternalIoctl ioctl;
  ioctl.ioControlCode = code;
  ioctl.userBuffer = buffer;
  ioctl.outputBufferLength = outputLength;
  ioctl.type3InputBuffer = type3;
  ioctl.boundInformation = boundInformation;
  return host::fx::SendInternalIoctl(device_, ioctl, std::move(onComplete));
}

HidResult HidClass::Send(ULONG code, void *buffer, ULONG outputLength, PVOID type3, bool boundInformation) {
  auto completion = Start(code, buffer, outputLength, type3, boundInformation);
  completion->done.Wait();
  return HidResult{completion->status, completion->information};
}

HidResult HidClass::GetString(uint16_t id, uint16_t language, std::u16string &text, ULONG bufferBytes) {
  std::vector<uint16_t> buffer(bufferBytes / 2 + 1, 0xFFFF);
  HidResult r = Send(hid::kGetString, buffer.data(), bufferBytes, (PVOID)(uintptr_t)(((ULONG)language << 16) | id));
  text.clear();
  if (NT_SUCCESS(r.status))
    for (size_t i = 0; i < r.information / 2 && buffer[i] != 0; ++i) text += (char16_t)buffer[i];
  return r;
}

Enumeration HidClass::Enumerate() {
  Enumeration e;
  uint8_t descriptor[9] = {};
  e.deviceDescriptor = Send(hid::kGetDeviceDescriptor, descriptor, sizeof descriptor);
  if (NT_SUCCESS(e.deviceDescriptor.status))
    e.deviceDescriptorBytes.assign(descriptor, descriptor + std::min<size_t>(e.deviceDescriptor.information, 9));

  uint8_t attributes[32];
  std::memset(attributes, 0xA5, sizeof attributes);
  PutLe16(attributes, 32);
  PutLe16(attributes + 2, 0);
  e.attributes = Send(hid::kGetDeviceAttributes, attributes, sizeof attributes);
  if (NT_SUCCESS(e.attributes.status)) {
    e.vendorId = Le16(attributes + 4);
    e.productId = Le16(attributes + 6);
    e.versionNumber = Le16(attributes + 8);
  }

  uint16_t reportLength = e.deviceDescriptorBytes.size() == 9 ? Le16(&e.deviceDescriptorBytes[7]) : 0;
  std::vector<uint8_t> report(reportLength ? reportLength : 1, 0);
  e.reportDescriptor = Send(hid::kGetReportDescriptor, report.data(), reportLength);
  if (NT_SUCCESS(e.reportDescriptor.status))
    e.reportDescriptorBytes.assign(report.begin(), report.begin() + std::min<size_t>(e.reportDescriptor.information,
                                                                                      reportLength));

  e.strings[0] = GetString(14, hid::kLanguageEnglishUs, e.manufacturer);
  e.strings[1] = GetString(15, hid::kLanguageEnglishUs, e.product);
  e.strings[2] = GetString(16, hid::kLanguageEnglishUs, e.serialNumber);
  return e;
}

}  // namespace sim
