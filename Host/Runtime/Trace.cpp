#include "Trace.h"

#include <wppcore.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "Verifier.h"

namespace host {

struct TraceSession::Impl {
  GUID provider;
  uint32_t flags;
  uint8_t level;
  bool echo;
  mutable std::mutex mutex;
  std::vector<TraceRecord> records;
};

namespace {

std::mutex gMutex;
std::vector<std::shared_ptr<TraceSession::Impl>> gSessions;
struct Registration {
  PWPP_PROVIDER_STATE provider;
  const DRIVER_OBJECT *driverObject;
};
std::vector<Registration> gRegistered;

const char *LevelName(uint8_t level) {
  switch (level) {
    case 1:
      return "CRITICAL";
    case 2:
      return "ERROR";
    case 3:
      return "WARNING";
    case 4:
      return "INFO";
    case 5:
      return "VERBOSE";
    default:
      return "LEVEL?";
  }
}

}  // namespace

std::string TraceRecord::ToString() const {
  return std::string("[") + LevelName(level) + "] " + flag + " " + routine + ": " + text;
}

TraceSession::TraceSession(const GUID &provider, uint32_t flags, uint8_t level, bool echo)
    : impl_(std::make_shared<Impl>()) {
  impl_->provider = provider;
  impl_->flags = flags;
  impl_->level = level;
  impl_->echo = echo;
  std::lock_guard<std::mutex> lock(gMutex);
  gSessions.push_back(impl_);
}

TraceSession::~TraceSession() {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto it = gSessions.begin(); it != gSessions.end(); ++it)
    if (*it == impl_) {
      gSessions.erase(it);
      break;
    }
}

std::vector<TraceRecord> TraceSession::Records() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->records;
}

std::vector<TraceRecord> TraceSession::At(uint8_t level, const std::string &routine) const {
  std::vector<TraceRecord> out;
  for (auto &r : Records())
    if (r.level == level && (routine.empty() || r.routine == routine)) out.push_back(r);
  return out;
}

void TraceSession::Clear() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->records.clear();
}

namespace trace {

bool ProviderRegistered(const GUID &provider) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &r : gRegistered)
    if (IsEqualGUID(r.provider->ControlGuid, provider)) return true;
  return false;
}

bool RegisteredFor(const DRIVER_OBJECT *driverObject) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto &r : gRegistered)
    if (r.driverObject == driverObject) return true;
  return false;
}

}  // namespace trace
}  // namespace host

using namespace host;

EXTERN_C void WppHostInitTracing(PWPP_PROVIDER_STATE Provider, PDRIVER_OBJECT DriverObject,
                                 PCUNICODE_STRING RegistryPath) {
  (void)RegistryPath;
  std::lock_guard<std::mutex> lock(gMutex);
  if (Provider->HostRegistration != NULL) {
    Verifier::Report(rules::Usage, "WPP_INIT_TRACING", "tracing started twice");
    return;
  }
  Provider->HostRegistration = Provider;
  gRegistered.push_back(Registration{Provider, DriverObject});
}

EXTERN_C void WppHostCleanup(PWPP_PROVIDER_STATE Provider, PDRIVER_OBJECT DriverObject) {
  (void)DriverObject;
  std::lock_guard<std::mutex> lock(gMutex);
  if (Provider->HostRegistration == NULL) {
    Verifier::Report(rules::Usage, "WPP_CLEANUP", "tracing stopped but not started");
    return;
  }
  Provider->HostRegistration = NULL;
  for (auto it = gRegistered.begin(); it != gRegistered.end(); ++it)
    if (it->provider == Provider) {
      gRegistered.erase(it);
      break;
    }
}

EXTERN_C void WppHostTrace(PWPP_PROVIDER_STATE Provider, UCHAR Level, ULONG FlagIndex, const char *Routine,
                           const char *Format, ...) {
  std::vector<std::shared_ptr<TraceSession::Impl>> sessions;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (Provider->HostRegistration == NULL) return;
    for (auto &s : gSessions) {
      if (!IsEqualGUID(s->provider, Provider->ControlGuid)) continue;
      if (FlagIndex >= 32 || (s->flags & (1u << FlagIndex)) == 0) continue;
      if (s->level < Level) continue;
      sessions.push_back(s);
    }
  }
  if (sessions.empty()) return;
  char text[1024];
  va_list args;
  va_start(args, Format);
  std::vsnprintf(text, sizeof text, Format, args);
  va_end(args);
  TraceRecord record{Level, FlagIndex,
                     FlagIndex < Provider->FlagCount ? Provider->FlagNames[FlagIndex] : "?", Routine, text};
  for (auto &s : sessions) {
    std::lock_guard<std::mutex> lock(s->mutex);
    if (s->echo) std::printf("%s\n", record.ToString().c_str());
    s->records.push_back(record);
  }
}
