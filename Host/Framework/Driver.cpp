// The framework driver object, driver load and unload.
#include "../Kernel/Pool.h"
#include "../Runtime/Irql.h"
#include "../Runtime/Trace.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {
namespace {

WCHAR gRegistryPath[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OrvanHIDI2C";

std::shared_ptr<Driver> DriverFor(PDRIVER_OBJECT wdm) {
  if (wdm == nullptr || wdm->HostDriver == nullptr) return nullptr;
  return std::static_pointer_cast<Driver>(LookupQuiet((WDFOBJECT)wdm->HostDriver));
}

WDFOBJECT gCurrentDriver = nullptr;

}  // namespace

WDFOBJECT CurrentDriverHandle() { return gCurrentDriver; }

NTSTATUS LoadDriver(PDRIVER_INITIALIZE entry, LoadedDriver &driver) {
  driver.wdm = DRIVER_OBJECT{};
  driver.wdm.Type = 4;
  driver.wdm.Size = sizeof(DRIVER_OBJECT);
  RtlInitUnicodeString(&driver.registryPath, gRegistryPath);
  uint8_t irql = CurrentIrql();
  SetCurrentIrql(PASSIVE_LEVEL);
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  Callback("DriverEntry", [&] { status = entry(&driver.wdm, &driver.registryPath); });
  SetCurrentIrql(irql);
  driver.entryStatus = status;
  auto fxDriver = DriverFor(&driver.wdm);
  driver.handle = fxDriver ? (WDFDRIVER)fxDriver->handle : nullptr;
  if (!NT_SUCCESS(status)) {
    // The image is unloaded at once; whatever the entry created goes with it.
    if (fxDriver) Delete(fxDriver);
    gCurrentDriver = nullptr;
    driver.handle = nullptr;
    driver.wdm.HostDriver = nullptr;
    if (trace::RegisteredFor(&driver.wdm))
      Verifier::Report(rules::TraceLeftRegistered, "DriverEntry", "a failed DriverEntry left tracing on");
    Pool::ReportLeaks("DriverEntry failure");
  }
  return status;
}

void UnloadDriver(LoadedDriver &driver) {
  auto fxDriver = DriverFor(&driver.wdm);
  if (fxDriver) {
    if (fxDriver->config.EvtDriverUnload) {
      WDFDRIVER handle = (WDFDRIVER)fxDriver->handle;
      Callback("EvtDriverUnload", [&] { fxDriver->config.EvtDriverUnload(handle); });
    }
    Delete(fxDriver);
  }
  driver.wdm.HostDriver = nullptr;
  driver.handle = nullptr;
  gCurrentDriver = nullptr;
  if (trace::RegisteredFor(&driver.wdm))
    Verifier::Report(rules::TraceLeftRegistered, "driver unload", "tracing was not stopped");
  Pool::CheckQuarantine();
  Pool::ReportLeaks("driver unload");
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C NTSTATUS WdfDriverCreate(PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
                                  PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig,
                                  WDFDRIVER *Driver) {
  Enter("WdfDriverCreate", PASSIVE_LEVEL);
  if (DriverObject == nullptr || RegistryPath == nullptr || DriverConfig == nullptr) {
    Verifier::Report(rules::Usage, "WdfDriverCreate", "a required parameter is NULL");
    return STATUS_INVALID_PARAMETER;
  }
  NTSTATUS status;
  if (Injected("WdfDriverCreate", &status)) return status;
  if (DriverObject->HostDriver != nullptr) return STATUS_DRIVER_INTERNAL_ERROR;
  if (DriverConfig->Size != sizeof(WDF_DRIVER_CONFIG)) return STATUS_INFO_LENGTH_MISMATCH;
  if ((DriverConfig->DriverInitFlags & WdfDriverInitNonPnpDriver) && DriverConfig->EvtDriverDeviceAdd)
    return STATUS_INVALID_PARAMETER;
  auto driver = std::make_shared<fx::Driver>();
  driver->wdm = DriverObject;
  driver->config = *DriverConfig;
  status = ApplyAttributes(*driver, DriverAttributes, "WdfDriverCreate");
  if (!NT_SUCCESS(status)) return status;
  WDFOBJECT handle = Register(driver, nullptr);
  DriverObject->HostDriver = handle;
  gCurrentDriver = handle;
  if (Driver) *Driver = (WDFDRIVER)handle;
  return STATUS_SUCCESS;
}

EXTERN_C PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER Driver) {
  Enter("WdfDriverWdmGetDriverObject", DISPATCH_LEVEL);
  auto driver = Get<fx::Driver>(Driver, Kind::Driver, "WdfDriverWdmGetDriverObject");
  return driver ? driver->wdm : nullptr;
}
