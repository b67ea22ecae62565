#include "widgets/window_style.h"

#include "widgets/geometry.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(xcb) && __has_include(<xcb/xcb.h>)
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <xcb/xcb.h>
#define YARUKIN_HAVE_XCB 1
#endif

namespace {

// X11 knows no "not in the task bar" window flag; the window manager reads it from the
// window's _NET_WM_STATE, which Qt keeps when it maps the window.
void keepOutOfTaskbar([[maybe_unused]] QWidget* window) {
#ifdef YARUKIN_HAVE_XCB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto atom = [connection](const char* name) -> xcb_atom_t {
        const auto cookie =
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return result;
    };
    const xcb_atom_t state = atom("_NET_WM_STATE");
    const xcb_atom_t skip = atom("_NET_WM_STATE_SKIP_TASKBAR");
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
        const QString file = QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
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

void showCentred(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
}
