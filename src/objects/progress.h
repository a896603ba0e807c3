// Long work (a save, a merge) tells how far it got through a callback of the caller's, per
// object written. The callback may stop the work by raising EOperationCancelled: that passes
// through every layer that otherwise turns errors into results, up to the operation the
// user started, which then removes what it had begun to write.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace verava {

class EOperationCancelled : public std::runtime_error {
  public:
    EOperationCancelled() : std::runtime_error("cancelled") {}
};

// `done` of `total` steps; total > 0.
using TProgressCallback = std::function<void(int64_t done, int64_t total)>;

}  // namespace verava
