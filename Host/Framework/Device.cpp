// Device-init records, device creation and device state.
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {

AddDeviceResult AddDevice(LoadedDriver &loaded, std::shared_ptr<io::Endpoint> lower) {
  AddDeviceResult result;
  auto driver = Get<Driver>(loaded.handle, Kind::Driver, "AddDevice");
  if (!driver) return result;
  WDFDEVICE_INIT init;
  init.driver = driver.get();
  init.lower = std::move(lower);
  init.record = std::make_shared<DeviceRecord>();
  result.record = init.record;
  PWDFDEVICE_INIT initPointer = &init;
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  Callback("EvtDriverDeviceAdd",
           [&] { status = driver->config.EvtDriverDeviceAdd((WDFDRIVER)driver->handle, initPointer); });
  result.status = status;
  // The device the add created, if any, is the newest device child of the driver.
  std::shared_ptr<Device> device;
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    for (auto &c : driver->children)
      if (c->kind == Kind::Device && static_cast<Device *>(c.get())->record == init.record)
        device = std::static_pointer_cast<Device>(c);
  }
  if (device) device->inDeviceAdd = false;
  if (!NT_SUCCESS(status)) {
    if (device) Delete(device);
    return result;
  }
  if (!device) {
    Verifier::Report(rules::Usage, "EvtDriverDeviceAdd", "returned success without creating a device");
    result.status = STATUS_UNSUCCESSFUL;
    return result;
  }
  result.device = (WDFDEVICE)device->handle;
  return result;
}

void DeleteDevice(WDFDEVICE handle) {
  auto device = LookupQuiet(handle);
  if (device && device->kind == Kind::Device) Delete(device);
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

namespace {

bool UsableInit(PWDFDEVICE_INIT init, const char *routine) {
  if (init == nullptr || init->consumed) {
    Verifier::Report(rules::Usage, routine, "device-init record used after WdfDeviceCreate");
    return false;
  }
  return true;
}

}  // namespace

EXTERN_C void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT DeviceInit,
                                                     PWDF_PNPPOWER_EVENT_CALLBACKS PnpPowerEventCallbacks) {
  Enter("WdfDeviceInitSetPnpPowerEventCallbacks", DISPATCH_LEVEL);
  if (!UsableInit(DeviceInit, "WdfDeviceInitSetPnpPowerEventCallbacks")) return;
  if (PnpPowerEventCallbacks->Size != sizeof(WDF_PNPPOWER_EVENT_CALLBACKS)) {
    Verifier::Report(rules::Usage, "WdfDeviceInitSetPnpPowerEventCallbacks", "wrong Size");
    return;
  }
  DeviceInit->record->pnpCallbacksSet = true;
  DeviceInit->record->pnpCallbacks = *PnpPowerEventCallbacks;
}

EXTERN_C void WdfDeviceInitSetPowerPolicyOwnership(PWDFDEVICE_INIT DeviceInit, BOOLEAN IsPowerPolicyOwner) {
  Enter("WdfDeviceInitSetPowerPolicyOwnership", DISPATCH_LEVEL);
  if (!UsableInit(DeviceInit, "WdfDeviceInitSetPowerPolicyOwnership")) return;
  DeviceInit->record->powerPolicyOwnership = IsPowerPolicyOwner ? 1 : 0;
}

EXTERN_C NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT *DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes,
                                  WDFDEVICE *Device) {
  Enter("WdfDeviceCreate", PASSIVE_LEVEL);
  if (DeviceInit == nullptr || !UsableInit(*DeviceInit, "WdfDeviceCreate")) return STATUS_INVALID_DEVICE_STATE;
  NTSTATUS status;
  if (Injected("WdfDeviceCreate", &status)) return status;
  if (DeviceAttributes && DeviceAttributes->ParentObject != nullptr) {
    Verifier::Report(rules::Usage, "WdfDeviceCreate", "a device's parent is always the driver");
    return STATUS_INVALID_PARAMETER;
  }
  PWDFDEVICE_INIT init = *DeviceInit;
  auto device = std::make_shared<fx::Device>();
  device->driver = init->driver;
  device->lower = init->lower;
  device->record = init->record;
  status = ApplyAttributes(*device, DeviceAttributes, "WdfDeviceCreate");
  if (!NT_SUCCESS(status)) return status;
  device->record->created = true;
  device->record->attributesGiven = DeviceAttributes != nullptr;
  if (DeviceAttributes) device->record->attributes = *DeviceAttributes;
  WDFOBJECT handle = Register(device, init->driver);
  device->wdm.Type = 3;
  device->wdm.Size = sizeof(DEVICE_OBJECT);
  device->wdm.DriverObject = init->driver->wdm;
  device->wdm.HostDevice = handle;
  init->consumed = true;
  *DeviceInit = nullptr;
  *Device = (WDFDEVICE)handle;
  return STATUS_SUCCESS;
}

EXTERN_C void WdfDeviceSetDeviceState(WDFDEVICE Device, PWDF_DEVICE_STATE DeviceState) {
  Enter("WdfDeviceSetDeviceState", DISPATCH_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfDeviceSetDeviceState");
  if (!device) return;
  if (DeviceState->Size != sizeof(WDF_DEVICE_STATE)) {
    Verifier::Report(rules::Usage, "WdfDeviceSetDeviceState", "wrong Size");
    return;
  }
  device->record->states.push_back(*DeviceState);
  if (DeviceState->Failed == WdfTrue && DeviceState->ResourcesChanged == WdfTrue) RequestRestart(*device);
}

EXTERN_C WDFDRIVER WdfDeviceGetDriver(WDFDEVICE Device) {
  Enter("WdfDeviceGetDriver", DISPATCH_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfDeviceGetDriver");
  return device ? (WDFDRIVER)device->driver->handle : nullptr;
}

EXTERN_C PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE Device) {
  Enter("WdfDeviceWdmGetDeviceObject", DISPATCH_LEVEL);
  auto device = Get<fx::Device>(Device, Kind::Device, "WdfDeviceWdmGetDeviceObject");
  return device ? &device->wdm : nullptr;
}
