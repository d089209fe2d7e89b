// The program fixture: one Gui and State per test, the volume seam, user-like input.
#include "support/app_fixture.h"

#include "app/event_loop.h"
#include "support/gui_helpers.h"

namespace testing_support {

platform::Volume diskVolume(const std::string& mountPoint, int32_t freeMiB, uint64_t device) {
  platform::Volume volume;
  volume.mountPoint = mountPoint;
  volume.source = "/dev/test" + std::to_string(device);
  volume.fsType = "ext4";
  volume.readWrite = true;
  volume.device = device;
  volume.freeMiB = freeMiB;
  return volume;
}

void AppFixture::SetUp() {
  setenv("XDG_DATA_HOME", userData.root().c_str(), 1);
  if (!talksToDesktop()) {
    const char* nowhere = "unix:path=/nonexistent/burnshelf-test-bus";
    setenv("DBUS_SESSION_BUS_ADDRESS", nowhere, 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere, 1);
  }
  gui = new platform::Gui();
}

void AppFixture::TearDown() {
  platform::setVolumeTableForTests({});
  delete gui;
  gui = nullptr;
  unsetenv("XDG_DATA_HOME");
}

void AppFixture::layVolumes(std::vector<platform::Volume> volumes) {
  platform::setVolumeTableForTests([volumes] { return volumes; });
}

void AppFixture::start() { ASSERT_TRUE(app::startProgram(state, *gui)); }

void AppFixture::chooseItem(int widget, int index) {
  ASSERT_TRUE(enabled(widget));
  ASSERT_TRUE(chooseComboItem(*gui, widget, index));
}

void AppFixture::click(int widget) { ASSERT_TRUE(clickWidget(*gui, widget)); }

void AppFixture::dropFiles(const std::vector<std::string>& paths) {
  ASSERT_TRUE(testing_support::dropFiles(*gui, 0, paths));
}

bool AppFixture::pump() {
  ended_ = false;
  try {
    for (;;) {
      const int event = gui->waitEvent(30);
      if (event == platform::kEventNone) return true;
      if (!app::dispatch(state, *gui, event)) return false;
    }
  } catch (const platform::ProgramEnd&) {
    ended_ = true;
    return false;
  }
}

std::vector<std::string> statusLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\n\r", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

}  // namespace testing_support
