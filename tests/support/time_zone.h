// Puts a test in a time zone for as long as the guard lives, and the old zone back however
// the test ends. Header-only: usable from platform_* tests.
#pragma once
#include <cstdlib>
#include <ctime>
#include <string>

namespace testing_support {

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    hadZone_ = old != nullptr;
    if (old) oldZone_ = old;
    set(zone);
  }
  ~ZoneGuard() {
    if (hadZone_) setenv("TZ", oldZone_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  ZoneGuard(const ZoneGuard&) = delete;
  ZoneGuard& operator=(const ZoneGuard&) = delete;
  void set(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  bool hadZone_ = false;
  std::string oldZone_;
};

}  // namespace testing_support
