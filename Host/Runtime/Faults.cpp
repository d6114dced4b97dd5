#include "Faults.h"

#include <map>
#include <mutex>
#include <vector>

namespace host::Faults {
namespace {

struct Plan {
  unsigned from;  // first failing call, counted from the start
  unsigned count;
  int32_t status;
};

struct Routine {
  unsigned calls = 0;
  std::vector<Plan> plans;
};

std::mutex gMutex;
std::map<std::string, Routine> gRoutines;

}  // namespace

void FailNth(const std::string &routine, unsigned nth, int32_t status, unsigned count) {
  std::lock_guard<std::mutex> lock(gMutex);
  Routine &r = gRoutines[routine];
  r.plans.push_back(Plan{r.calls + (nth == 0 ? 1 : nth), count, status});
}

bool Check(const char *routine, int32_t *status) {
  std::lock_guard<std::mutex> lock(gMutex);
  Routine &r = gRoutines[routine];
  unsigned call = ++r.calls;
  for (const Plan &p : r.plans) {
    if (call >= p.from && call < p.from + p.count) {
      if (status) *status = p.status;
      return true;
    }
  }
  return false;
}

unsigned Calls(const std::string &routine) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gRoutines.find(routine);
  return it == gRoutines.end() ? 0 : it->second.calls;
}

void Reset() {
  std::lock_guard<std::mutex> lock(gMutex);
  gRoutines.clear();
}

}  // namespace host::Faults
