// Fault injection: any platform call can be made to fail by name and count,
// so a test can sweep every failure point of a path.
#pragma once

#include <cstdint>
#include <string>

namespace host::Faults {

// Fails `count` calls of `routine` starting with the nth call from now
// (1 = the next one). `status` is what the call returns; allocators return
// NULL whatever the status.
void FailNth(const std::string &routine, unsigned nth, int32_t status, unsigned count = 1);

// Counts a call of `routine`; true when it must fail, with the status.
bool Check(const char *routine, int32_t *status);

// Calls of `routine` counted since the last Reset.
unsigned Calls(const std::string &routine);

void Reset();

}  // namespace host::Faults
