#include "Verifier.h"

#include <cstdio>
#include <mutex>

#include "Scheduler.h"

namespace host {

std::string Breach::ToString() const {
  std::string s = rule + " in " + routine + " on thread '" + thread + "'";
  if (!detail.empty()) s += ": " + detail;
  return s;
}

namespace {
std::mutex gMutex;
std::vector<Breach> gBreaches;
bool gEcho = false;
}  // namespace

namespace Verifier {

void Report(const std::string &rule, const std::string &routine, const std::string &detail) {
  Breach b{rule, routine, Scheduler::CurrentThreadName(), detail};
  std::lock_guard<std::mutex> lock(gMutex);
  if (gEcho) std::fprintf(stderr, "verifier: %s\n", b.ToString().c_str());
  gBreaches.push_back(std::move(b));
}

std::vector<Breach> Take() {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<Breach> out;
  out.swap(gBreaches);
  return out;
}

size_t Count() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gBreaches.size();
}

void SetEcho(bool echo) {
  std::lock_guard<std::mutex> lock(gMutex);
  gEcho = echo;
}

}  // namespace Verifier
}  // namespace host
