// Keep-on-top asked of the X11 window manager directly, through EWMH: Qt would re-show the
// window to change its stay-on-top flag.
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "platform/gui_qt_internal.h"

namespace platform {

void setAboveX11(QWidget* window, bool on) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  auto atom = [connection](const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
  };
  const xcb_atom_t state = atom("_NET_WM_STATE");
  const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
  if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE) return;
  const auto id = xcb_window_t(window->winId());

  if (!window->isVisible()) {
    // Not mapped yet: the window manager reads the property when the window appears.
    if (on)
      xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &above);
    else
      xcb_delete_property(connection, id, state);
  } else {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = state;
    message.data.data32[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
    message.data.data32[1] = above;
    message.data.data32[2] = 0;
    message.data.data32[3] = 1;           // request from a normal application
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  }
  xcb_flush(connection);
}

}  // namespace platform
