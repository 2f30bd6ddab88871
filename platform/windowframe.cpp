// The window manager's frame (see windowframe.h).
#include "platform/windowframe.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace {

bool announcementsEnabled = true;

// How long the window manager may take to answer; one that is slower frames the window
// unannounced, and the window is placed again once it is framed.
constexpr int answerTimeoutMs = 500;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, false, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit values of a window's property; empty when it is not set.
std::vector<quint32> property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, false, window, name, type, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return std::vector<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window)
{
    const Reply<xcb_query_tree_reply_t> reply(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    return reply ? reply->root : xcb_window_t(XCB_WINDOW_NONE);
}

// A window manager is the one client that redirects the structure requests on the root.
bool windowManagerRuns(xcb_connection_t* connection, xcb_window_t root)
{
    const Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr));
    return reply && (reply->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
}

bool supported(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t feature)
{
    const std::vector<quint32> atoms = property(connection, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return std::find(atoms.begin(), atoms.end(), feature) != atoms.end();
}

void requestFrameExtents(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t request)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = request;
    xcb_send_event(connection, false, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// Asks the window manager for the frame and waits for its answer, the window's
// _NET_FRAME_EXTENTS (left, right, top, bottom).
std::optional<QMargins> askFrame(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window)
{
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    if (!supported(connection, root, request))
        return std::nullopt;
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    xcb_delete_property(connection, window, extents);
    requestFrameExtents(connection, root, window, request);
    for (const QDeadlineTimer deadline(answerTimeoutMs); !deadline.hasExpired(); QThread::msleep(1)) {
        const std::vector<quint32> frame = property(connection, window, extents, XCB_ATOM_CARDINAL);
        if (frame.size() == 4)
            return QMargins(int(frame[0]), int(frame[2]), int(frame[1]), int(frame[3]));
    }
    return std::nullopt;
}

}  // namespace

std::optional<QMargins> announcedFrame(QWindow* window)
{
    // Other platforms may offer an X11 connection of their own, but their windows are not X11's.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection() || !window->handle())
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    const auto id = xcb_window_t(window->winId());
    const xcb_window_t root = rootOf(connection, id);
    if (root == XCB_WINDOW_NONE)
        return std::nullopt;
    if (!windowManagerRuns(connection, root))
        return QMargins();
    if (!announcementsEnabled)
        return std::nullopt;
    return askFrame(connection, root, id);
}

void setFrameAnnouncementsEnabled(bool enabled) { announcementsEnabled = enabled; }
