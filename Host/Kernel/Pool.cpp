#include "Pool.h"

#include <ntddk.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "../Runtime/Faults.h"
#include "../Runtime/Irql.h"
#include "../Runtime/Scheduler.h"
#include "../Runtime/Verifier.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// Quarantined blocks are poisoned for the address sanitizer too, so that a
// read after free is caught where it happens, not only a write at release.
#define HOST_POOL_HIDE(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define HOST_POOL_SHOW(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define HOST_POOL_HIDE(p, n) ((void)(p), (void)(n))
#define HOST_POOL_SHOW(p, n) ((void)(p), (void)(n))
#endif

namespace host::Pool {
namespace {

constexpr size_t kGuard = 16;
constexpr unsigned char kGuardFill = 0xFD;
constexpr size_t kQuarantineBlocks = 2048;

struct Block {
  unsigned char *memory;  // size + kGuard bytes
  size_t size;
  ULONG tag;
  std::string thread;
};

// Kept for the life of the process (never destroyed), so that blocks still
// tracked at exit stay reachable rather than read as leaks of the host.
std::mutex &gMutex = *new std::mutex;
std::unordered_map<const void *, Block> &gLive = *new std::unordered_map<const void *, Block>;
std::deque<Block> &gQuarantine = *new std::deque<Block>;

bool PoisonIntact(const Block &b) {
  HOST_POOL_SHOW(b.memory, b.size);
  bool intact = true;
  for (size_t i = 0; i < b.size && intact; ++i)
    if (b.memory[i] != kPoison) intact = false;
  HOST_POOL_HIDE(b.memory, b.size);
  return intact;
}

void ReleaseQuarantinedLocked(Block &b, std::vector<std::string> &breaches) {
  if (!PoisonIntact(b))
    breaches.push_back("block of " + std::to_string(b.size) + " bytes, tag '" + TagText(b.tag) +
                       "' written after it was freed");
  HOST_POOL_SHOW(b.memory, b.size);
  std::free(b.memory);
}

}  // namespace

std::string TagText(ULONG tag) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = (char)((tag >> (8 * i)) & 0xFF);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

std::vector<BlockInfo> Outstanding() {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<BlockInfo> out;
  for (auto &kv : gLive) out.push_back(BlockInfo{kv.first, kv.second.size, kv.second.tag, kv.second.thread});
  return out;
}

size_t OutstandingCount() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLive.size();
}

size_t ReportLeaks(const std::string &where) {
  auto blocks = Outstanding();
  for (auto &b : blocks)
    Verifier::Report(rules::PoolLeak, where,
                     std::to_string(b.size) + " bytes with tag '" + TagText(b.tag) + "' allocated on thread '" +
                         b.allocatedOn + "' were never freed");
  return blocks.size();
}

void CheckQuarantine() {
  std::vector<std::string> breaches;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto &b : gQuarantine)
      if (!PoisonIntact(b))
        breaches.push_back("block of " + std::to_string(b.size) + " bytes, tag '" + TagText(b.tag) +
                           "' written after it was freed");
  }
  for (auto &d : breaches) Verifier::Report(rules::PoolUseAfterFree, "pool", d);
}

void ResetForTest() {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &kv : gLive) std::free(kv.second.memory);
  gLive.clear();
  for (auto &b : gQuarantine) {
    HOST_POOL_SHOW(b.memory, b.size);
    std::free(b.memory);
  }
  gQuarantine.clear();
}

}  // namespace host::Pool

using namespace host;

EXTERN_C PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  Scheduler::Point();
  uint8_t irql = CurrentIrql();
  if (irql > DISPATCH_LEVEL)
    Verifier::Report(rules::IrqlTooHigh, "ExAllocatePoolWithTag", std::string("called at ") + IrqlName(irql));
  if (PoolType == PagedPool && irql > APC_LEVEL)
    Verifier::Report(rules::PoolIrql, "ExAllocatePoolWithTag", std::string("paged pool at ") + IrqlName(irql));
  if (NumberOfBytes == 0) Verifier::Report(rules::PoolZeroSize, "ExAllocatePoolWithTag");
  if (Tag == 0) Verifier::Report(rules::PoolZeroTag, "ExAllocatePoolWithTag");
  if (Faults::Check("ExAllocatePoolWithTag", nullptr)) return NULL;
  Pool::Block b;
  b.memory = (unsigned char *)std::malloc(NumberOfBytes + Pool::kGuard);
  if (b.memory == nullptr) return NULL;
  b.size = NumberOfBytes;
  b.tag = Tag;
  b.thread = Scheduler::CurrentThreadName();
  std::memset(b.memory, Pool::kFreshFill, NumberOfBytes);
  std::memset(b.memory + NumberOfBytes, Pool::kGuardFill, Pool::kGuard);
  std::lock_guard<std::mutex> lock(Pool::gMutex);
  Pool::gLive.emplace(b.memory, b);
  return b.memory;
}

EXTERN_C void ExFreePoolWithTag(PVOID P, ULONG Tag) {
  Scheduler::Point();
  std::vector<std::pair<const char *, std::string>> breaches;
  {
    std::lock_guard<std::mutex> lock(Pool::gMutex);
    auto it = Pool::gLive.find(P);
    if (it == Pool::gLive.end()) {
      bool freed = false;
      for (auto &q : Pool::gQuarantine)
        if (q.memory == P) freed = true;
      breaches.emplace_back(freed ? rules::PoolDoubleFree : rules::PoolUnknownFree,
                            freed ? "block already freed" : "address never returned by the pool");
    } else {
      Pool::Block b = it->second;
      Pool::gLive.erase(it);
      if (Tag != 0 && Tag != b.tag)
        breaches.emplace_back(rules::PoolWrongTag,
                              "block tagged '" + Pool::TagText(b.tag) + "' freed with '" + Pool::TagText(Tag) + "'");
      for (size_t i = 0; i < Pool::kGuard; ++i)
        if (b.memory[b.size + i] != Pool::kGuardFill) {
          breaches.emplace_back(rules::PoolOverrun, "block of " + std::to_string(b.size) + " bytes, tag '" +
                                                        Pool::TagText(b.tag) + "'");
          break;
        }
      std::memset(b.memory, Pool::kPoison, b.size);
      HOST_POOL_HIDE(b.memory, b.size);
      Pool::gQuarantine.push_back(b);
      std::vector<std::string> late;
      while (Pool::gQuarantine.size() > Pool::kQuarantineBlocks) {
        Pool::ReleaseQuarantinedLocked(Pool::gQuarantine.front(), late);
        Pool::gQuarantine.pop_front();
      }
      for (auto &d : late) breaches.emplace_back(rules::PoolUseAfterFree, d);
    }
  }
  for (auto &b : breaches) Verifier::Report(b.first, "ExFreePoolWithTag", b.second);
}

EXTERN_C void ExFreePool(PVOID P) { ExFreePoolWithTag(P, 0); }
