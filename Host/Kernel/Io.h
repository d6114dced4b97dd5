// The simulated I/O system below the framework: devices that answer
// packets (controller drivers, the ACPI node), the names they are opened
// by, and the device interfaces they publish.
#pragma once

#include <ntddk.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../Runtime/Scheduler.h"

namespace host::io {

// One I/O control sent to a simulated device. The buffers are the packet's
// own (as a system buffer is), so a device that completes late never writes
// into memory its sender has given up.
class Packet {
 public:
  Packet(ULONG ioControlCode, const void *input, ULONG inputLength, ULONG outputLength);

  const ULONG ioControlCode;
  const std::vector<uint8_t> input;
  std::vector<uint8_t> output;  // outputLength bytes, zero-filled

  // Completes the packet: status and the number of output bytes that count.
  // A second completion is ignored and reported.
  void Complete(NTSTATUS status, ULONG_PTR information);
  // Completes the packet unless it is complete already (a device whose cancel
  // routine and normal completion race); true when this call completed it.
  bool TryComplete(NTSTATUS status, ULONG_PTR information);
  bool Completed() const;
  NTSTATUS Status() const;
  ULONG_PTR Information() const;
  // Waits for completion; false when the timeout ran out first.
  bool WaitForCompletion(Ticks timeout);

  // The sender gives up on the packet: the device's cancel routine, if it
  // set one, runs now in the sender's thread.
  void Cancel();
  bool Cancelled() const;
  void SetCancelRoutine(std::function<void()> routine);

 private:
  mutable std::mutex mutex_;
  bool completed_ = false;
  bool cancelled_ = false;
  NTSTATUS status_ = STATUS_PENDING;
  ULONG_PTR information_ = 0;
  std::function<void()> cancelRoutine_;
  SimEvent done_;
};

// What a device tells the remote targets opened on it about its removal.
enum class RemovalEvent { QueryRemove, RemoveCanceled, RemoveComplete };

class Endpoint {
 public:
  virtual ~Endpoint();
  virtual std::string Name() const = 0;
  // Takes a packet; completes it now or later.
  virtual void Dispatch(const std::shared_ptr<Packet> &packet) = 0;
  // IRP_MN_QUERY_INTERFACE.
  virtual NTSTATUS QueryInterface(const GUID &type, PINTERFACE interface, USHORT size, USHORT version,
                                  PVOID specificData);

  // Removal watchers (remote targets). A query-remove is vetoed by the first
  // watcher that answers with a failure.
  using Watcher = std::function<NTSTATUS(RemovalEvent)>;
  int Watch(Watcher watcher);
  void Unwatch(int id);
  // Sends an event to every watcher and returns the first failure (query-remove).
  NTSTATUS Notify(RemovalEvent event);

 private:
  std::mutex watchMutex_;
  std::vector<std::pair<int, Watcher>> watchers_;
  int nextWatch_ = 1;
};

using Name = std::u16string;
Name ToName(PCWSTR text, size_t characters);
Name ToName(const std::string &ascii);
std::string ToAscii(const Name &name);

// Symbolic links of simulated devices.
void LinkName(const Name &symbolicLink, std::shared_ptr<Endpoint> endpoint);
void UnlinkName(const Name &symbolicLink);
std::shared_ptr<Endpoint> Resolve(const Name &symbolicLink);

// Device interfaces, kept in the order they were published.
void PublishInterface(const GUID &interfaceClass, const Name &symbolicLink, std::shared_ptr<Endpoint> endpoint);
void WithdrawInterface(const Name &symbolicLink);
std::vector<Name> EnabledInterfaces(const GUID &interfaceClass);

// PnP events are processed one at a time: a scope is one event. A thread
// already inside one (a driver callback of that event) does not wait.
class PnpEventScope {
 public:
  PnpEventScope();
  ~PnpEventScope();
  PnpEventScope(const PnpEventScope &) = delete;
  PnpEventScope &operator=(const PnpEventScope &) = delete;

 private:
  bool owner_;
};

// Interface-change registrations still held by a driver object.
size_t NotificationsOf(const DRIVER_OBJECT *driverObject);

void ResetForTest();

}  // namespace host::io
