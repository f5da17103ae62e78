#include "ActiveWindow.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ActiveWindow {
namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

class Desktop {
public:
    explicit Desktop(xcb_connection_t* c) : m_c(c)
    {
        const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
        m_root = screens.rem > 0 ? screens.data->root : xcb_window_t(XCB_WINDOW_NONE);
    }

    // The active top-level window, or XCB_WINDOW_NONE.
    xcb_window_t active()
    {
        if (m_root == XCB_WINDOW_NONE)
            return XCB_WINDOW_NONE;
        const auto active = property(m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 1);
        if (active && active->type == XCB_ATOM_WINDOW && active->format == 32 &&
            xcb_get_property_value_length(active.get()) >= 4)
            return *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get()));
        return focusedTopLevel();
    }

    bool isShown(xcb_window_t window)
    {
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            return false;
        const xcb_atom_t hidden = atom("_NET_WM_STATE_HIDDEN");
        const auto state = property(window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 64);
        if (!state || state->format != 32)
            return true;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(state.get()));
        const int count = xcb_get_property_value_length(state.get()) / 4;
        return hidden == XCB_ATOM_NONE || std::find(atoms, atoms + count, hidden) == atoms + count;
    }

    // One of this process's windows, or of another Quorrel (the collector
    // while `quorrel --collect` asks).
    bool isOurs(xcb_window_t window)
    {
        const auto pid = property(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 1);
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4 &&
            *static_cast<const quint32*>(xcb_get_property_value(pid.get())) == quint32(getpid()))
            return true;
        // WM_CLASS is "instance\0class\0"; Qt names the class after the application.
        const QByteArrayList names = bytes(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
        return names.size() > 1 && names[1] == "Quorrel";
    }

    QString title(xcb_window_t window)
    {
        const xcb_atom_t utf8 = atom("UTF8_STRING");
        QString name = QString::fromUtf8(bytes(window, atom("_NET_WM_NAME"), utf8));
        if (name.isEmpty()) {
            xcb_atom_t type = XCB_ATOM_NONE;
            const QByteArray legacy =
                bytes(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, &type);
            // STRING is Latin-1; other encodings (COMPOUND_TEXT) only where they are ASCII.
            if (type == utf8)
                name = QString::fromUtf8(legacy);
            else if (type == XCB_ATOM_STRING ||
                     std::all_of(legacy.begin(), legacy.end(), [](char c) { return c > 0; }))
                name = QString::fromLatin1(legacy);
        }
        return name.simplified();
    }

private:
    xcb_atom_t atom(const char* name)
    {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 1, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    Reply<xcb_get_property_reply_t> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                             uint32_t longs)
    {
        if (name == XCB_ATOM_NONE)
            return nullptr;
        return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, name, type, 0, longs), nullptr));
    }

    // A text property, up to 8 KiB (a title longer than that is cut).
    QByteArray bytes(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                     xcb_atom_t* actualType = nullptr)
    {
        const auto reply = property(window, name, type, 2048);
        if (!reply || reply->format != 8)
            return QByteArray();
        if (actualType)
            *actualType = reply->type;
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    // Where no window manager names the active window: the window with the
    // input focus, walked up to the client window (the one a window manager
    // gave WM_STATE) or else to the child of the root.
    xcb_window_t focusedTopLevel()
    {
        const Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        if (!focus || focus->focus == XCB_WINDOW_NONE ||
            focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
            return XCB_WINDOW_NONE;
        const xcb_atom_t wmState = atom("WM_STATE"); // XCB_ATOM_NONE without a window manager
        xcb_window_t window = focus->focus;
        for (int depth = 0; depth < 64 && window != m_root; ++depth) {
            const auto state = property(window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 1);
            if (state && state->type != XCB_ATOM_NONE)
                return window;
            const Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
            if (!tree)
                return XCB_WINDOW_NONE;
            if (tree->parent == m_root)
                return window;
            window = tree->parent;
        }
        return XCB_WINDOW_NONE;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

} // namespace

QString title()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return QString();
    Desktop desktop(x11->connection());
    const xcb_window_t window = desktop.active();
    if (window == XCB_WINDOW_NONE || !desktop.isShown(window) || desktop.isOurs(window))
        return QString();
    return desktop.title(window);
}

} // namespace ActiveWindow
