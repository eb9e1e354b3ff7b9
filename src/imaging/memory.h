// How much memory a large allocation may take before it is refused.
#pragma once

#include <cstddef>

namespace vornida::imaging_internal {

// True when `bytes` fit in what the system (and the process's control group,
// when it has a limit) can still give, keeping a margin for everything else.
bool MemoryAvailableFor(std::size_t bytes);

}  // namespace vornida::imaging_internal
