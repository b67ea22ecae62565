#include "widgets/window_style.h"

#include "widgets/geometry.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QtGui/qtguiglobal.h>
#include <algorithm>
#include <vector>

#if QT_CONFIG(xcb) && __has_include(<xcb/xcb.h>)
#include <QtGui/qguiapplication_platform.h>
#include <chrono>
#include <cstring>
#include <thread>
#include <xcb/xcb.h>
#define YARUKIN_HAVE_XCB 1
#endif

namespace {

#ifdef YARUKIN_HAVE_XCB
// The connection to the X server, or none on other platforms (the offscreen one has the X11
// interface, but no connection).
xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

// The 32-bit values of a window property of the given type; empty when it is not set.
std::vector<uint32_t> property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name,
                               xcb_atom_t type) {
    std::vector<uint32_t> values;
    const auto cookie = xcb_get_property(connection, 0, window, name, type, 0, 4096);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        if (reply->format == 32 && reply->type == type) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
    }
    return values;
}

// Whether a window manager is running that says it answers _NET_REQUEST_FRAME_EXTENTS. A
// window manager that has gone may leave its properties on the root window; only a live one
// has its check window.
bool frameExtentsOnRequest(xcb_connection_t* connection, xcb_window_t root) {
    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const std::vector<uint32_t> checkWindow = property(connection, root, check, XCB_ATOM_WINDOW);
    if (checkWindow.empty() ||
        property(connection, checkWindow[0], check, XCB_ATOM_WINDOW) != checkWindow)
        return false;
    const std::vector<uint32_t> supported =
        property(connection, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    return std::find(supported.begin(), supported.end(), request) != supported.end();
}
#endif

// The widths of the frame the window manager will put round the window (left, top, right,
// bottom), asked before the window is shown; none without a window manager.
QMargins frameExtents([[maybe_unused]] QWidget* window) {
#ifdef YARUKIN_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (!frameExtentsOnRequest(connection, root))
        return {};
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection);
    // The window manager answers by setting _NET_FRAME_EXTENTS on the window, as a rule
    // within a millisecond, later on a busy machine; one that does not answer at all costs
    // half a second, and the window stands a frame's width off the centre.
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 500ms;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<uint32_t> widths = property(connection, id, extents, XCB_ATOM_CARDINAL);
        if (widths.size() == 4) {
            const auto width = [](uint32_t value) { return static_cast<int>(qMin(value, 1000u)); };
            return QMargins(width(widths[0]), width(widths[2]), width(widths[1]), width(widths[3]));
        }
        std::this_thread::sleep_for(1ms);
    }
#endif
    return {};
}

// X11 knows no "not in the task bar" window flag; the window manager reads it from the
// window's _NET_WM_STATE, which Qt keeps when it maps the window.
void keepOutOfTaskbar([[maybe_unused]] QWidget* window) {
#ifdef YARUKIN_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip = atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND,
                        static_cast<xcb_window_t>(window->winId()), state, XCB_ATOM_ATOM, 32, 1,
                        &skip);
    xcb_flush(connection);
#endif
}

} // namespace

QIcon artworkIcon(const QString& name) {
    QIcon icon;
    for (const int size : {32, 16}) {
        // Read as PNG by name: a reader left to guess the format loads every image format
        // plugin to ask it first.
        const QString file = QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size);
        if (!QFile::exists(file))
            continue;
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QIcon programIcon() {
    return artworkIcon(QStringLiteral("program"));
}

void setUpWindow(QWidget* window, int clientWidth, int clientHeight, WindowBorder border) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (border == WindowBorder::FixedSingle)
        flags |= Qt::WindowMinimizeButtonHint;
    window->setWindowFlags(flags);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(ProgramTitle);
    window->setWindowIcon(programIcon());
    window->setFixedSize(twips(clientWidth), twips(clientHeight));

    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    if (border == WindowBorder::FixedDialog)
        keepOutOfTaskbar(window);
}

QPoint centredPosition(const QSize& client, const QMargins& frame, const QRect& screen) {
    QRect outer(QPoint(), client.grownBy(frame));
    outer.moveCenter(screen.center());
    return outer.topLeft() + QPoint(frame.left(), frame.top());
}

QPoint cascadePosition(QPoint first, int n, const QSize& client, const QMargins& frame,
                       const QRect& area, int step) {
    const QSize outer = client.grownBy(frame);
    const QPoint at = first + QPoint(step, step) * n;
    if (area.contains(QRect(at, outer)))
        return at;
    const int fit = std::max(
        1, std::min(area.width() - outer.width(), area.height() - outer.height()) / step + 1);
    return area.topLeft() + QPoint(step, step) * (n % fit);
}

void showCentred(QWidget* window) {
    // With its native window made, a window's position is that of its client area, which the
    // window manager keeps, whatever the frame it adds (X11's static gravity); the frame's
    // widths are asked for first, so that the frame is what stands centred.
    (void)window->winId();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // The window manager measures in the screen's pixels, Qt in scaled ones.
        const QMargins frame =
            (QMarginsF(frameExtents(window)) / window->devicePixelRatioF()).toMargins();
        window->move(centredPosition(window->size(), frame, screen->availableGeometry()));
    }
    window->show();
#ifdef YARUKIN_HAVE_XCB
    // Qt sends the map request only when the event loop next runs; on its way now, the
    // window comes up while the caller fills it.
    if (xcb_connection_t* connection = x11Connection())
        xcb_flush(connection);
#endif
    // A window manager may leave a new window without the keyboard focus (Openbox does so
    // for every window kept out of the task bar); the program's windows are opened by the
    // user, who goes on with the keyboard.
    window->activateWindow();
}
