#include "app/display.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifdef YARUKIN_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

// Connects to the X server as Qt's xcb plugin would. Empty when it answers, else why not.
QString x11Problem() {
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("X11 は DISPLAY が設定されていません");
#ifdef YARUKIN_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed)
        return QStringLiteral("X11 は DISPLAY=%1 に接続できません")
            .arg(QString::fromLocal8Bit(display));
#endif
    return {};
}

// Connects to the compositor's socket as libwayland-client would.
QString waylandProblem() {
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return {}; // a connection handed over by whoever started the program
    QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        name = "wayland-0";
    QByteArray path = name;
    if (!name.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return QStringLiteral("Wayland は XDG_RUNTIME_DIR が設定されていません");
        path = runtime + '/' + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return QStringLiteral("Wayland のソケットの名前が長すぎます");
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QStringLiteral("Wayland に接続できません: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (!connected)
        return QStringLiteral("Wayland は %1 に接続できません").arg(QFile::decodeName(path));
    return {};
}

} // namespace

QString displayProblem() {
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    const QList<QByteArray> platforms =
        chosen.isEmpty() ? QList<QByteArray>{"xcb", "wayland"} : chosen.split(';');
    QStringList problems;
    for (const QByteArray& platform : platforms) {
        const QByteArray name = platform.split(':').first().trimmed(); // "xcb:option=value"
        QString problem;
        if (name == "xcb")
            problem = x11Problem();
        else if (name.startsWith("wayland"))
            problem = waylandProblem();
        if (problem.isEmpty()) {
            if (chosen.isEmpty())
                qputenv("QT_QPA_PLATFORM", name);
            return {};
        }
        problems.append(problem);
    }
    return QStringLiteral("ウィンドウを開く画面に接続できません（%1）。--export-csv は画面なしで"
                          "使えます")
        .arg(problems.join(QStringLiteral("、")));
}
