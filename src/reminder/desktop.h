#pragma once

#include "reminder/reminder.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class Folder;

// The reminder's ways into the desktop: the notification (freedesktop's, over D-Bus), the
// running program's window brought to the front, and the systemd user timer.
namespace reminder {

// The notification action that opens the training window.
inline const QString StartAction = QStringLiteral("start");

// Shows one reminder and stays until it is gone: 「始める」 (or a click on the notification)
// calls `start` with the data directory. `done` tells whether the notification was shown
// (false: no session bus, no notification server, a refusal; the reason goes to the log);
// `finished` follows when the notification is closed or its action taken.
class Notifier : public QObject {
    Q_OBJECT
public:
    Notifier(QDBusConnection bus, std::function<void()> start, QObject* parent = nullptr);
    void show(const QString& text, std::function<void(bool shown)> done);

signals:
    void finished();

private slots:
    void actionInvoked(uint id, const QString& key);
    void notificationClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    std::function<void()> start_;
    uint id_ = 0;
};

// The running program answers on the session bus under a name of its data directory (by
// device and inode, whatever path it was named by), so that 「始める」 reaches it instead of
// meeting its lock. Present() brings its window to the front.
QString presenceName(const QString& dataDir);
inline const QString PresencePath = QStringLiteral("/org/yarukin/Yarukin");
inline const QString PresenceInterface = QStringLiteral("org.yarukin.Yarukin");
// Registers `present` under the folder's name; false (quietly) without a session bus.
bool registerPresence(QObject* owner, const Folder& folder, std::function<void()> present);
// 「始める」: the running program's window to the front, else the program started on the
// data directory (`program`, detached).
void openTraining(QDBusConnection bus, const QString& dataDir, const QString& program);

// The systemd user timer: a drop-in that sets the hour and the days of the installed timer,
// and the timer enabled; or disabled and the drop-in removed. Runs `systemctl --user`
// ($YARUKIN_SYSTEMCTL names another program, for tests). Nothing, or what failed.
std::optional<QString> schedule(const Choice& choice);
QString timerDropInPath();
QString onCalendar(const Choice& choice);

// One check of the timer's: decides at `now` by this computer's choice, shows the reminder
// when it is due, and notes the day once it was shown. `finished` follows when there is
// nothing more to wait for (at once, unless a notification is showing). `start` is the
// action's: the training window on the data directory.
class Check : public QObject {
    Q_OBJECT
public:
    Check(QDBusConnection bus, std::function<void(const QString& dataDir)> start,
          QObject* parent = nullptr);
    Verdict run(const QDateTime& now);

signals:
    void finished();

private:
    QDBusConnection bus_;
    std::function<void(const QString&)> start_;
    std::unique_ptr<StateLock> lock_;
    Notifier* notifier_ = nullptr;
};

// The check at the present moment, for `yarukin --remind`: returns when the notification is
// gone (its action taken, closed, or after twelve hours). The exit status.
int remindNow(const QString& program);

// The choice saved and the timer set by it: nothing, or what failed, in Japanese.
std::optional<QString> apply(const Choice& choice);

} // namespace reminder
