#include "base/cp932.h"
#include "help/chm_help.h"
#include "settings_fixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>

namespace {

// Compiles a small CHM with chmcmd: a UTF-8 start page linking to a Shift-JIS page, a page
// without a charset, a style sheet and a picture.
QString buildChm(const QString& dirPath, const QString& name, const QString& title,
                 const QString& defaultTopic = QStringLiteral("start.htm")) {
    QDir dir(dirPath);
    const auto write = [&](const QString& file, const QByteArray& bytes) {
        QFile out(dir.filePath(file));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    };
    const auto sjis = [](const QString& text) { return *cp932::encode(text).bytes; };
    write(QStringLiteral("start.htm"),
          QStringLiteral("<html><head><meta charset=\"utf-8\"><link rel=\"stylesheet\" "
                         "href=\"look.css\"></head><body><h1>はじめのページ</h1>"
                         "<p><a href=\"sub/second.htm\">二ページ目へ</a></p>"
                         "<img src=\"dot.png\"></body></html>")
              .toUtf8());
    write(QStringLiteral("look.css"), "h1 { color: #123456; }");
    dir.mkdir(QStringLiteral("sub"));
    write(QStringLiteral("sub/second.htm"),
          sjis(QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                              "charset=Shift_JIS\"></head><body><p>二ページ目です</p>"
                              "<a href=\"../third.htm\">次</a></body></html>")));
    write(QStringLiteral("third.htm"),
          sjis(QStringLiteral("<html><body><p>文字コードの指定なし</p></body></html>")));
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    dot.save(dir.filePath(QStringLiteral("dot.png")));
    // Without a default topic, the first topic of the contents file is the start page.
    write(name + QStringLiteral(".hhc"),
          sjis(QStringLiteral(
              "<html><body><ul><li><object type=\"text/sitemap\"><param name=\"Name\" "
              "value=\"三\"><param name=\"Local\" value=\"third.htm\"></object>"
              "</ul></body></html>")));
    write(name + QStringLiteral(".hhp"),
          sjis(QStringLiteral("[OPTIONS]\r\nCompiled file=%1.chm\r\n%3Contents file=%1.hhc\r\n"
                              "Language=0x411 日本語\r\nTitle=%2\r\n\r\n[FILES]\r\nstart.htm\r\n"
                              "sub/second.htm\r\nthird.htm\r\nlook.css\r\ndot.png\r\n")
                   .arg(name, title,
                        defaultTopic.isEmpty()
                            ? QString()
                            : QStringLiteral("Default topic=%1\r\n").arg(defaultTopic))));
    QProcess chmcmd;
    chmcmd.setWorkingDirectory(dirPath);
    chmcmd.start(QStringLiteral("chmcmd"),
                 {QStringLiteral("--no-html-scan"), name + QStringLiteral(".hhp")});
    EXPECT_TRUE(chmcmd.waitForFinished(30000));
    return dir.filePath(name + QStringLiteral(".chm"));
}

bool haveChmcmd() {
    return !QStandardPaths::findExecutable(QStringLiteral("chmcmd")).isEmpty();
}

#define REQUIRE_CHMCMD()                                                                           \
    if (!haveChmcmd())                                                                             \
    GTEST_SKIP() << "chmcmd (Debian package fp-utils) is not installed: no CHM can be built"

class Help : public Settings {
protected:
    QString browserText(ChmViewer* viewer) { return viewer->browser()->toPlainText(); }
};

TEST_F(Help, ShowsTheDefaultTopicAndFollowsLinks) {
    REQUIRE_CHMCMD();
    buildChm(dir.path(), QStringLiteral("test"), QStringLiteral("テストのヘルプ"));
    ChmHelp chm(QStringList{});
    EXPECT_NE(chm.HtmlHelpA(nullptr, QStringLiteral("test.chm"), HH_DISPLAY_TOPIC, 0), 0u);
    ASSERT_EQ(chm.viewers().size(), 1);
    ChmViewer* viewer = chm.viewers().first();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), u"テストのヘルプ");
    EXPECT_TRUE(browserText(viewer).contains(u"はじめのページ"));
    EXPECT_TRUE(viewer->browser()->toHtml().contains(QStringLiteral("#123456"))); // the style sheet

    // A real click on the link.
    QTextBrowser* browser = viewer->browser();
    const QTextCursor link = browser->document()->find(QStringLiteral("二ページ目へ"));
    ASSERT_FALSE(link.isNull());
    QTextCursor at(browser->document());
    at.setPosition(link.selectionStart() + 1);
    const QPoint point = browser->cursorRect(at).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
    EXPECT_EQ(browser->source().path(), u"/sub/second.htm");
    EXPECT_TRUE(browserText(viewer).contains(u"二ページ目です")); // Shift-JIS by its meta tag

    browser->setSource(browser->source().resolved(QUrl(QStringLiteral("../third.htm"))));
    EXPECT_TRUE(browserText(viewer).contains(u"文字コードの指定なし")); // by the CHM's language
    browser->backward();
    EXPECT_EQ(browser->source().path(), u"/sub/second.htm");
}

TEST_F(Help, WithoutADefaultTopicTheContentsFileLeads) {
    REQUIRE_CHMCMD();
    // No default topic, or one the file does not hold: the first topic of the contents.
    for (const QString& topic : {QString(), QStringLiteral("missing.htm")}) {
        buildChm(dir.path(), QStringLiteral("test"), QStringLiteral("t"), topic);
        ChmHelp chm(QStringList{});
        EXPECT_NE(chm.HtmlHelpA(nullptr, QStringLiteral("test.chm"), HH_DISPLAY_TOPIC, 0), 0u);
        ASSERT_EQ(chm.viewers().size(), 1);
        EXPECT_TRUE(browserText(chm.viewers().first()).contains(u"文字コードの指定なし"))
            << topic.toStdString();
    }
}

TEST_F(Help, EachCallOpensAViewerAndCloseAllClosesThemAll) {
    REQUIRE_CHMCMD();
    buildChm(dir.path(), QStringLiteral("test"), QStringLiteral("t"));
    ChmHelp chm(QStringList{});
    chm.HtmlHelpA(nullptr, QStringLiteral("test.chm"), HH_DISPLAY_TOPIC, 0);
    chm.HtmlHelpA(nullptr, QStringLiteral("test.chm"), HH_DISPLAY_TOPIC, 0);
    EXPECT_EQ(chm.viewers().size(), 2);
    EXPECT_EQ(chm.HtmlHelpA(nullptr, QStringLiteral("other.chm"), HH_CLOSE_ALL, 0), 0u);
    settle();
    EXPECT_TRUE(chm.viewers().isEmpty());
}

TEST_F(Help, MissingOrBrokenFilesOpenNothing) {
    ChmHelp chm(QStringList{dir.path()});
    EXPECT_EQ(chm.HtmlHelpA(nullptr, QStringLiteral("none.chm"), HH_DISPLAY_TOPIC, 0), 0u);
    dir.write(QStringLiteral("fake.chm"), "this is not a compiled help file");
    EXPECT_EQ(chm.HtmlHelpA(nullptr, QStringLiteral("fake.chm"), HH_DISPLAY_TOPIC, 0), 0u);
    QDir().mkdir(QStringLiteral("dir.chm"));
    EXPECT_EQ(chm.HtmlHelpA(nullptr, QStringLiteral("dir.chm"), HH_DISPLAY_TOPIC, 0), 0u);
    EXPECT_TRUE(chm.viewers().isEmpty());
}

TEST_F(Help, TheWorkingDirectoryComesBeforeTheDataDirectory) {
    REQUIRE_CHMCMD();
    // An installed folder of its own, inside the test's tree.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("installed")));
    const QString installed = dir.path() + QStringLiteral("/installed");
    buildChm(installed, QStringLiteral("ZkHelp"), QStringLiteral("installed"));
    ChmHelp chm(QStringList{installed});
    chm.HtmlHelpA(nullptr, QStringLiteral("ZkHelp.chm"), HH_DISPLAY_TOPIC, 0);
    ASSERT_EQ(chm.viewers().size(), 1);
    EXPECT_EQ(chm.viewers().last()->windowTitle(), u"installed");
    buildChm(dir.path(), QStringLiteral("ZkHelp"), QStringLiteral("local"));
    chm.HtmlHelpA(nullptr, QStringLiteral("ZkHelp.chm"), HH_DISPLAY_TOPIC, 0);
    EXPECT_EQ(chm.viewers().last()->windowTitle(), u"local");
}

TEST_F(Help, TheProgramsOwnHelpOpens) {
    const QString built = QStringLiteral(YARUKIN_BUILT_HELP);
    if (!QFile::exists(built))
        GTEST_SKIP() << "ZkHelp.chm was not built (chmcmd missing)";
    ChmHelp chm(QStringList{QFileInfo(built).absolutePath()});
    EXPECT_NE(chm.HtmlHelpA(nullptr, QStringLiteral("ZkHelp.chm"), HH_DISPLAY_TOPIC, 0), 0u);
    ASSERT_EQ(chm.viewers().size(), 1);
    EXPECT_EQ(chm.viewers().first()->windowTitle(), u"ヤルキン！ ヘルプ");
    EXPECT_TRUE(browserText(chm.viewers().first()).contains(u"トレーニング画面"));
}

TEST_F(Help, HelpButtonsNameTheirFilesAndTheIntroductionComesFirst) {
    open();
    settings()->cmdHelp_Click();
    EXPECT_EQ(settings()->HelpFile, u"ZkHelp.chm");
    ASSERT_EQ(help.calls.size(), 1);
    EXPECT_EQ(help.calls[0].file, u"ZkHelp.chm");
    EXPECT_EQ(help.calls[0].command, HH_DISPLAY_TOPIC);

    qsizetype callsWhileShown = -1;
    dialogs.onNextBox([&] { callsWhileShown = help.calls.size(); });
    settings()->cmdsyoukai_Click();
    EXPECT_EQ(callsWhileShown, 1); // the edition's help waits for the box
    ASSERT_EQ(dialogs.shown().size(), 1);
    const ScriptedDialogs::Shown box = dialogs.shown().first();
    EXPECT_EQ(box.title, u"ヤルキン！Ｐｒｏのご紹介");
    EXPECT_EQ(box.icon, Dialogs::Icon::Information);
    EXPECT_EQ(box.buttons, Dialogs::Buttons::Ok);
    EXPECT_EQ(box.text,
              QStringLiteral(
                  "成果をより詳細に把握したい場合は「ヤルキン！Ｐｒｏ」をぜひどうぞ！\r\n\r\n"
                  "当日のトレーニング実績やトレーニング開始日から現在まで全ての実績を\r\n"
                  "グラフや一覧で表示できるほか、ラピッドトライモードなど\r\n"
                  "やる気と継続する力をより強力にサポートします。\r\n\r\n"
                  "どんなことができるソフトなのかはヤルキン！Ｐｒｏのヘルプをぜひご覧ください。"));
    ASSERT_EQ(help.calls.size(), 2);
    EXPECT_EQ(help.calls[1].file, u"YrkHelp.chm");
    EXPECT_EQ(settings()->HelpFile, u"YrkHelp.chm");
}

TEST_F(Help, StartingAgainNeedsItems) {
    open();
    settings()->cmdAgain_Click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].title, u"項目未登録");
    EXPECT_EQ(dialogs.shown()[0].text, u"先に項目を入力して下さい");
    EXPECT_EQ(dialogs.shown()[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(settings());
    EXPECT_FALSE(ended);
}

TEST_F(Help, StartingAgainAfterADeletionUsesTheReloadedTable) {
    writeItems(
        {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}});
    open();
    select(0);
    find<PictureButton>(QStringLiteral("cmdDel"))->click();
    find<PictureButton>(QStringLiteral("cmdAgain"))->click();
    settle();
    ASSERT_TRUE(training());
    EXPECT_EQ(app->gymm().ItemCount(), 1);
    EXPECT_EQ(find<QLabel>(QStringLiteral("lblKoumoku"))->text(), u"B");
    EXPECT_EQ(find<PictureButton>(QStringLiteral("cmdNext"))->text(), u"終了");
    EXPECT_FALSE(ended);
}

TEST_F(Help, EndClosesEveryHelpViewerAndEndsTheProgram) {
    REQUIRE_CHMCMD();
    buildChm(dir.path(), QStringLiteral("ZkHelp"), QStringLiteral("a"));
    ChmHelp chm(QStringList{});
    start(chm);
    ASSERT_TRUE(settings());
    settings()->cmdHelp_Click();
    settings()->cmdHelp_Click();
    EXPECT_EQ(chm.viewers().size(), 2);
    find<PictureButton>(QStringLiteral("cmdEnd"))->click();
    EXPECT_TRUE(ended);
    settle();
    EXPECT_TRUE(chm.viewers().isEmpty());
    EXPECT_FALSE(app->window());
    app.reset();
}

TEST_F(Help, AHelpViewerNeverKeepsTheProgramAlive) {
    REQUIRE_CHMCMD();
    buildChm(dir.path(), QStringLiteral("ZkHelp"), QStringLiteral("a"));
    ChmHelp chm(QStringList{});
    start(chm);
    settings()->cmdHelp_Click();
    ASSERT_EQ(chm.viewers().size(), 1);
    settings()->close(); // the close box
    settle();
    EXPECT_TRUE(ended);
    app.reset();
}

TEST_F(Help, EndWithoutHelpEndsAllTheSame) {
    open();
    find<PictureButton>(QStringLiteral("cmdEnd"))->click();
    EXPECT_TRUE(ended);
    ASSERT_EQ(help.calls.size(), 2);
    EXPECT_EQ(help.calls[0].file, u"ZkHelp.chm");
    EXPECT_EQ(help.calls[0].command, HH_CLOSE_ALL);
    EXPECT_EQ(help.calls[1].file, u"YrkHelp.chm");
    EXPECT_EQ(help.calls[1].command, HH_CLOSE_ALL);
}

} // namespace
