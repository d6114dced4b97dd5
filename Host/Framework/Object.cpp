// Framework objects: handles, the parent/child tree, typed contexts and
// deletion; the common entry checks of every framework routine.
#include <algorithm>
#include <cstring>

#include "../Runtime/Faults.h"
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {
namespace {

// A handle encodes a slot of this table and the slot's generation, so that a
// handle kept after its object was deleted is recognised, not reused.
struct Slot {
  std::shared_ptr<Object> object;
  uint32_t generation = 1;
};
std::vector<Slot> gSlots;
std::vector<uint32_t> gFreeSlots;
constexpr uintptr_t kGenerationBits = 12;
constexpr uintptr_t kGenerationMask = (1u << kGenerationBits) - 1;

WDFOBJECT Encode(uint32_t slot, uint32_t generation) {
  return (WDFOBJECT)(((uintptr_t)(slot + 1) << kGenerationBits) | (generation & kGenerationMask));
}

bool Decode(WDFOBJECT handle, uint32_t &slot, uint32_t &generation) {
  uintptr_t v = (uintptr_t)handle;
  if ((v >> kGenerationBits) == 0) return false;
  slot = (uint32_t)((v >> kGenerationBits) - 1);
  generation = (uint32_t)(v & kGenerationMask);
  return slot < gSlots.size();
}

thread_local std::vector<const void *> tHeldLocks;

}  // namespace

const char *KindName(Kind kind) {
  switch (kind) {
    case Kind::Driver:
      return "WDFDRIVER";
    case Kind::Device:
      return "WDFDEVICE";
    case Kind::Queue:
      return "WDFQUEUE";
    case Kind::Request:
      return "WDFREQUEST";
    case Kind::Memory:
      return "WDFMEMORY";
    case Kind::Interrupt:
      return "WDFINTERRUPT";
    case Kind::WaitLock:
      return "WDFWAITLOCK";
    case Kind::WorkItem:
      return "WDFWORKITEM";
    case Kind::IoTarget:
      return "WDFIOTARGET";
    case Kind::ResourceList:
      return "WDFCMRESLIST";
  }
  return "?";
}

std::recursive_mutex &TreeLock() {
  static std::recursive_mutex lock;
  return lock;
}

WDFOBJECT Register(const std::shared_ptr<Object> &object, Object *parent) {
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  uint32_t slot;
  if (!gFreeSlots.empty()) {
    slot = gFreeSlots.back();
    gFreeSlots.pop_back();
  } else {
    slot = (uint32_t)gSlots.size();
    gSlots.push_back(Slot{});
  }
  gSlots[slot].object = object;
  object->handle = Encode(slot, gSlots[slot].generation);
  object->parent = parent;
  if (parent) parent->children.push_back(object);
  return object->handle;
}

std::shared_ptr<Object> LookupQuiet(WDFOBJECT handle) {
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  uint32_t slot, generation;
  if (!Decode(handle, slot, generation)) return nullptr;
  Slot &s = gSlots[slot];
  if (!s.object || (s.generation & kGenerationMask) != generation) return nullptr;
  return s.object;
}

std::shared_ptr<Object> Lookup(WDFOBJECT handle, const char *routine) {
  auto object = LookupQuiet(handle);
  if (!object) {
    char text[64];
    std::snprintf(text, sizeof text, "handle %p", handle);
    Verifier::Report(handle == nullptr ? rules::HandleWrongType : rules::HandleStale, routine,
                     handle == nullptr ? "NULL handle" : text);
  }
  return object;
}

void ReportWrongKind(const char *routine, Kind expected, Kind actual) {
  Verifier::Report(rules::HandleWrongType, routine,
                   std::string("expected ") + KindName(expected) + ", got " + KindName(actual));
}

NTSTATUS ApplyAttributes(Object &object, PWDF_OBJECT_ATTRIBUTES attributes, const char *routine) {
  if (attributes == nullptr) return STATUS_SUCCESS;
  if (attributes->Size != sizeof(WDF_OBJECT_ATTRIBUTES)) {
    Verifier::Report(rules::Usage, routine, "WDF_OBJECT_ATTRIBUTES.Size is wrong");
    return STATUS_INFO_LENGTH_MISMATCH;
  }
  if (attributes->ContextTypeInfo != nullptr) {
    size_t size = attributes->ContextSizeOverride ? attributes->ContextSizeOverride
                                                  : attributes->ContextTypeInfo->ContextSize;
    Object::Context c;
    c.type = attributes->ContextTypeInfo;
    size_t words = (size + 7) / 8;
    c.storage.reset(new uint64_t[words == 0 ? 1 : words]());
    object.contexts.push_back(std::move(c));
  }
  object.cleanup = attributes->EvtCleanupCallback;
  object.destroy = attributes->EvtDestroyCallback;
  return STATUS_SUCCESS;
}

void Delete(const std::shared_ptr<Object> &object) {
  {
    std::lock_guard<std::recursive_mutex> lock(TreeLock());
    if (object->deleted) return;
    object->deleted = true;
  }
  object->Dispose();
  // Children go first, the newest first.
  for (;;) {
    std::shared_ptr<Object> child;
    {
      std::lock_guard<std::recursive_mutex> lock(TreeLock());
      if (object->children.empty()) break;
      child = object->children.back();
    }
    Delete(child);
  }
  if (object->cleanup) object->cleanup(object->handle);
  if (object->destroy) object->destroy(object->handle);
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  if (object->parent) {
    auto &siblings = object->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), object), siblings.end());
  }
  uint32_t slot, generation;
  if (Decode(object->handle, slot, generation) && gSlots[slot].object == object) {
    gSlots[slot].object.reset();
    gSlots[slot].generation++;
    gFreeSlots.push_back(slot);
  }
}

void Enter(const char *routine, uint8_t maxIrql) {
  Scheduler::Point();
  uint8_t irql = CurrentIrql();
  if (irql > maxIrql)
    Verifier::Report(rules::IrqlTooHigh, routine,
                     std::string("called at ") + IrqlName(irql) + ", allowed up to " + IrqlName(maxIrql));
}

void EnterBlocking(const char *routine) {
  Scheduler::Point();
  uint8_t irql = CurrentIrql();
  if (irql > PASSIVE_LEVEL)
    Verifier::Report(rules::IrqlBlocking, routine, std::string("called at ") + IrqlName(irql));
}

bool Injected(const char *routine, NTSTATUS *status) {
  int32_t injected = 0;
  if (!Faults::Check(routine, &injected)) return false;
  *status = injected != 0 ? injected : STATUS_INSUFFICIENT_RESOURCES;
  return true;
}

void Callback(const char *name, const std::function<void()> &call) {
  size_t held = tHeldLocks.size();
  call();
  if (tHeldLocks.size() > held) {
    Verifier::Report(rules::LockHeldOnReturn, name, "a lock taken in the callback is still held");
    tHeldLocks.resize(held);
  }
}

void NoteLockAcquired(const void *lock) { tHeldLocks.push_back(lock); }

void NoteLockReleased(const void *lock) {
  auto it = std::find(tHeldLocks.rbegin(), tHeldLocks.rend(), lock);
  if (it != tHeldLocks.rend()) tHeldLocks.erase(std::next(it).base());
}

bool CurrentThreadHolds(const void *lock) {
  return std::find(tHeldLocks.begin(), tHeldLocks.end(), lock) != tHeldLocks.end();
}

Device *DeviceOf(Object *object) {
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  for (Object *o = object; o; o = o->parent)
    if (o->kind == Kind::Device) return static_cast<Device *>(o);
  return nullptr;
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C PVOID WdfObjectGetTypedContextWorker(WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo) {
  Enter("WdfObjectGetTypedContextWorker", HIGH_LEVEL);
  auto object = Lookup(Handle, "WdfObjectGetTypedContextWorker");
  if (!object) return NULL;
  for (auto &c : object->contexts)
    if (c.type->UniqueType == TypeInfo->UniqueType) return c.storage.get();
  return NULL;
}

EXTERN_C void WdfObjectDelete(WDFOBJECT Object) {
  Enter("WdfObjectDelete", DISPATCH_LEVEL);
  auto object = Lookup(Object, "WdfObjectDelete");
  if (!object) return;
  if (!object->driverMayDelete) {
    Verifier::Report(rules::HandleFrameworkOwned, "WdfObjectDelete",
                     std::string("a ") + KindName(object->kind) + " belongs to the framework");
    return;
  }
  Delete(object);
}
