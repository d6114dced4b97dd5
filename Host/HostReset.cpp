#include "HostReset.h"

#include "Kernel/Io.h"
#include "Kernel/Kernel.h"
#include "Kernel/Pool.h"
#include "Runtime/Faults.h"
#include "Runtime/Verifier.h"

namespace host {
void ResetForTest() {
  Faults::Reset();
  Pool::ResetForTest();
  kernel::ResetMachine();
  io::ResetForTest();
  Verifier::Take();
}
}  // namespace host
