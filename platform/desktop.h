// What the program asks of the desktop while it moves files, over D-Bus: sleep and shutdown
// held off, one notification, progress on the launcher. Each does nothing where there is no
// bus or no such service, and the program runs as without them (desktop_dbus.cpp).
#pragma once
#include <string>

namespace platform {

constexpr int kNoProgress = -1;  // showLauncherProgress: the launcher shows none

// Holds off sleep and shutdown for as long as it lives: logind's "sleep:shutdown" inhibitor
// named "Burnshelf" with the reason why, blocking where the user may, else delaying.
class SleepInhibitor {
 public:
  explicit SleepInhibitor(const std::string& why);
  ~SleepInhibitor();  // releases it: the descriptor logind watches is closed
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

 private:
  static constexpr int kNothingHeld = -1;
  int fd_ = kNothingHeld;
};

// One desktop notification from Burnshelf with its icon; false when no service took it.
bool notifyDesktop(const std::string& summary, const std::string& body);

// Shows percent (0 to 100) on the program's launcher entry, as docks and task managers read
// it, or clears it (kNoProgress).
void showLauncherProgress(int percent);

}  // namespace platform
