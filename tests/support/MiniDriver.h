// A small driver for the host's own tests: its device add does whatever the
// test asks, so each framework rule can be exercised without the product.
#pragma once

#include <wdf.h>

#include <functional>

#include "Framework/Fx.h"

namespace mini {

struct Context {
  int value;
  WDFWAITLOCK lock;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(Context, GetContext)

struct Hooks {
  // Runs inside EvtDriverDeviceAdd after the device exists; its status is the add's.
  std::function<NTSTATUS(WDFDEVICE)> afterCreate;
  std::function<void(WDFDRIVER)> unload;
};
Hooks &hooks();

// Loads the mini driver (a framework driver with EvtDeviceAdd and unload).
void Load(host::fx::LoadedDriver &driver);

}  // namespace mini
