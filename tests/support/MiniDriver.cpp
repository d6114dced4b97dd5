#include "MiniDriver.h"

namespace mini {
namespace {

NTSTATUS DeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init) {
  WDF_OBJECT_ATTRIBUTES attributes;
  WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, Context);
  WDFDEVICE device;
  NTSTATUS status = WdfDeviceCreate(&init, &attributes, &device);
  if (!NT_SUCCESS(status)) return status;
  return hooks().afterCreate ? hooks().afterCreate(device) : STATUS_SUCCESS;
}

void Unload(WDFDRIVER driver) {
  if (hooks().unload) hooks().unload(driver);
}

NTSTATUS Entry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
  WDF_DRIVER_CONFIG config;
  WDF_DRIVER_CONFIG_INIT(&config, DeviceAdd);
  config.EvtDriverUnload = Unload;
  return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

}  // namespace

Hooks &hooks() {
  static Hooks h;
  return h;
}

void Load(host::fx::LoadedDriver &driver) { host::fx::LoadDriver(Entry, driver); }

}  // namespace mini
