// At the end of a run, the stored pages whose links the run left behind
// are written anew, so none names the file of a copy the run dropped.
#pragma once

#include <cstdint>

class CCache;

namespace hv {

// Called once no transfer runs any more. runStart: when the run began.
void RelinkAfterRun(CCache& cache, std::uint32_t runStart);

}  // namespace hv
