// Which of Qt's platforms the program starts on, chosen before Qt starts: Qt ends the
// process with an abort when the platform it picks cannot be opened.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <QDir>
#include <QLibraryInfo>

#include "platform/gui.h"

namespace platform {

namespace {

// The X display names one that answers; "" when it does, else why not.
std::string xDisplayProblem() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return "no display: DISPLAY is not set (start it in a desktop session)";
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool reached = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reached ? std::string() : std::string("cannot open the display ") + display;
}

// The Wayland compositor that WAYLAND_DISPLAY names answers, with Qt able to speak to it;
// "" when it does, else why not.
std::string waylandProblem() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (start it in a desktop session)";
  const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
  if (!QDir(plugins).exists(QStringLiteral("libqwayland-generic.so")))
    return std::string("the Wayland display ") + name + " needs Qt's Wayland support (install qt6-wayland)";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string socketPath = name[0] == '/' ? name : std::string(runtime ? runtime : "") + "/" + name;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return std::string("cannot open the Wayland display ") + name;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool reached = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return reached ? std::string() : std::string("cannot open the Wayland display ") + name;
}

}  // namespace

std::string chooseDisplay() {
  const char* named = std::getenv("QT_QPA_PLATFORM");
  if (named && *named) {
    if (std::strncmp(named, "xcb", 3) == 0) return xDisplayProblem();
    if (std::strncmp(named, "wayland", 7) == 0) return waylandProblem();
    return {};  // offscreen, vnc...: the user knows what they asked for
  }
  const std::string x = xDisplayProblem();
  if (x.empty()) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return {};
  }
  const std::string wayland = waylandProblem();
  if (wayland.empty()) {
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    return {};
  }
  // The X display's trouble where one was named, else the Wayland one's.
  return std::getenv("DISPLAY") && *std::getenv("DISPLAY") ? x : wayland;
}

}  // namespace platform
