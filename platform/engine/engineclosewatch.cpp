// The window system's close requests as they arrive, before Qt queues them: on X11 the window
// manager's WM_DELETE_WINDOW message. Qt drops such a request for a window that a modal pop-up
// blocks; the engine holds it for the panel instead (EngineNoteCloseRequest).
#include "platform/engine/engine.h"

#if defined(NVMX_X11_CLOSE_WATCH)

#include <QAbstractNativeEventFilter>
#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

xcb_atom_t InternAtom(xcb_connection_t *connection, const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = reply == nullptr ? xcb_atom_t(XCB_ATOM_NONE) : reply->atom;
    std::free(reply);
    return atom;
}

// Reports each close request to the engine and leaves it to Qt as before.
class X11CloseRequestWatch : public QAbstractNativeEventFilter {
  public:
    X11CloseRequestWatch(xcb_atom_t protocols, xcb_atom_t deleteWindow)
        : protocols_(protocols), deleteWindow_(deleteWindow) {}

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE)
            return false;
        auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (client->format == 32 && client->type == protocols_ &&
            client->data.data32[0] == deleteWindow_)
            EngineNoteCloseRequest(WId(client->window));
        return false;
    }

  private:
    xcb_atom_t protocols_;
    xcb_atom_t deleteWindow_;
};

} // namespace

void EngineWatchCloseRequests(QApplication *application) {
    // Other platforms may answer for X11 too (offscreen does), without a connection.
    auto *x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 == nullptr ? nullptr : x11->connection();
    if (connection == nullptr)
        return;
    xcb_atom_t protocols = InternAtom(connection, "WM_PROTOCOLS");
    xcb_atom_t deleteWindow = InternAtom(connection, "WM_DELETE_WINDOW");
    if (protocols == XCB_ATOM_NONE || deleteWindow == XCB_ATOM_NONE)
        return;
    // Kept for the program's life, as the application object is.
    application->installNativeEventFilter(new X11CloseRequestWatch(protocols, deleteWindow));
}

#else

void EngineWatchCloseRequests(QApplication *) {}

#endif
