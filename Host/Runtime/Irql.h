// IRQL of the current simulated thread.
#pragma once
#include <cstdint>

namespace host {
uint8_t CurrentIrql();
void SetCurrentIrql(uint8_t irql);
const char *IrqlName(uint8_t irql);
}  // namespace host
