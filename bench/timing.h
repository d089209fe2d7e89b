// Wall-clock seconds, as every command of burnshelf-bench times its steps.
#pragma once
#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace bench
