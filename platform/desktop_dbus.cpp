// The desktop services of desktop.h over Qt DBus: logind's Inhibit on the system bus, the
// notification service and the launcher entry signal on the session bus.
#include "platform/desktop.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QStringList>
#include <QVariantMap>

namespace platform {
namespace {

// A service that does not answer within this time is taken as absent (milliseconds).
constexpr int kCallTimeoutMs = 3000;
const QString kDesktopEntry = QStringLiteral("burnshelf");

}  // namespace

SleepInhibitor::SleepInhibitor(const std::string& why) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  // "block" keeps the machine awake however long the move takes; where policy allows only
  // "delay", the system still waits a few seconds before it sleeps.
  for (const char* mode : {"block", "delay"}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown") << QStringLiteral("Burnshelf") << QString::fromStdString(why)
         << QString::fromLatin1(mode);
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) continue;
    // The reply's descriptor is closed with it; the inhibitor lives as long as a copy does.
    fd_ = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) fd_ = kNothingHeld;
    return;
  }
}

SleepInhibitor::~SleepInhibitor() {
  if (fd_ != kNothingHeld) close(fd_);
}

bool notifyDesktop(const std::string& summary, const std::string& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  const QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopEntry}};
  call << QStringLiteral("Burnshelf") << 0u << kDesktopEntry << QString::fromStdString(summary)
       << QString::fromStdString(body) << QStringList() << hints << -1;
  return bus.call(call, QDBus::Block, kCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

void showLauncherProgress(int percent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/burnshelf"),
                                                   QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                   QStringLiteral("Update"));
  const bool shown = percent != kNoProgress;
  const QVariantMap properties{{QStringLiteral("progress"), shown ? percent / 100.0 : 0.0},
                               {QStringLiteral("progress-visible"), shown}};
  update << QStringLiteral("application://burnshelf.desktop") << properties;
  bus.send(update);
}

}  // namespace platform
