// Fuzzes the connection _DSM's answer as the ACPI driver hands it back: the
// whole output buffer, header and resource template. The walk must stay
// inside what came back, leak nothing and break no rule.
#include "OrvanHidI2c.h"

#include <cstdio>
#include <cstdlib>

#include "AcpiDevice.h"
#include "Framework/Fx.h"
#include "Kernel/Pool.h"
#include "Runtime/Verifier.h"

namespace {

std::shared_ptr<sim::AcpiDevice> gAcpi;
WDFDEVICE gDevice;

void Fail(const char *what) {
  for (auto &b : host::Verifier::Take()) std::fprintf(stderr, "verifier: %s\n", b.ToString().c_str());
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static host::fx::LoadedDriver driver;
  gAcpi = std::make_shared<sim::AcpiDevice>(sim::AcpiDescription{});
  if (!NT_SUCCESS(host::fx::LoadDriver(DriverEntry, driver))) Fail("driver did not load");
  auto added = host::fx::AddDevice(driver, gAcpi);
  if (!NT_SUCCESS(added.status)) Fail("device add failed");
  gDevice = added.device;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Half the inputs are a resource template under a well-formed header, so
  // that the walk itself gets most of the attention.
  std::vector<uint8_t> bytes(data, data + size);
  if (size && (data[0] & 1)) bytes = sim::AcpiDevice::Output(ACPI_METHOD_ARGUMENT_BUFFER, {data + 1, data + size});
  gAcpi->Description().resourcesOutput = bytes;

  WCHAR i2cBuffer[128], gpioBuffer[128];
  UNICODE_STRING i2c{0, sizeof i2cBuffer, i2cBuffer};
  UNICODE_STRING gpio{0, sizeof gpioBuffer, gpioBuffer};
  USHORT slave, pin;
  ULONG speed;
  NTSTATUS status = QueryConnectionResources(gDevice, &slave, &speed, &i2c, &pin, &gpio);
  if (NT_SUCCESS(status) && (i2c.Length == 0 || gpio.Length == 0)) Fail("success without both paths");
  if (i2c.Length > i2c.MaximumLength || gpio.Length > gpio.MaximumLength) Fail("path longer than its storage");
  if (host::Pool::OutstandingCount() != 0) Fail("pool block left behind");
  if (host::Verifier::Count() != 0) Fail("verifier breach");
  return 0;
}
