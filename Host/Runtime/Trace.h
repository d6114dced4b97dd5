// Trace sessions: enable flags and a level for one provider and capture
// each message with its level, flag, routine and text.
#pragma once

#include <ntdef.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace host {

struct TraceRecord {
  uint8_t level;
  uint32_t flagIndex;
  std::string flag;
  std::string routine;
  std::string text;
  std::string ToString() const;
};

class TraceSession {
 public:
  TraceSession(const GUID &provider, uint32_t flags, uint8_t level, bool echo = false);
  ~TraceSession();
  TraceSession(const TraceSession &) = delete;
  TraceSession &operator=(const TraceSession &) = delete;

  std::vector<TraceRecord> Records() const;
  // Records at exactly `level` whose routine is `routine` (any when empty).
  std::vector<TraceRecord> At(uint8_t level, const std::string &routine = {}) const;
  void Clear();

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

namespace trace {
// Whether a provider with this control GUID has started tracing and not stopped.
bool ProviderRegistered(const GUID &provider);
}  // namespace trace

}  // namespace host

struct _DRIVER_OBJECT;
namespace host::trace {
// Whether any provider started tracing for this driver object and has not stopped.
bool RegisteredFor(const struct _DRIVER_OBJECT *driverObject);
}  // namespace host::trace
