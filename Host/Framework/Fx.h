// Internal model of the framework: objects with handles, parents and typed
// contexts, and the records of each object kind. Nothing in here knows any
// particular driver.
#pragma once

#include <wdf.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../Kernel/Io.h"
#include "../Runtime/Scheduler.h"

namespace host::fx {

enum class Kind { Driver, Device, Queue, Request, Memory, Interrupt, WaitLock, WorkItem, IoTarget, ResourceList };
const char *KindName(Kind kind);

struct Object : std::enable_shared_from_this<Object> {
  struct Context {
    PCWDF_OBJECT_CONTEXT_TYPE_INFO type;
    std::unique_ptr<uint64_t[]> storage;  // 8-byte aligned, zero-filled
  };

  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  // Type-specific run-down, before the children go (waits for activity to end).
  virtual void Dispose() {}

  const Kind kind;
  WDFOBJECT handle = nullptr;
  Object *parent = nullptr;
  std::vector<std::shared_ptr<Object>> children;
  std::vector<Context> contexts;
  PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup = nullptr;
  PFN_WDF_OBJECT_CONTEXT_DESTROY destroy = nullptr;
  bool driverMayDelete = true;
  bool deleted = false;
};

// One lock for the object tree and the handle table. Never held across a
// scheduling point or a driver callback.
std::recursive_mutex &TreeLock();

// Makes a handle for the object and hangs it below its parent.
WDFOBJECT Register(const std::shared_ptr<Object> &object, Object *parent);
// The object behind a handle; null with a breach for a stale or foreign one.
std::shared_ptr<Object> Lookup(WDFOBJECT handle, const char *routine);
void ReportWrongKind(const char *routine, Kind expected, Kind actual);
template <class T>
std::shared_ptr<T> Get(WDFOBJECT handle, Kind kind, const char *routine);
std::shared_ptr<Object> LookupQuiet(WDFOBJECT handle);

// Applies object attributes: size check, context, callbacks and parent.
NTSTATUS ApplyAttributes(Object &object, PWDF_OBJECT_ATTRIBUTES attributes, const char *routine);
// Deletes the object and everything below it, children first.
void Delete(const std::shared_ptr<Object> &object);

// Common entry of every framework routine: a scheduling point and the
// routine's IRQL limit.
void Enter(const char *routine, uint8_t maxIrql);
// The entry of a routine that may block: above PASSIVE_LEVEL it is a breach.
void EnterBlocking(const char *routine);
// Injected failure of a routine, if one is planned.
bool Injected(const char *routine, NTSTATUS *status);

// Runs a driver callback at the current thread and checks that it returns
// with no lock held that it took.
void Callback(const char *name, const std::function<void()> &call);
// Bookkeeping of locks held by the current thread, for that check.
void NoteLockAcquired(const void *lock);
void NoteLockReleased(const void *lock);
bool CurrentThreadHolds(const void *lock);

// ---- records of object kinds ----

struct Driver;
struct Device;

struct QueueRecord {
  WDFQUEUE handle = nullptr;
  WDF_IO_QUEUE_CONFIG config{};
  bool attributesGiven = false;
  WDF_OBJECT_ATTRIBUTES attributes{};
  WDFOBJECT parent = nullptr;
};

struct InterruptRecord {
  WDFINTERRUPT handle = nullptr;
  WDF_INTERRUPT_CONFIG config{};
  bool attributesGiven = false;
  WDFOBJECT parent = nullptr;
};

struct WaitLockRecord {
  WDFWAITLOCK handle = nullptr;
  bool attributesGiven = false;
  WDF_OBJECT_ATTRIBUTES attributes{};
  WDFOBJECT parent = nullptr;
};

// What a device's add left behind, kept even when the add failed.
struct DeviceRecord {
  bool pnpCallbacksSet = false;
  WDF_PNPPOWER_EVENT_CALLBACKS pnpCallbacks{};
  int powerPolicyOwnership = -1;  // -1 not set, else the BOOLEAN given
  unsigned otherInitCalls = 0;    // any other device-init setting
  bool created = false;
  bool attributesGiven = false;
  WDF_OBJECT_ATTRIBUTES attributes{};
  std::vector<WDF_DEVICE_STATE> states;
  std::vector<QueueRecord> queues;
  std::vector<InterruptRecord> interrupts;
  std::vector<WaitLockRecord> waitLocks;
};

}  // namespace host::fx

struct WDFDEVICE_INIT {
  host::fx::Driver *driver = nullptr;
  std::shared_ptr<host::io::Endpoint> lower;
  std::shared_ptr<host::fx::DeviceRecord> record;
  bool consumed = false;
};

namespace host::fx {

struct Driver : Object {
  Driver() : Object(Kind::Driver) { driverMayDelete = false; }
  PDRIVER_OBJECT wdm = nullptr;
  WDF_DRIVER_CONFIG config{};
};

struct Device : Object {
  Device() : Object(Kind::Device) { driverMayDelete = false; }
  Driver *driver = nullptr;
  std::shared_ptr<DeviceRecord> record;
  DEVICE_OBJECT wdm{};
  bool inDeviceAdd = true;
  WDFQUEUE defaultQueue = nullptr;
  std::shared_ptr<io::Endpoint> lower;  // the device below: the default target sends there
  WDFIOTARGET defaultTarget = nullptr;
  bool inD0 = false;
  std::vector<struct Request *> liveRequests;
  // PnP life
  int pnpState = 0;  // PnpState
  struct Resources {
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> raw, translated;
  } resources;
  bool restartRequested = false;
  unsigned restarts = 0;
  WDFINTERRUPT interrupt = nullptr;
  bool lineLevel = false;
  bool pendingEdge = false;  // a rise while the interrupt was not connected
  void Dispose() override;
};

struct Request;

struct Queue : Object {
  Queue() : Object(Kind::Queue) {}
  Device *device = nullptr;
  WDF_IO_QUEUE_CONFIG config{};
  bool powerManaged = true;
  bool purged = false;
  std::vector<std::shared_ptr<Request>> waiting;  // FIFO
  bool Started() const { return !purged && (!powerManaged || device->inD0); }
};

// What the sender of an internal I/O control sees of it.
struct IrpCompletion {
  SimEvent done{true, false, "IRP completion"};
  bool completed = false;
  NTSTATUS status = STATUS_PENDING;
  ULONG_PTR information = 0;
  WDFREQUEST request = nullptr;
  std::function<void(IrpCompletion &)> onComplete;  // runs in the completing thread
};

struct Memory : Object {
  Memory() : Object(Kind::Memory) { driverMayDelete = false; }
  void *buffer = nullptr;
  size_t size = 0;
  struct Request *request = nullptr;
};

struct Request : Object {
  Request() : Object(Kind::Request) { driverMayDelete = false; }
  IRP irp{};
  IO_STACK_LOCATION stack{};
  Device *device = nullptr;
  Queue *queue = nullptr;  // the queue that holds it, null when the driver owns it
  bool presented = false;  // ever handed to the driver
  bool completed = false;
  bool cancelled = false;
  bool boundInformation = true;
  std::shared_ptr<Memory> outputMemory;
  std::shared_ptr<IrpCompletion> completion;
};

// Completes a request as the framework does for the driver or by itself.
void CompleteRequest(const std::shared_ptr<Request> &request, NTSTATUS status, const char *routine);
// Presents requests waiting in a started queue that dispatches them.
void DispatchWaiting(Queue &queue);

struct Interrupt : Object {
  Interrupt() : Object(Kind::Interrupt), lock("interrupt lock"), dpcIdle(true, true, "DPC run-down") {}
  Device *device = nullptr;
  WDF_INTERRUPT_CONFIG config{};
  std::mutex mutex;
  bool connected = false;
  bool dpcQueued = false;
  bool dpcFromIsr = false;  // queued by the running ISR: it starts once the ISR returns
  int dpcActive = 0;  // queued or running
  SimLock lock;
  SimEvent dpcIdle;
  unsigned isrCalls = 0;
  void Dispose() override;
};

struct WorkItem : Object {
  WorkItem() : Object(Kind::WorkItem), idle(true, true, "work item run-down") {}
  WDF_WORKITEM_CONFIG config{};
  std::mutex mutex;
  bool queued = false;
  int running = 0;
  unsigned enqueued = 0;  // calls that queued it
  SimEvent idle;
  void Dispose() override;
};

struct ResourceList : Object {
  ResourceList() : Object(Kind::ResourceList) { driverMayDelete = false; }
  std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> descriptors;
};

struct IoTarget : Object {
  IoTarget() : Object(Kind::IoTarget) {}
  enum class State { Closed, Open, ClosedForQueryRemove, Deleted };
  Device *device = nullptr;
  State state = State::Closed;
  bool isDefault = false;
  std::shared_ptr<io::Endpoint> endpoint;
  WDF_IO_TARGET_OPEN_PARAMS params{};
  io::Name openedName;
  int watch = 0;
  std::mutex mutex;
  std::vector<std::shared_ptr<io::Packet>> inFlight;
  bool optionsGiven = false;
  WDF_REQUEST_SEND_OPTIONS lastOptions{};
  unsigned sends = 0;
  void Dispose() override;
  void Close(State to);
};

struct WaitLock : Object {
  WaitLock() : Object(Kind::WaitLock), lock("wait lock") {}
  SimLock lock;
};

// The driver loaded into the host: its WDM object and the framework's.
struct LoadedDriver {
  DRIVER_OBJECT wdm{};
  UNICODE_STRING registryPath{};
  WDFDRIVER handle = nullptr;
  NTSTATUS entryStatus = STATUS_UNSUCCESSFUL;
};

// The framework driver object of the loaded driver, if any.
WDFOBJECT CurrentDriverHandle();

// Loads a driver: DriverEntry on the current thread at PASSIVE_LEVEL.
NTSTATUS LoadDriver(PDRIVER_INITIALIZE entry, LoadedDriver &driver);
// Unloads it: EvtDriverUnload when the framework driver exists, then the
// object tree goes; a provider still tracing or pool still held is a breach.
void UnloadDriver(LoadedDriver &driver);

struct AddDeviceResult {
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  WDFDEVICE device = nullptr;  // null when the add failed
  std::shared_ptr<DeviceRecord> record;
};
// Calls EvtDriverDeviceAdd for a new device node whose lower device is
// `lower`; a failed add deletes the device.
AddDeviceResult AddDevice(LoadedDriver &driver, std::shared_ptr<io::Endpoint> lower = nullptr);

enum class PnpState { Added, Started, Stopped, Failed, Removed };
using DeviceResources = Device::Resources;
// The PnP manager: every operation below runs serialized with every other
// PnP operation (and with interface-change deliveries), as PnP events are.
// Start: prepare hardware, D0 entry, interrupt connected, queues started.
NTSTATUS StartDevice(WDFDEVICE device, const DeviceResources &resources);
// Stop: queues stopped, interrupt disconnected, D0 exit, release hardware.
void StopDevice(WDFDEVICE device);
// Removal: a stop if started, the queues purged through the cancel path,
// then the device and its children are deleted.
void RemoveDevice(WDFDEVICE device, bool surprise);
PnpState StateOf(WDFDEVICE device);
unsigned RestartsOf(WDFDEVICE device);
// Asks the PnP manager for a stop and start of the device.
void RequestRestart(Device &device);
// Runs `operation` as one PnP event.
void AsPnpEvent(const std::function<void()> &operation);
// Waits until every queued PnP event (restarts, notifications) has run.
void WaitForPnpIdle();

// The interrupt line of a device as the CPU sees it. A rising level runs the
// ISR at DIRQL on an interrupt thread holding the interrupt lock, if the
// interrupt is connected; a level already high when the interrupt connects
// runs it too.
void SetInterruptLine(WDFDEVICE device, bool level);

// Power state of a device's queues: power-managed queues dispatch and hand
// out requests only while the device is in D0.
void SetDeviceInD0(WDFDEVICE device, bool inD0);

// An internal device-control request, as the HID class driver sends it.
struct InternalIoctl {
  ULONG ioControlCode = 0;
  PVOID userBuffer = nullptr;
  ULONG outputBufferLength = 0;
  ULONG inputBufferLength = 0;
  PVOID type3InputBuffer = nullptr;
  ULONG_PTR information = 0;  // what IoStatus.Information holds when the request arrives
  // Whether Information counts bytes of the output buffer (false for the
  // requests whose output is a transfer packet).
  bool boundInformation = true;
};
// Sends the request to the device's default queue in the calling thread.
std::shared_ptr<IrpCompletion> SendInternalIoctl(WDFDEVICE device, const InternalIoctl &ioctl,
                                                 std::function<void(IrpCompletion &)> onComplete = {});
// The sender cancels its request.
void CancelIrp(const std::shared_ptr<IrpCompletion> &completion);
// Deletes a device and its children (the end of a removal).
void DeleteDevice(WDFDEVICE device);

// The device of any object (itself, or the nearest device above it).
Device *DeviceOf(Object *object);

}  // namespace host::fx

template <class T>
std::shared_ptr<T> host::fx::Get(WDFOBJECT handle, Kind kind, const char *routine) {
  auto object = Lookup(handle, routine);
  if (!object) return nullptr;
  if (object->kind != kind) {
    ReportWrongKind(routine, kind, object->kind);
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}
