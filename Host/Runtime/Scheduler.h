// The scheduler that owns every simulated thread of execution.
//
// Controlled mode: exactly one simulated thread runs at a time, and control
// changes hands only at scheduling points (every framework and kernel entry,
// every wait, every interrupt line change). The next thread is picked by a
// seeded PRNG, so a seed names one interleaving. Time is virtual: when no
// thread can run, the clock jumps to the earliest deadline. When nothing can
// run and no deadline is pending, the run stops with a hang report naming
// every blocked thread and what it waits for.
//
// Free mode: threads run in parallel on the real clock (benchmarks and
// thread-sanitizer stress).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace host {

enum class Mode { Controlled, Free };

// 100-nanosecond units, the kernel's unit of time.
using Ticks = int64_t;
constexpr Ticks kTicksPerMs = 10'000;
constexpr Ticks kTicksPerSecond = 10'000'000;
constexpr Ticks kInfinite = -1;

struct RunOptions {
  Mode mode = Mode::Controlled;
  uint64_t seed = 1;
};

struct RunResult {
  bool hung = false;
  std::string hangReport;
  uint64_t switches = 0;  // how often control changed hands
  Ticks endTime = 0;
};

class SimThread;

namespace Scheduler {

// Runs `main` as the first simulated thread and returns once every simulated
// thread has ended, or with a hang report. Runs do not nest.
RunResult Run(std::function<void()> main, const RunOptions &options = {});

// Starts another simulated thread at the given IRQL. Callable from inside a
// run only.
void Spawn(std::string name, std::function<void()> body, uint8_t irql = 0);

// A scheduling point: in controlled mode another runnable thread may run now.
void Point();

// The current time of the run (virtual in controlled mode).
Ticks Now();

// Blocks the current thread for a span of time.
void Sleep(Ticks span);

bool InRun();
bool Controlled();
uint64_t Seed();

// The name of the current simulated thread ("external" outside a run).
std::string CurrentThreadName();

// The seed the tests use: HIDI2C_SEED when set, else the given default.
uint64_t SeedFromEnvironment(uint64_t fallback);

}  // namespace Scheduler

// An event object that works in both modes. Auto-reset events release one
// waiter per Set (FIFO); manual-reset events stay signalled until Reset.
class SimEvent {
 public:
  SimEvent(bool manualReset, bool initiallySignalled, std::string name = "event");
  ~SimEvent();
  SimEvent(const SimEvent &) = delete;
  SimEvent &operator=(const SimEvent &) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Returns true when signalled, false when the timeout (ticks, or kInfinite)
  // ran out first.
  bool Wait(Ticks timeout = kInfinite);
  const std::string &Name() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// A lock built on an auto-reset event, with its owner recorded so that
// misuse (release by another thread, recursion) can be reported.
class SimLock {
 public:
  explicit SimLock(std::string name);
  void Acquire();
  bool TryAcquire(Ticks timeout);
  void Release();
  bool HeldByCurrentThread() const;
  bool Held() const;

 private:
  SimEvent event_;
  std::atomic<int> ownerId_{0};
};

}  // namespace host

namespace host::Scheduler {
// A number that names the current thread for ownership checks: simulated
// threads count from 1 in creation order; other OS threads get negative ids.
int CurrentThreadId();
}  // namespace host::Scheduler
