#include "Scheduler.h"

#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "Irql.h"

namespace host {

class SimThread {
 public:
  enum class State { Runnable, Blocked, Done };

  int id = 0;
  std::string name;
  uint8_t irql = 0;
  std::function<void()> body;
  State state = State::Runnable;
  std::string waitingFor;
  Ticks deadline = kInfinite;
  bool timedOut = false;
  SimEvent::State *waitObject = nullptr;
  std::condition_variable cv;
  std::thread os;
};

struct SimEvent::State {
  std::string name;
  bool manual;
  bool signalled;
  std::vector<SimThread *> waiters;  // controlled mode only
  std::mutex freeMutex;              // free mode and outside a run
  std::condition_variable freeCv;
};

namespace {

struct RunState {
  Mode mode = Mode::Controlled;
  uint64_t seed = 1;
  std::mt19937_64 rng;
  std::mutex m;
  std::vector<SimThread *> alive;                // creation order, for determinism
  std::vector<std::unique_ptr<SimThread>> all;   // ownership
  SimThread *current = nullptr;
  Ticks now = 0;
  bool finished = false;
  bool hung = false;
  std::string report;
  std::condition_variable doneCv;
  uint64_t switches = 0;
  int nextId = 1;
  int live = 0;  // free mode: threads not yet ended
  std::chrono::steady_clock::time_point start;
};

RunState *gRun = nullptr;
// Runs that hung keep their parked threads; their state must outlive them.
std::vector<RunState *> gHungRuns;
thread_local SimThread *tSelf = nullptr;
std::atomic<int> gExternalIds{0};
thread_local int tExternalId = 0;

bool ControlledNow() { return gRun != nullptr && gRun->mode == Mode::Controlled && tSelf != nullptr; }

std::string HangReportLocked(RunState &run) {
  std::ostringstream out;
  out << "hang at t=" << run.now << " (seed " << run.seed << "): no thread can run and no timer is pending\n";
  for (SimThread *t : run.alive) {
    out << "  thread '" << t->name << "' (#" << t->id << ") blocked on " << t->waitingFor << "\n";
  }
  return out.str();
}

void WakeLocked(SimThread *t, bool timedOut) {
  t->state = SimThread::State::Runnable;
  t->timedOut = timedOut;
  t->deadline = kInfinite;
  t->waitObject = nullptr;
}

// Picks the next thread to run, advancing virtual time when nothing can run.
// Returns null when every thread has ended, or on a hang.
SimThread *PickNextLocked(RunState &run) {
  for (;;) {
    std::vector<SimThread *> runnable;
    for (SimThread *t : run.alive)
      if (t->state == SimThread::State::Runnable) runnable.push_back(t);
    if (!runnable.empty()) return runnable[run.rng() % runnable.size()];
    if (run.alive.empty()) return nullptr;
    Ticks earliest = kInfinite;
    for (SimThread *t : run.alive)
      if (t->deadline != kInfinite && (earliest == kInfinite || t->deadline < earliest)) earliest = t->deadline;
    if (earliest == kInfinite) {
      run.hung = true;
      run.report = HangReportLocked(run);
      return nullptr;
    }
    if (earliest > run.now) run.now = earliest;
    for (SimThread *t : run.alive) {
      if (t->state == SimThread::State::Blocked && t->deadline != kInfinite && t->deadline <= run.now) {
        if (t->waitObject) {
          auto &w = t->waitObject->waiters;
          for (auto it = w.begin(); it != w.end(); ++it)
            if (*it == t) {
              w.erase(it);
              break;
            }
        }
        WakeLocked(t, true);
      }
    }
  }
}

// Hands control to the next thread and, unless `self` has ended, waits until
// control comes back to it.
void SwitchLocked(std::unique_lock<std::mutex> &lock, RunState &run, SimThread *self) {
  SimThread *next = PickNextLocked(run);
  if (next == nullptr) {
    run.current = nullptr;
    run.finished = true;
    run.doneCv.notify_all();
    if (self->state != SimThread::State::Done) {
      // A hang: this thread is parked for good.
      self->cv.wait(lock, [] { return false; });
    }
    return;
  }
  if (next != self) {
    ++run.switches;
    run.current = next;
    next->cv.notify_one();
  }
  if (self->state != SimThread::State::Done) self->cv.wait(lock, [&] { return run.current == self; });
}

void ThreadMain(RunState *run, SimThread *t) {
  if (run->mode == Mode::Controlled) {
    std::unique_lock<std::mutex> lock(run->m);
    t->cv.wait(lock, [&] { return run->current == t; });
  }
  tSelf = t;
  SetCurrentIrql(t->irql);
  t->body();
  t->body = nullptr;
  SetCurrentIrql(0);
  std::unique_lock<std::mutex> lock(run->m);
  if (run->mode == Mode::Controlled) {
    t->state = SimThread::State::Done;
    for (auto it = run->alive.begin(); it != run->alive.end(); ++it)
      if (*it == t) {
        run->alive.erase(it);
        break;
      }
    SwitchLocked(lock, *run, t);
  } else {
    t->state = SimThread::State::Done;
    if (--run->live == 0) run->doneCv.notify_all();
  }
  tSelf = nullptr;
}

// Threads that have ended are joined now and then, so that a long run does
// not keep thousands of them.
void ReapLocked(RunState &run) {
  auto &all = run.all;
  for (auto it = all.begin(); it != all.end();) {
    SimThread *t = it->get();
    if (t->state == SimThread::State::Done && t != tSelf) {
      if (t->os.joinable()) t->os.join();
      it = all.erase(it);
    } else {
      ++it;
    }
  }
}

SimThread *NewThreadLocked(RunState &run, std::string name, std::function<void()> body, uint8_t irql) {
  if (run.all.size() >= 256) ReapLocked(run);
  auto owned = std::make_unique<SimThread>();
  SimThread *t = owned.get();
  t->id = run.nextId++;
  t->name = std::move(name);
  t->irql = irql;
  t->body = std::move(body);
  run.all.push_back(std::move(owned));
  if (run.mode == Mode::Controlled) run.alive.push_back(t);
  ++run.live;
  t->os = std::thread(ThreadMain, &run, t);
  return t;
}

// Blocks the current simulated thread (controlled mode) until woken or the
// deadline passes. Returns true when it timed out.
bool BlockLocked(std::unique_lock<std::mutex> &lock, RunState &run, const std::string &what, Ticks timeout,
                 SimEvent::State *object) {
  SimThread *self = tSelf;
  self->state = SimThread::State::Blocked;
  self->waitingFor = what;
  self->deadline = timeout == kInfinite ? kInfinite : run.now + timeout;
  self->timedOut = false;
  self->waitObject = object;
  if (object) object->waiters.push_back(self);
  SwitchLocked(lock, run, self);
  return self->timedOut;
}

}  // namespace

namespace Scheduler {

RunResult Run(std::function<void()> main, const RunOptions &options) {
  assert(gRun == nullptr && "runs do not nest");
  auto *run = new RunState;
  run->mode = options.mode;
  run->seed = options.seed;
  run->rng.seed(options.seed);
  run->start = std::chrono::steady_clock::now();
  gRun = run;
  RunResult result;
  {
    std::unique_lock<std::mutex> lock(run->m);
    SimThread *first = NewThreadLocked(*run, "main", std::move(main), 0);
    if (run->mode == Mode::Controlled) {
      run->current = first;
      first->cv.notify_one();
      run->doneCv.wait(lock, [&] { return run->finished; });
    } else {
      run->doneCv.wait(lock, [&] { return run->live == 0; });
    }
    result.hung = run->hung;
    result.hangReport = run->report;
    result.switches = run->switches;
    result.endTime = run->mode == Mode::Controlled ? run->now : Now();
  }
  gRun = nullptr;
  if (result.hung) {
    for (auto &t : run->all)
      if (t->os.joinable()) t->os.detach();
    gHungRuns.push_back(run);
  } else {
    for (auto &t : run->all)
      if (t->os.joinable()) t->os.join();
    delete run;
  }
  return result;
}

void Spawn(std::string name, std::function<void()> body, uint8_t irql) {
  RunState *run = gRun;
  assert(run != nullptr && "Spawn outside a run");
  {
    std::unique_lock<std::mutex> lock(run->m);
    NewThreadLocked(*run, std::move(name), std::move(body), irql);
  }
  Point();
}

void Point() {
  if (!ControlledNow()) return;
  RunState &run = *gRun;
  std::unique_lock<std::mutex> lock(run.m);
  SwitchLocked(lock, run, tSelf);
}

Ticks Now() {
  RunState *run = gRun;
  if (run == nullptr) return 0;
  if (run->mode == Mode::Controlled) {
    std::lock_guard<std::mutex> lock(run->m);
    return run->now;
  }
  auto elapsed = std::chrono::steady_clock::now() - run->start;
  return std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() / 100;
}

void Sleep(Ticks span) {
  if (ControlledNow()) {
    RunState &run = *gRun;
    std::unique_lock<std::mutex> lock(run.m);
    BlockLocked(lock, run, "sleep", span < 0 ? 0 : span, nullptr);
    return;
  }
  std::this_thread::sleep_for(std::chrono::nanoseconds(span * 100));
}

bool InRun() { return gRun != nullptr; }
bool Controlled() { return gRun != nullptr && gRun->mode == Mode::Controlled; }
uint64_t Seed() { return gRun ? gRun->seed : 0; }

std::string CurrentThreadName() { return tSelf ? tSelf->name : std::string("external"); }

int CurrentThreadId() {
  if (tSelf) return tSelf->id;
  if (tExternalId == 0) tExternalId = -(++gExternalIds);
  return tExternalId;
}

uint64_t SeedFromEnvironment(uint64_t fallback) {
  const char *text = std::getenv("HIDI2C_SEED");
  if (text == nullptr || *text == 0) return fallback;
  return std::strtoull(text, nullptr, 0);
}

}  // namespace Scheduler

SimEvent::SimEvent(bool manualReset, bool initiallySignalled, std::string name)
    : state_(std::make_unique<State>()) {
  state_->name = std::move(name);
  state_->manual = manualReset;
  state_->signalled = initiallySignalled;
}

SimEvent::~SimEvent() = default;

const std::string &SimEvent::Name() const { return state_->name; }

void SimEvent::Set() {
  if (ControlledNow()) {
    {
      std::unique_lock<std::mutex> lock(gRun->m);
      auto &w = state_->waiters;
      if (state_->manual) {
        state_->signalled = true;
        for (SimThread *t : w) WakeLocked(t, false);
        w.clear();
      } else if (!w.empty()) {
        SimThread *t = w.front();
        w.erase(w.begin());
        WakeLocked(t, false);
      } else {
        state_->signalled = true;
      }
    }
    Scheduler::Point();
    return;
  }
  std::lock_guard<std::mutex> lock(state_->freeMutex);
  state_->signalled = true;
  if (state_->manual)
    state_->freeCv.notify_all();
  else
    state_->freeCv.notify_one();
}

void SimEvent::Reset() {
  if (ControlledNow()) {
    std::unique_lock<std::mutex> lock(gRun->m);
    state_->signalled = false;
    return;
  }
  std::lock_guard<std::mutex> lock(state_->freeMutex);
  state_->signalled = false;
}

bool SimEvent::IsSet() const {
  if (ControlledNow()) {
    std::unique_lock<std::mutex> lock(gRun->m);
    return state_->signalled;
  }
  std::lock_guard<std::mutex> lock(state_->freeMutex);
  return state_->signalled;
}

bool SimEvent::Wait(Ticks timeout) {
  if (ControlledNow()) {
    RunState &run = *gRun;
    bool signalled = false;
    {
      std::unique_lock<std::mutex> lock(run.m);
      if (state_->signalled) {
        if (!state_->manual) state_->signalled = false;
        signalled = true;
      } else if (timeout != 0) {
        return !BlockLocked(lock, run, "event '" + state_->name + "'", timeout, state_.get());
      }
    }
    Scheduler::Point();
    return signalled;
  }
  std::unique_lock<std::mutex> lock(state_->freeMutex);
  auto ready = [&] { return state_->signalled; };
  bool ok;
  if (timeout == kInfinite) {
    state_->freeCv.wait(lock, ready);
    ok = true;
  } else {
    ok = state_->freeCv.wait_for(lock, std::chrono::nanoseconds(timeout * 100), ready);
  }
  if (ok && !state_->manual) state_->signalled = false;
  return ok;
}

SimLock::SimLock(std::string name) : event_(false, true, std::move(name)) {}

void SimLock::Acquire() {
  event_.Wait();
  ownerId_ = Scheduler::CurrentThreadId();
}

bool SimLock::TryAcquire(Ticks timeout) {
  if (!event_.Wait(timeout)) return false;
  ownerId_ = Scheduler::CurrentThreadId();
  return true;
}

void SimLock::Release() {
  ownerId_ = 0;
  event_.Set();
}

bool SimLock::HeldByCurrentThread() const { return ownerId_ != 0 && ownerId_ == Scheduler::CurrentThreadId(); }
bool SimLock::Held() const { return ownerId_ != 0; }

}  // namespace host
