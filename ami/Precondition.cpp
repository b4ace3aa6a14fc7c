#include "Precondition.h"

#include <cstdio>
#include <cstdlib>

namespace Tessel {

void PreconditionFailed(const char* text) {
    std::fprintf(stderr, "Precondition failed: %s\n", text);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Tessel
