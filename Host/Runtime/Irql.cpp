#include "Irql.h"

namespace host {
namespace {
thread_local uint8_t tIrql = 0;
}

uint8_t CurrentIrql() { return tIrql; }
void SetCurrentIrql(uint8_t irql) { tIrql = irql; }

const char *IrqlName(uint8_t irql) {
  switch (irql) {
    case 0:
      return "PASSIVE_LEVEL";
    case 1:
      return "APC_LEVEL";
    case 2:
      return "DISPATCH_LEVEL";
    default:
      return "DIRQL";
  }
}
}  // namespace host
