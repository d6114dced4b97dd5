// Puts the host back to a fresh machine between tests: no planned faults,
// no pool blocks, default machine settings, no recorded breaches.
#pragma once

namespace host {
void ResetForTest();
}
