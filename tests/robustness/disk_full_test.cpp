// A disk that is really full: the data directory on a small tmpfs, filled to the last block.
// Every operation must fail visibly and leave every file byte for byte; with a little room
// again, everything works. Needs the right to mount (root in CI); skipped elsewhere.
#include "support/app_fixture.h"
#include "widgets/picture_button.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString ItemList = QStringLiteral("項目一覧.txt");

class DiskFull : public AppTest {
protected:
    void SetUp() override {
        disk_ = dir.path() + QStringLiteral("/disk");
        ASSERT_TRUE(QDir().mkdir(disk_));
        if (::mount("tmpfs", QFile::encodeName(disk_).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=256k,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); run as root to test a full disk";
        mounted_ = true;
        QDir::setCurrent(disk_);
    }
    void TearDown() override {
        app.reset();
        settle();
        QDir::setCurrent(dir.path());
        if (mounted_)
            ::umount2(QFile::encodeName(disk_).constData(), MNT_DETACH);
    }

    // Fills the disk with one file until the system says no more.
    void fill() {
        const int fd = ::open("filler", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray block(4096, '\0');
        while (::write(fd, block.constData(), block.size()) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
        ::fsync(fd);
        ::close(fd);
    }
    void freeSome(off_t bytes) {
        const off_t size = QFileInfo(QStringLiteral("filler")).size();
        ASSERT_EQ(::truncate("filler", std::max<off_t>(0, size - bytes)), 0);
    }
    void press(const char* name) { find<PictureButton>(QString::fromLatin1(name))->click(); }
    void select(int row) { find<QListWidget>(QStringLiteral("lstKoumoku"))->setCurrentRow(row); }
    QByteArray data() {
        QByteArray all;
        for (const QString& name : QDir::current().entryList(QDir::Files, QDir::Name))
            if (name != QStringLiteral("filler"))
                all += name.toUtf8() + '\0' + dataOf(name) + '\0';
        return all;
    }
    // Writes a file into the mounted directory (the working directory now).
    static void put(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray dataOf(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QString disk_;
    bool mounted_ = false;
};

TEST_F(DiskFull, EveryOperationFailsVisiblyAndChangesNothing) {
    put(ItemList, "\"A\",1\r\n\"B\",2\r\n\"C\",3\r\n");
    const QByteArray record = cp932(QStringLiteral("\"12月05日\",\"18時36分10秒\",10\r\n"));
    // 4080 bytes: the next record fits only partly into the file's last block.
    put(QStringLiteral("A.txt"), record.repeated(4080 / record.size()));
    for (const char* name : {"B.txt", "C.txt"})
        put(QString::fromLatin1(name), record);
    fill();
    const QByteArray before = data();

    start();
    app->flashSeconds = 0;
    ASSERT_TRUE(training());
    find<PictureButton>(QStringLiteral("cmdNext"))->click();
    EXPECT_EQ(dialogs.titles(), QStringList{QStringLiteral("書き込みエラー")});
    EXPECT_EQ(app->gymm.CurrentItem, 1);
    EXPECT_EQ(data(), before);

    press("cmdCut");
    settle();
    const auto attempt = [&](const char* button, const std::function<void()>& before) {
        dialogs.clear();
        before();
        press(button);
        return dialogs.titles();
    };
    EXPECT_EQ(attempt("cmdNew",
                      [&] {
                          dialogs.queue(QStringLiteral("D"));
                          dialogs.queue(QStringLiteral("4"));
                      }),
              (QStringList{QStringLiteral("項目名入力"), QStringLiteral("指示数入力"),
                           QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(attempt("cmdHozon",
                      [&] {
                          select(1);
                          find<QLineEdit>(QStringLiteral("txtKaisu"))->setText(QStringLiteral("9"));
                      }),
              QStringList{QStringLiteral("書き込みエラー")});
    EXPECT_EQ(attempt("cmdClear", [&] { select(1); }),
              (QStringList{QStringLiteral("クリア確認"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(attempt("cmdDel", [&] { select(1); }),
              (QStringList{QStringLiteral("クリア確認"), QStringLiteral("書き込みエラー")}));
    EXPECT_EQ(data(), before);
    EXPECT_EQ(app->gymm.ItemCount(), 3);
    EXPECT_EQ(app->gymm.ItemTargets(2), 2);
    EXPECT_EQ(find<QListWidget>(QStringLiteral("lstKoumoku"))->count(), 3);

    // A few blocks free again: the same operations go through.
    freeSome(16 * 4096);
    EXPECT_EQ(attempt("cmdNew",
                      [&] {
                          dialogs.queue(QStringLiteral("D"));
                          dialogs.queue(QStringLiteral("4"));
                      })
                  .last(),
              u"新規登録終了");
    EXPECT_EQ(attempt("cmdClear", [&] { select(1); }).last(), u"クリア終了");
    EXPECT_EQ(dataOf(QStringLiteral("B.txt")), QByteArray());
    EXPECT_EQ(attempt("cmdDel", [&] { select(1); }).last(), u"削除終了");
    EXPECT_EQ(dataOf(ItemList), QByteArray("\"A\",1\r\n\"C\",3\r\n\"D\",4\r\n"));
}

} // namespace
