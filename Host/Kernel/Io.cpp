#include "Io.h"

#include <algorithm>
#include <cstring>

#include "../Runtime/Faults.h"
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include <wdmguid.h>

namespace host::io {

Packet::Packet(ULONG code, const void *in, ULONG inLength, ULONG outLength)
    : ioControlCode(code),
      input(in ? std::vector<uint8_t>((const uint8_t *)in, (const uint8_t *)in + inLength) : std::vector<uint8_t>()),
      output(outLength, 0),
      done_(true, false, "I/O completion") {}

void Packet::Complete(NTSTATUS status, ULONG_PTR information) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (completed_) {
      Verifier::Report(rules::RequestDoubleCompletion, "io::Packet::Complete", "a device completed a packet twice");
      return;
    }
    completed_ = true;
    status_ = status;
    information_ = information;
    cancelRoutine_ = nullptr;
  }
  done_.Set();
}

bool Packet::TryComplete(NTSTATUS status, ULONG_PTR information) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (completed_) return false;
    completed_ = true;
    status_ = status;
    information_ = information;
    cancelRoutine_ = nullptr;
  }
  done_.Set();
  return true;
}

bool Packet::Completed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return completed_;
}
NTSTATUS Packet::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}
ULONG_PTR Packet::Information() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return information_;
}

bool Packet::WaitForCompletion(Ticks timeout) { return done_.Wait(timeout); }

void Packet::Cancel() {
  std::function<void()> routine;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (completed_ || cancelled_) return;
    cancelled_ = true;
    routine.swap(cancelRoutine_);
  }
  if (routine) routine();
}

bool Packet::Cancelled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancelled_;
}

void Packet::SetCancelRoutine(std::function<void()> routine) {
  bool runNow = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (completed_) return;
    if (cancelled_)
      runNow = true;
    else
      cancelRoutine_ = routine;
  }
  if (runNow) routine();
}

Endpoint::~Endpoint() = default;

NTSTATUS Endpoint::QueryInterface(const GUID &, PINTERFACE, USHORT, USHORT, PVOID) { return STATUS_NOT_SUPPORTED; }

int Endpoint::Watch(Watcher watcher) {
  std::lock_guard<std::mutex> lock(watchMutex_);
  int id = nextWatch_++;
  watchers_.emplace_back(id, std::move(watcher));
  return id;
}

void Endpoint::Unwatch(int id) {
  std::lock_guard<std::mutex> lock(watchMutex_);
  watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(), [&](auto &w) { return w.first == id; }),
                  watchers_.end());
}

NTSTATUS Endpoint::Notify(RemovalEvent event) {
  std::vector<Watcher> watchers;
  {
    std::lock_guard<std::mutex> lock(watchMutex_);
    for (auto &w : watchers_) watchers.push_back(w.second);
  }
  NTSTATUS result = STATUS_SUCCESS;
  for (auto &w : watchers) {
    NTSTATUS status = w(event);
    if (!NT_SUCCESS(status) && NT_SUCCESS(result)) result = status;
  }
  return result;
}

Name ToName(PCWSTR text, size_t characters) {
  Name name;
  for (size_t i = 0; i < characters; ++i) name += (char16_t)text[i];
  return name;
}

Name ToName(const std::string &ascii) {
  Name name;
  for (char c : ascii) name += (char16_t)(unsigned char)c;
  return name;
}

std::string ToAscii(const Name &name) {
  std::string s;
  for (char16_t c : name) s += c < 0x80 ? (char)c : '?';
  return s;
}

namespace {

SimLock &PnpLock() {
  static SimLock lock("PnP event queue");
  return lock;
}

struct Registration {
  GUID interfaceClass;
  PDRIVER_OBJECT driverObject;
  PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback;
  PVOID context;
  bool active;
};
std::mutex gRegistrationMutex;
std::vector<std::shared_ptr<Registration>> gRegistrations;

void Deliver(const std::shared_ptr<Registration> &r, const GUID &event, const GUID &interfaceClass,
             const Name &link) {
  std::vector<WCHAR> text(link.begin(), link.end());
  text.push_back(0);
  UNICODE_STRING name{(USHORT)(link.size() * 2), (USHORT)(text.size() * 2), text.data()};
  DEVICE_INTERFACE_CHANGE_NOTIFICATION n{1, sizeof(DEVICE_INTERFACE_CHANGE_NOTIFICATION), event, interfaceClass,
                                        &name};
  uint8_t irql = CurrentIrql();
  SetCurrentIrql(PASSIVE_LEVEL);
  r->callback(&n, r->context);
  SetCurrentIrql(irql);
}

// Tells every active registration of the class about a change, as one PnP event.
void NotifyChange(const GUID &interfaceClass, const Name &link, bool arrival) {
  PnpEventScope event;
  std::vector<std::shared_ptr<Registration>> targets;
  {
    std::lock_guard<std::mutex> lock(gRegistrationMutex);
    for (auto &r : gRegistrations)
      if (r->active && IsEqualGUID(r->interfaceClass, interfaceClass)) targets.push_back(r);
  }
  for (auto &r : targets)
    if (r->active)
      Deliver(r, arrival ? GUID_DEVICE_INTERFACE_ARRIVAL : GUID_DEVICE_INTERFACE_REMOVAL, interfaceClass, link);
}

struct Published {
  GUID interfaceClass;
  Name link;
  bool enabled;
};

std::mutex gMutex;
std::vector<std::pair<Name, std::shared_ptr<Endpoint>>> gLinks;
std::vector<Published> gInterfaces;

}  // namespace

void LinkName(const Name &link, std::shared_ptr<Endpoint> endpoint) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &l : gLinks)
    if (l.first == link) {
      l.second = std::move(endpoint);
      return;
    }
  gLinks.emplace_back(link, std::move(endpoint));
}

void UnlinkName(const Name &link) {
  std::lock_guard<std::mutex> lock(gMutex);
  gLinks.erase(std::remove_if(gLinks.begin(), gLinks.end(), [&](auto &l) { return l.first == link; }),
               gLinks.end());
}

std::shared_ptr<Endpoint> Resolve(const Name &link) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &l : gLinks)
    if (l.first == link) return l.second;
  return nullptr;
}

void PublishInterface(const GUID &interfaceClass, const Name &link, std::shared_ptr<Endpoint> endpoint) {
  LinkName(link, std::move(endpoint));
  {
    std::lock_guard<std::mutex> lock(gMutex);
    bool known = false;
    for (auto &p : gInterfaces)
      if (p.link == link) {
        known = true;
        if (p.enabled) return;
        p.enabled = true;
      }
    if (!known) gInterfaces.push_back(Published{interfaceClass, link, true});
  }
  NotifyChange(interfaceClass, link, true);
}

void WithdrawInterface(const Name &link) {
  GUID interfaceClass{};
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto &p : gInterfaces)
      if (p.link == link) {
        interfaceClass = p.interfaceClass;
        found = true;
      }
    gInterfaces.erase(
        std::remove_if(gInterfaces.begin(), gInterfaces.end(), [&](auto &p) { return p.link == link; }),
        gInterfaces.end());
  }
  UnlinkName(link);
  if (found) NotifyChange(interfaceClass, link, false);
}

PnpEventScope::PnpEventScope() : owner_(!PnpLock().HeldByCurrentThread()) {
  if (owner_) PnpLock().Acquire();
}

PnpEventScope::~PnpEventScope() {
  if (owner_) PnpLock().Release();
}

size_t NotificationsOf(const DRIVER_OBJECT *driverObject) {
  std::lock_guard<std::mutex> lock(gRegistrationMutex);
  size_t n = 0;
  for (auto &r : gRegistrations)
    if (r->active && r->driverObject == driverObject) ++n;
  return n;
}

std::vector<Name> EnabledInterfaces(const GUID &interfaceClass) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<Name> out;
  for (auto &p : gInterfaces)
    if (p.enabled && IsEqualGUID(p.interfaceClass, interfaceClass)) out.push_back(p.link);
  return out;
}

void ResetForTest() {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gLinks.clear();
    gInterfaces.clear();
  }
  std::lock_guard<std::mutex> lock(gRegistrationMutex);
  gRegistrations.clear();
}

}  // namespace host::io

using namespace host;

EXTERN_C NTSTATUS IoGetDeviceInterfaces(const GUID *InterfaceClassGuid, PDEVICE_OBJECT PhysicalDeviceObject,
                                        ULONG Flags, PWSTR *SymbolicLinkList) {
  Scheduler::Point();
  if (CurrentIrql() != PASSIVE_LEVEL)
    Verifier::Report(rules::IrqlTooHigh, "IoGetDeviceInterfaces", "called above PASSIVE_LEVEL");
  if (PhysicalDeviceObject != nullptr || Flags != 0)
    Verifier::Report(rules::NotModelled, "IoGetDeviceInterfaces", "only enabled interfaces of any device");
  int32_t injected = 0;
  if (Faults::Check("IoGetDeviceInterfaces", &injected)) return injected ? injected : STATUS_INSUFFICIENT_RESOURCES;
  auto links = io::EnabledInterfaces(*InterfaceClassGuid);
  size_t characters = 1;
  for (auto &l : links) characters += l.size() + 1;
  auto *list = (PWSTR)ExAllocatePoolWithTag(PagedPool, characters * sizeof(WCHAR), ' PnP');
  if (list == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  size_t at = 0;
  for (auto &l : links) {
    for (char16_t c : l) list[at++] = (WCHAR)c;
    list[at++] = 0;
  }
  list[at] = 0;
  *SymbolicLinkList = list;
  return STATUS_SUCCESS;
}

// Deliveries of later changes happen as PnP events, serialized with the
// device's own PnP callbacks; a registration undone before an event is not
// called for it.
EXTERN_C NTSTATUS IoRegisterPlugPlayNotification(IO_NOTIFICATION_EVENT_CATEGORY EventCategory,
                                                 ULONG EventCategoryFlags, PVOID EventCategoryData,
                                                 PDRIVER_OBJECT DriverObject,
                                                 PDRIVER_NOTIFICATION_CALLBACK_ROUTINE CallbackRoutine, PVOID Context,
                                                 PVOID *NotificationEntry) {
  Scheduler::Point();
  if (CurrentIrql() != PASSIVE_LEVEL)
    Verifier::Report(rules::IrqlTooHigh, "IoRegisterPlugPlayNotification", "called above PASSIVE_LEVEL");
  if (EventCategory != EventCategoryDeviceInterfaceChange) {
    Verifier::Report(rules::NotModelled, "IoRegisterPlugPlayNotification", "only device-interface changes");
    return STATUS_NOT_SUPPORTED;
  }
  int32_t injected = 0;
  if (Faults::Check("IoRegisterPlugPlayNotification", &injected))
    return injected ? injected : STATUS_INSUFFICIENT_RESOURCES;
  auto r = std::make_shared<io::Registration>();
  r->interfaceClass = *(const GUID *)EventCategoryData;
  r->driverObject = DriverObject;
  r->callback = CallbackRoutine;
  r->context = Context;
  r->active = true;
  {
    std::lock_guard<std::mutex> lock(io::gRegistrationMutex);
    io::gRegistrations.push_back(r);
  }
  if (EventCategoryFlags & PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES) {
    // Existing interfaces are reported at once, on the registering thread and
    // before the entry is handed back.
    for (auto &link : io::EnabledInterfaces(r->interfaceClass))
      io::Deliver(r, GUID_DEVICE_INTERFACE_ARRIVAL, r->interfaceClass, link);
  }
  *NotificationEntry = r.get();
  return STATUS_SUCCESS;
}

EXTERN_C NTSTATUS IoUnregisterPlugPlayNotification(PVOID NotificationEntry) {
  Scheduler::Point();
  std::lock_guard<std::mutex> lock(io::gRegistrationMutex);
  for (auto it = io::gRegistrations.begin(); it != io::gRegistrations.end(); ++it)
    if (it->get() == NotificationEntry) {
      (*it)->active = false;
      io::gRegistrations.erase(it);
      return STATUS_SUCCESS;
    }
  Verifier::Report(rules::Usage, "IoUnregisterPlugPlayNotification", "not a registration");
  return STATUS_INVALID_PARAMETER;
}
