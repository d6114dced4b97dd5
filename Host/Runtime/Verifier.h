// Run-time checks of the framework's and the kernel's rules. Each breach is
// recorded with its rule, the routine that broke it and the simulated thread
// it ran on; test fixtures fail on any breach left at the end of a test.
#pragma once

#include <string>
#include <vector>

namespace host {

struct Breach {
  std::string rule;
  std::string routine;
  std::string thread;
  std::string detail;
  std::string ToString() const;
};

namespace rules {
inline constexpr const char *PoolWrongTag = "pool: free with another tag";
inline constexpr const char *PoolDoubleFree = "pool: double free";
inline constexpr const char *PoolUnknownFree = "pool: free of a block never allocated";
inline constexpr const char *PoolUseAfterFree = "pool: use of a freed block";
inline constexpr const char *PoolLeak = "pool: leak";
inline constexpr const char *PoolOverrun = "pool: write past the end of a block";
inline constexpr const char *PoolZeroSize = "pool: zero-size allocation";
inline constexpr const char *PoolZeroTag = "pool: allocation with tag 0";
inline constexpr const char *PoolIrql = "pool: paged pool above APC_LEVEL";
inline constexpr const char *IrqlPagedCode = "irql: pageable code at DISPATCH_LEVEL or above";
inline constexpr const char *IrqlBlocking = "irql: blocking call above PASSIVE_LEVEL";
inline constexpr const char *IrqlTooHigh = "irql: call above its maximum IRQL";
inline constexpr const char *IrqlLower = "irql: KeLowerIrql to a higher level";
inline constexpr const char *HandleStale = "handles: use of a deleted object";
inline constexpr const char *HandleWrongType = "handles: handle of another type";
inline constexpr const char *HandleFrameworkOwned = "handles: delete of a framework-owned object";
inline constexpr const char *RequestDoubleCompletion = "requests: double completion";
inline constexpr const char *RequestCompletedInQueue = "requests: completion of a request in a queue";
inline constexpr const char *RequestAfterCompletion = "requests: use after completion";
inline constexpr const char *RequestNotCompleted = "requests: never completed at device removal";
inline constexpr const char *RequestInformation = "requests: Information larger than the buffer";
inline constexpr const char *LockReleaseNotHeld = "locks: release without acquire";
inline constexpr const char *LockHeldOnReturn = "locks: lock still held when a callback returns";
inline constexpr const char *LockRecursive = "locks: recursive acquire";
inline constexpr const char *InterruptLockNotConnected = "locks: interrupt lock of a disconnected interrupt";
inline constexpr const char *InterruptLockIrql = "locks: interrupt lock taken above DIRQL";
inline constexpr const char *Usage = "usage: framework call out of order";
inline constexpr const char *TraceLeftRegistered = "trace: provider still registered at unload";
inline constexpr const char *NotModelled = "host: routine not modelled";
}  // namespace rules

namespace Verifier {
void Report(const std::string &rule, const std::string &routine, const std::string &detail = {});
std::vector<Breach> Take();  // returns the breaches recorded so far and forgets them
size_t Count();
// Print each breach to stderr as it is recorded (the command-line tool).
void SetEcho(bool echo);
}  // namespace Verifier

}  // namespace host
