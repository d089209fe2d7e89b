// The program fixture: one Gui and State per test, the volume seam, user-like input.
#include "support/app_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "app/event_loop.h"
#include "platform/gui_test_access.h"

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

void AppFixture::SetUp() { gui = new platform::Gui(); }

void AppFixture::TearDown() {
  platform::setVolumeTableForTests({});
  delete gui;
  gui = nullptr;
}

void AppFixture::layVolumes(std::vector<platform::Volume> volumes) {
  platform::setVolumeTableForTests([volumes] { return volumes; });
}

void AppFixture::start() { ASSERT_TRUE(app::startProgram(state, *gui)); }

void AppFixture::chooseItem(int widget, int index) {
  auto* combo = qobject_cast<QComboBox*>(platform::qtWidget(*gui, widget));
  ASSERT_NE(combo, nullptr);
  ASSERT_TRUE(combo->isEnabled());
  ASSERT_LT(index, combo->count());
  // The keyboard is how a user picks without the popup: each arrow key is a choice.
  combo->setFocus();
  while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
  while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
  if (combo->currentIndex() == index && index >= 0) {
    // Re-choosing the shown item is still a choice.
    Q_EMIT combo->activated(index);
  }
}

void AppFixture::click(int widget) {
  QWidget* target = platform::qtWidget(*gui, widget);
  ASSERT_NE(target, nullptr);
  QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->rect().center());
}

void AppFixture::dropFiles(const std::vector<std::string>& paths) {
  QWidget* window = platform::qtWindow(*gui, 0);
  ASSERT_NE(window, nullptr);
  QMimeData data;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
  data.setUrls(urls);
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &drop);
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
