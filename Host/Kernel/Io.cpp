#include "Io.h"

#include <algorithm>
#include <cstring>

#include "../Runtime/Faults.h"
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"

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
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &p : gInterfaces)
    if (p.link == link) {
      p.enabled = true;
      return;
    }
  gInterfaces.push_back(Published{interfaceClass, link, true});
}

void WithdrawInterface(const Name &link) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gInterfaces.erase(
        std::remove_if(gInterfaces.begin(), gInterfaces.end(), [&](auto &p) { return p.link == link; }),
        gInterfaces.end());
  }
  UnlinkName(link);
}

std::vector<Name> EnabledInterfaces(const GUID &interfaceClass) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<Name> out;
  for (auto &p : gInterfaces)
    if (p.enabled && IsEqualGUID(p.interfaceClass, interfaceClass)) out.push_back(p.link);
  return out;
}

void ResetForTest() {
  std::lock_guard<std::mutex> lock(gMutex);
  gLinks.clear();
  gInterfaces.clear();
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
