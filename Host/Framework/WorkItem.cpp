// Work items: each run is a worker thread at PASSIVE_LEVEL. An item already
// queued and not yet started is not queued again; one whose callback is
// running can be queued again and then runs twice at once.
#include "../Runtime/Irql.h"
#include "../Runtime/Verifier.h"
#include "Fx.h"

namespace host::fx {
namespace {
thread_local WorkItem *tRunningItem = nullptr;
}

void WorkItem::Dispose() {
  // Deleting an item runs it down: a queued or running callback finishes first.
  idle.Wait();
}

}  // namespace host::fx

using namespace host;
using namespace host::fx;

EXTERN_C NTSTATUS WdfWorkItemCreate(PWDF_WORKITEM_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes,
                                    WDFWORKITEM *WorkItem) {
  Enter("WdfWorkItemCreate", DISPATCH_LEVEL);
  *WorkItem = nullptr;
  if (Config == nullptr || Config->Size != sizeof(WDF_WORKITEM_CONFIG) || Config->EvtWorkItemFunc == nullptr)
    return STATUS_INVALID_PARAMETER;
  if (Attributes == nullptr || Attributes->ParentObject == nullptr) return STATUS_WDF_PARENT_NOT_SPECIFIED;
  NTSTATUS status;
  if (Injected("WdfWorkItemCreate", &status)) return status;
  auto parent = Lookup(Attributes->ParentObject, "WdfWorkItemCreate");
  if (!parent || DeviceOf(parent.get()) == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  auto item = std::make_shared<fx::WorkItem>();
  item->config = *Config;
  status = ApplyAttributes(*item, Attributes, "WdfWorkItemCreate");
  if (!NT_SUCCESS(status)) return status;
  *WorkItem = (WDFWORKITEM)Register(item, parent.get());
  return STATUS_SUCCESS;
}

EXTERN_C void WdfWorkItemEnqueue(WDFWORKITEM WorkItem) {
  Enter("WdfWorkItemEnqueue", DISPATCH_LEVEL);
  auto item = Get<fx::WorkItem>(WorkItem, Kind::WorkItem, "WdfWorkItemEnqueue");
  if (!item) return;
  {
    std::lock_guard<std::mutex> lock(item->mutex);
    if (item->queued) return;
    item->queued = true;
    ++item->enqueued;
    item->idle.Reset();
  }
  std::weak_ptr<fx::WorkItem> weak = item;
  Scheduler::Spawn(
      "work item",
      [weak] {
        auto item = weak.lock();
        if (!item) return;
        {
          std::lock_guard<std::mutex> lock(item->mutex);
          item->queued = false;
          ++item->running;
        }
        tRunningItem = item.get();
        auto callback = item->config.EvtWorkItemFunc;
        WDFWORKITEM handle = (WDFWORKITEM)item->handle;
        Callback("EvtWorkItem", [&] { callback(handle); });
        tRunningItem = nullptr;
        bool idle;
        {
          std::lock_guard<std::mutex> lock(item->mutex);
          idle = --item->running == 0 && !item->queued;
        }
        if (idle) item->idle.Set();
      },
      PASSIVE_LEVEL);
}

EXTERN_C WDFOBJECT WdfWorkItemGetParentObject(WDFWORKITEM WorkItem) {
  Enter("WdfWorkItemGetParentObject", DISPATCH_LEVEL);
  auto item = Get<fx::WorkItem>(WorkItem, Kind::WorkItem, "WdfWorkItemGetParentObject");
  if (!item) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(TreeLock());
  return item->parent ? item->parent->handle : nullptr;
}

EXTERN_C void WdfWorkItemFlush(WDFWORKITEM WorkItem) {
  EnterBlocking("WdfWorkItemFlush");
  auto item = Get<fx::WorkItem>(WorkItem, Kind::WorkItem, "WdfWorkItemFlush");
  if (!item) return;
  if (fx::tRunningItem == item.get()) {
    Verifier::Report(rules::Usage, "WdfWorkItemFlush", "flush from the item's own callback");
    return;
  }
  item->idle.Wait();
}
