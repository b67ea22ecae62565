#include "reminder/desktop.h"

#include "data/folder.h"
#include "data/safe_file.h"

#include <QCryptographicHash>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVirtualObject>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace reminder {

namespace {

const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

void logLine(const QString& line) {
    std::fprintf(stderr, "yarukin: %s\n", qPrintable(line));
}

QString keyOf(const safe_file::Identity& identity) {
    const QByteArray id =
        QByteArray::number(identity.device) + ':' + QByteArray::number(identity.inode);
    return PresenceInterface + QStringLiteral(".Dir_") +
           QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex());
}

// The object the running program registers: one method, Present.
class Presence final : public QDBusVirtualObject {
public:
    Presence(QObject* parent, std::function<void()> present)
        : QDBusVirtualObject(parent), present_(std::move(present)) {}
    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"%1\"><method name=\"Present\"/></interface>")
            .arg(PresenceInterface);
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != PresenceInterface || message.member() != u"Present")
            return false;
        present_();
        connection.send(message.createReply());
        return true;
    }

private:
    std::function<void()> present_;
};

// systemctl --user and its arguments; nothing, or what it said when it failed.
std::optional<QString> systemctl(const QStringList& arguments) {
    QString program = qEnvironmentVariable("YARUKIN_SYSTEMCTL");
    if (program.isEmpty())
        program = QStringLiteral("systemctl");
    QProcess process;
    process.start(program, QStringList{QStringLiteral("--user")} + arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return QStringLiteral("systemctl --user %1: %2")
            .arg(arguments.join(u' '), said.isEmpty() ? process.errorString() : said);
    }
    return std::nullopt;
}

const QString TimerName = QStringLiteral("yarukin-reminder.timer");

} // namespace

Notifier::Notifier(QDBusConnection bus, std::function<void()> start, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), start_(std::move(start)) {}

void Notifier::show(const QString& text, std::function<void(bool shown)> done) {
    if (!bus_.isConnected()) {
        logLine(QStringLiteral("通知できません（D-Bus のセッションバスがありません）"));
        done(false);
        return;
    }
    bus_.connect(NotificationsService, NotificationsPath, NotificationsService,
                 QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus_.connect(NotificationsService, NotificationsPath, NotificationsService,
                 QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
    QDBusMessage call = QDBusMessage::createMethodCall(
        NotificationsService, NotificationsPath, NotificationsService, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("org.yarukin.Yarukin")},
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    call << QStringLiteral("ヤルキン！") << uint(0) << QStringLiteral("yarukin")
         << QStringLiteral("ヤルキン！") << text
         << QStringList{QStringLiteral("default"), QStringLiteral("始める"), StartAction,
                        QStringLiteral("始める")}
         << hints << qint32(-1);
    // Asynchronous: the server may live in this very process (the tests' own).
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, done = std::move(done)] {
                watcher->deleteLater();
                const QDBusPendingReply<uint> reply = *watcher;
                if (reply.isError()) {
                    logLine(QStringLiteral("通知できません: %1").arg(reply.error().message()));
                    done(false);
                    return;
                }
                id_ = reply.value();
                done(true);
            });
}

void Notifier::actionInvoked(uint id, const QString& key) {
    if (id != id_ || id_ == 0)
        return;
    if (key == StartAction || key == u"default")
        start_();
    emit finished();
}

void Notifier::notificationClosed(uint id, uint) {
    if (id == id_ && id_ != 0)
        emit finished();
}

QString presenceName(const QString& dataDir) {
    const std::optional<safe_file::Identity> identity = safe_file::identityOf(dataDir);
    return identity ? keyOf(*identity) : QString();
}

bool registerPresence(QObject* owner, const Folder& folder, std::function<void()> present) {
    const std::optional<safe_file::Identity> identity = safe_file::identityOf(folder);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !identity)
        return false;
    if (!bus.registerService(keyOf(*identity)))
        return false;
    return bus.registerVirtualObject(PresencePath, new Presence(owner, std::move(present)));
}

void openTraining(QDBusConnection bus, const QString& dataDir, const QString& program) {
    const QString name = presenceName(dataDir);
    if (!name.isEmpty() && bus.isConnected()) {
        const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(name, PresencePath, PresenceInterface,
                                                    QStringLiteral("Present")),
                     QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    if (!QProcess::startDetached(program, {QStringLiteral("--data-dir"), dataDir}))
        logLine(QStringLiteral("%1 を起動できません").arg(program));
}

QString timerDropInPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/systemd/user/") + TimerName +
                           QStringLiteral(".d/hour.conf"));
}

QString onCalendar(const Choice& choice) {
    QStringList days;
    const char* const names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int day = 0; day < 7; ++day)
        if (choice.days & (1u << day))
            days << QLatin1String(names[day]);
    const QString time = choice.at.toString(u"HH:mm") + QStringLiteral(":00");
    return choice.days == EveryDay ? QStringLiteral("*-*-* ") + time
                                   : days.join(u',') + QStringLiteral(" *-*-* ") + time;
}

std::optional<QString> schedule(const Choice& choice) {
    const QFileInfo dropIn(timerDropInPath());
    if (choice.on) {
        if (const Step made = safe_file::createDirectories(dropIn.path()); !made)
            return QStringLiteral("%1: %2").arg(made.error().fileName, made.error().reason);
        Expected<Folder> folder = Folder::open(dropIn.path());
        if (!folder)
            return QStringLiteral("%1: %2").arg(folder.error().fileName, folder.error().reason);
        // The installed timer's hour replaced by the user's.
        const QByteArray text = QStringLiteral("# ヤルキン！が書きました（毎日の通知の時刻）\n"
                                               "[Timer]\nOnCalendar=\nOnCalendar=%1\n")
                                    .arg(onCalendar(choice))
                                    .toUtf8();
        if (const Step written = safe_file::replace(*folder, dropIn.fileName(), text); !written)
            return QStringLiteral("%1: %2").arg(written.error().fileName, written.error().reason);
        if (auto failed = systemctl({QStringLiteral("daemon-reload")}))
            return failed;
        if (auto failed = systemctl({QStringLiteral("enable"), TimerName}))
            return failed;
        // Started anew, so that the timer takes the new hour at once.
        return systemctl({QStringLiteral("restart"), TimerName});
    }
    // Off is off once the choice says so (the check then does nothing): a timer that cannot
    // be disabled, where no user manager runs, is only logged.
    if (auto failed = systemctl({QStringLiteral("disable"), QStringLiteral("--now"), TimerName}))
        logLine(*failed);
    if (dropIn.exists()) {
        Expected<Folder> folder = Folder::open(dropIn.path());
        if (!folder)
            return QStringLiteral("%1: %2").arg(folder.error().fileName, folder.error().reason);
        if (const Step removed = safe_file::remove(*folder, dropIn.fileName()); !removed)
            return QStringLiteral("%1: %2").arg(removed.error().fileName, removed.error().reason);
        if (auto failed = systemctl({QStringLiteral("daemon-reload")}))
            logLine(*failed);
    }
    return std::nullopt;
}

Check::Check(QDBusConnection bus, std::function<void(const QString& dataDir)> start,
             QObject* parent)
    : QObject(parent), bus_(std::move(bus)), start_(std::move(start)) {}

Verdict Check::run(const QDateTime& now) {
    const auto end = [this](Verdict verdict) {
        QMetaObject::invokeMethod(this, &Check::finished, Qt::QueuedConnection);
        return verdict;
    };
    const Expected<Choice> choice = loadChoice();
    if (!choice) {
        logLine(QStringLiteral("通知しません: %1: %2")
                    .arg(choice.error().fileName, choice.error().reason));
        return end({Verdict::Unreadable, choice.error().reason});
    }
    if (!choice->on)
        return end({Verdict::Off, {}});
    Expected<std::optional<StateLock>> lock = StateLock::take();
    if (!lock) {
        logLine(
            QStringLiteral("通知しません: %1: %2").arg(lock.error().fileName, lock.error().reason));
        return end({Verdict::Unreadable, lock.error().reason});
    }
    if (!*lock) // another check is at it
        return end({Verdict::AlreadyReminded, {}});
    const Verdict verdict = decide(*choice, now, lastReminded(choice->dataDir));
    if (verdict.kind == Verdict::Unreadable)
        logLine(QStringLiteral("通知しません: %1").arg(verdict.text));
    if (verdict.kind != Verdict::Remind)
        return end(verdict);
    lock_ = std::make_unique<StateLock>(std::move(**lock));
    const QString dataDir = choice->dataDir;
    notifier_ = new Notifier(
        bus_, [this, dataDir] { start_(dataDir); }, this);
    connect(notifier_, &Notifier::finished, this, &Check::finished);
    const QDate today = now.date();
    notifier_->show(verdict.text, [this, dataDir, today](bool shown) {
        // Noted only once shown: a reminder that could not be shown may come at the next check.
        if (shown)
            if (const Step noted = noteReminded(dataDir, today); !noted)
                logLine(QStringLiteral("%1: %2").arg(noted.error().fileName, noted.error().reason));
        lock_.reset();
        if (!shown) // perhaps still inside run(): told once the caller waits
            QMetaObject::invokeMethod(this, &Check::finished, Qt::QueuedConnection);
    });
    return verdict;
}

int remindNow(const QString& program) {
    Check check(QDBusConnection::sessionBus(), [program](const QString& dataDir) {
        openTraining(QDBusConnection::sessionBus(), dataDir, program);
    });
    QEventLoop loop;
    QObject::connect(&check, &Check::finished, &loop, &QEventLoop::quit);
    // A notification that stays in a tray keeps its action: waited for until the evening is
    // surely over, not for ever.
    QTimer::singleShot(std::chrono::hours(12), &loop, &QEventLoop::quit);
    check.run(QDateTime::currentDateTime());
    loop.exec();
    return 0;
}

std::optional<QString> apply(const Choice& choice) {
    if (const Step saved = saveChoice(choice); !saved)
        return QStringLiteral("%1: %2").arg(saved.error().fileName, saved.error().reason);
    return schedule(choice);
}

} // namespace reminder
