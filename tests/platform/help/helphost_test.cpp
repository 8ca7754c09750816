#include "helpwindow.h"
#include "ihelphost.h"
#include "recordinghelp.h"
#include "textbrowserhelphost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

void writePage(const QString &path, const QString &title, const QString &body = QString())
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<html><head><title>%1</title></head><body><h1>%1</h1>%2</body></html>")
                   .arg(title, body)
                   .toUtf8());
}

TEST(HelpRequest, IsCutIntoFileTopicAndWindow)
{
    struct Case
    {
        const char *target;
        const char *file;
        const char *topic;
        const char *window;
    };
    const Case cases[] = {
        {"/opt/v/Vantrel.chm>", "/opt/v/Vantrel.chm", "", ""},
        {"/opt/v/Vantrel.chm>Main", "/opt/v/Vantrel.chm", "", "Main"},
        {"/opt/v/Vantrel.chm::/csp.htm>Main", "/opt/v/Vantrel.chm", "csp.htm", "Main"},
        {"/opt/v/Vantrel.chm::/csp.htm>", "/opt/v/Vantrel.chm", "csp.htm", ""},
        // The window name is what follows the last ">".
        {"/a>b/Vantrel.chm::/x.htm>Side", "/a>b/Vantrel.chm", "x.htm", "Side"},
        {"/opt/v/Vantrel.chm", "/opt/v/Vantrel.chm", "", ""},
        {"", "", "", ""},
        {">", "", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target);
        const auto request = TextBrowserHelpHost::parse(QString::fromUtf8(c.target));
        EXPECT_EQ(request.file, QString::fromUtf8(c.file));
        EXPECT_EQ(request.topic, QString::fromUtf8(c.topic));
        EXPECT_EQ(request.window, QString::fromUtf8(c.window));
    }
}

class HelpHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        pages = dir.filePath("Vantrel.help");
        ASSERT_TRUE(QDir().mkpath(pages));
        writePage(pages + "/index.htm", "Contents", "<a href=\"csp.htm\">CSP</a>");
        writePage(pages + "/csp.htm", "CSP pages", "<a href=\"editing.htm\">Editing</a>");
        writePage(pages + "/editing.htm", "Editing");
        chm = dir.filePath("Vantrel.chm");
    }

    QTemporaryDir dir;
    QString pages;
    QString chm;
};

TEST_F(HelpHostTest, TheHelpFileNamesItsFolderOfPages)
{
    TextBrowserHelpHost host;
    // The folder itself, and the help file beside it.
    EXPECT_EQ(host.resolveFolder(pages), pages + "/");
    EXPECT_EQ(host.resolveFolder(chm), pages + "/");
    EXPECT_EQ(host.pageFor(chm + "::/csp.htm>Main", IHelpHost::DisplayTopic),
              QUrl::fromLocalFile(pages + "/csp.htm"));
    EXPECT_EQ(host.pageFor(chm + ">", IHelpHost::DisplayToc), QUrl::fromLocalFile(pages + "/index.htm"));
    // Contents asked with a topic still shows the contents.
    EXPECT_EQ(host.pageFor(chm + "::/csp.htm>", IHelpHost::DisplayToc), QUrl::fromLocalFile(pages + "/index.htm"));

    // A host given its folder uses it whatever the request names.
    TextBrowserHelpHost fixed(pages);
    EXPECT_EQ(fixed.pageFor("/nowhere/Other.chm::/editing.htm>", IHelpHost::DisplayTopic),
              QUrl::fromLocalFile(pages + "/editing.htm"));

    // toc.htm stands in for a missing index.htm.
    ASSERT_TRUE(QFile::rename(pages + "/index.htm", pages + "/toc.htm"));
    EXPECT_EQ(host.pageFor(chm + ">", IHelpHost::DisplayToc), QUrl::fromLocalFile(pages + "/toc.htm"));
}

TEST_F(HelpHostTest, PagesShowInOneWindowPerNameWithItsHistory)
{
    TextBrowserHelpHost host;
    host.htmlHelp(nullptr, chm + ">", IHelpHost::DisplayToc);
    HelpWindow *main = host.window("");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->windowTitle(), "Vantrel Help");
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(main->pageFound());
    EXPECT_TRUE(main->pageText().contains("Contents"));

    // "Main" is the same window as "", another name another window.
    host.htmlHelp(nullptr, chm + "::/csp.htm>Main", IHelpHost::DisplayTopic);
    EXPECT_EQ(host.window("Main"), main);
    EXPECT_TRUE(main->pageText().contains("CSP pages"));
    host.htmlHelp(nullptr, chm + "::/editing.htm>Side", IHelpHost::DisplayTopic);
    ASSERT_NE(host.window("Side"), nullptr);
    EXPECT_NE(host.window("Side"), main);
    EXPECT_TRUE(main->pageText().contains("CSP pages"));

    // A relative link stays in the window; Back, Forward and Contents move through it.
    main->browser()->setSource(QUrl("editing.htm"));
    EXPECT_EQ(main->currentPage(), QUrl::fromLocalFile(pages + "/editing.htm"));
    ASSERT_TRUE(main->backButton()->isEnabled());
    main->backButton()->click();
    EXPECT_TRUE(main->pageText().contains("CSP pages"));
    ASSERT_TRUE(main->forwardButton()->isEnabled());
    main->forwardButton()->click();
    EXPECT_TRUE(main->pageText().contains("Editing"));
    main->contentsButton()->click();
    EXPECT_EQ(main->currentPage(), QUrl::fromLocalFile(pages + "/index.htm"));

    // A window the user closed comes back on the next request.
    main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(host.window("Main"), nullptr);
    host.htmlHelp(nullptr, chm + ">Main", IHelpHost::DisplayToc);
    ASSERT_NE(host.window("Main"), nullptr);
    EXPECT_TRUE(host.window("Main")->isVisible());
}

TEST_F(HelpHostTest, WhatCannotBeFoundSaysSoOnOneLine)
{
    TextBrowserHelpHost host;
    host.htmlHelp(nullptr, chm + "::/missing.htm>Main", IHelpHost::DisplayTopic);
    HelpWindow *window = host.window("Main");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->pageFound());
    EXPECT_EQ(window->pageText().trimmed(), "The help page missing.htm was not found.");

    // No folder at all: the same page, no box, no crash.
    TextBrowserHelpHost nowhere;
    nowhere.htmlHelp(nullptr, dir.filePath("Other.chm") + "::/csp.htm>", IHelpHost::DisplayTopic);
    ASSERT_NE(nowhere.window(""), nullptr);
    EXPECT_FALSE(nowhere.window("")->pageFound());

    // Without a contents page, Contents lists the folder's pages as links.
    QFile::remove(pages + "/index.htm");
    host.htmlHelp(nullptr, chm + ">", IHelpHost::DisplayToc);
    const QString list = window->pageText();
    EXPECT_TRUE(list.contains("csp.htm")) << list.toStdString();
    EXPECT_TRUE(list.contains("editing.htm")) << list.toStdString();
    EXPECT_TRUE(window->browser()->toHtml().contains(QUrl::fromLocalFile(pages + "/csp.htm").toString()));
}

TEST_F(HelpHostTest, TopicsNeverLeaveTheHelpFolder)
{
    // Something outside the folder that a topic might try to reach.
    writePage(dir.filePath("secret.htm"), "Secret");
    ASSERT_TRUE(QDir(pages).mkpath("sub"));
    writePage(pages + "/sub/inner.htm", "Inner");
    ASSERT_TRUE(QFile::link(dir.filePath("secret.htm"), pages + "/link.htm"));

    struct Case
    {
        QString topic;
        bool shown;
    };
    const Case cases[] = {
        {"csp.htm", true},
        {"sub/inner.htm", true},
        {"sub/../csp.htm", true},
        {"../secret.htm", false},
        {"../../../../../../etc/passwd", false},
        {"sub/../../secret.htm", false},
        {dir.filePath("secret.htm"), false},
        {"/etc/passwd", false},
        {"..\\secret.htm", false},
        {"..", false},
        {"link.htm", false},   // a link in the folder that points out of it
    };
    TextBrowserHelpHost host;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.topic.toStdString());
        const QString target = chm + "::/" + c.topic + ">Main";
        EXPECT_EQ(host.pageFor(target, IHelpHost::DisplayTopic).isEmpty(), !c.shown);
        host.htmlHelp(nullptr, target, IHelpHost::DisplayTopic);
        HelpWindow *window = host.window("Main");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->pageFound(), c.shown);
        EXPECT_FALSE(window->pageText().contains("Secret"));
        if (!c.shown) {
            EXPECT_EQ(window->pageText().trimmed(),
                      QStringLiteral("The help page %1 is not in the help folder.").arg(c.topic));
        }
    }
}

TEST_F(HelpHostTest, TheWindowOpensWhollyOnTheScreen)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    TextBrowserHelpHost host;
    host.htmlHelp(nullptr, chm + ">", IHelpHost::DisplayToc);
    HelpWindow *window = host.window("Main");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(area.contains(window->frameGeometry())) << area.width() << "x" << area.height();
    // As large as the screen allows, up to the size it asks for.
    EXPECT_GE(window->width(), qMin(HelpWindow::preferredSize().width(), area.width() * 3 / 4));
    EXPECT_GE(window->height(), qMin(HelpWindow::preferredSize().height(), area.height() * 3 / 4));

    // Left half below the bottom edge, the next request brings it back inside, still at
    // the user's size.
    window->move(area.left() + 10, area.bottom() - 100);
    const QSize size = window->size();
    host.htmlHelp(nullptr, chm + "::/csp.htm>Main", IHelpHost::DisplayTopic);
    EXPECT_TRUE(area.contains(window->frameGeometry()));
    EXPECT_EQ(window->size(), size);
    EXPECT_EQ(window->frameGeometry().left(), area.left() + 10);
}

// Escape closes the help window wherever its focus is, as it closes the program's dialogs.
TEST_F(HelpHostTest, EscapeClosesTheWindow)
{
    TextBrowserHelpHost host;
    for (const char *focus : {"page", "Contents button"}) {
        SCOPED_TRACE(focus);
        host.htmlHelp(nullptr, chm + "::/csp.htm>Main", IHelpHost::DisplayTopic);
        QPointer<HelpWindow> window = host.window("Main");
        ASSERT_NE(window, nullptr);
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        if (QString(focus) == "page")
            QTest::mouseClick(window->browser()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        else
            window->contentsButton()->setFocus(Qt::TabFocusReason);
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        ASSERT_EQ(focused->window(), window.data());
        QTest::keyClick(focused, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(!window || !window->isVisible());
    }
}

TEST_F(HelpHostTest, TheRegisteredHostTakesTheRequests)
{
    auto recording = std::make_shared<RecordingHelpHost>();
    setHelpHost(recording);
    helpHost().htmlHelp(nullptr, "x.chm>", IHelpHost::DisplayToc);
    ASSERT_EQ(recording->requests.size(), 1u);
    EXPECT_EQ(recording->requests[0].target, "x.chm>");
    EXPECT_EQ(recording->requests[0].command, 1);
    setHelpHost(nullptr);
    EXPECT_EQ(dynamic_cast<RecordingHelpHost *>(&helpHost()), nullptr);
    EXPECT_NE(dynamic_cast<TextBrowserHelpHost *>(&helpHost()), nullptr);
}

} // namespace
