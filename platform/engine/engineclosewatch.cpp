// Close requests that a modal pop-up would swallow. Qt drops the window system's close request
// for a window that a modal pop-up blocks; the engine notes each request as it arrives (on X11
// the window manager's WM_DELETE_WINDOW message, before Qt queues it), holds one that the panel
// never received and raises it once the pop-up has gone.
#include "platform/engine/engine.h"

#include <QTimer>

namespace {

void RaiseHeldClose(int panel) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr || record->blocked || !record->closeHeld)
        return;
    record->closeHeld = false;
    EngineRaisePanelEvent(panel, EVENT_CLOSE, 0, 0);
}

} // namespace

void EngineNoteCloseRequest(WId window) {
    EnginePanel *record = EngineFindPanelOfWindow(window);
    if (record == nullptr)
        return;
    if (record->blocked)
        record->closeHeld = true;
    else
        record->closesNoted++;
}

// Qt hands on the window system's requests in order: one that reaches the panel settles every
// request noted before it.
void EngineCloseReceived(int panel) {
    if (EnginePanel *record = EngineFindPanel(panel)) {
        record->closesNoted = 0;
        record->closeHeld = false;
    }
}

// A request that has not reached the panel when a pop-up blocks it waits in Qt's queue, which the
// pop-up's own loop empties: Qt drops it there. It is held, and raised once the pop-up has gone,
// from the event loop, as the close of a panel at rest is.
void EngineBlockingChanged(int panel, bool blocked) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr)
        return;
    record->blocked = blocked;
    if (blocked && record->closesNoted > 0) {
        record->closesNoted = 0;
        record->closeHeld = true;
    }
    if (!blocked && record->closeHeld)
        QTimer::singleShot(0, record->form.data(), [panel] { RaiseHeldClose(panel); });
}

#if defined(NVMX_X11_CLOSE_WATCH)

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

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

void EngineWatchCloseRequests() {
    static bool watching = false;
    auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (watching || application == nullptr)
        return;
    watching = true;
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

void EngineWatchCloseRequests() {}

#endif
