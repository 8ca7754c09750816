// The help requests, the task guide, the About box and the help pages beside the program.
#include "frmabout.h"
#include "dialoghost.h"
#include "frmguide.h"
#include "modhtmlhelp.h"
#include "programsettings.h"
#include "recordinghelp.h"
#include "recordingprompt.h"
#include "textbrowserhelphost.h"
#include "helpwindow.h"
#include "lumopanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

QString programDir()
{
    return QCoreApplication::applicationDirPath();
}

TEST(HtmlHelp, RequestsNameTheHelpFileBesideTheProgram)
{
    ScopedRecordingHelp help;
    const QString chm = programDir() + "/Vantrel.chm";
    EXPECT_EQ(modHTMLHelp::HelpFilePath(1), chm);
    for (int n : {0, 2, -1})
        EXPECT_EQ(modHTMLHelp::HelpFilePath(n), QString()) << n;

    modHTMLHelp::ShowHelpContents(1, QString());
    modHTMLHelp::ShowHelpTopic(1, "Main", "csp.htm");
    modHTMLHelp::ShowHelpTopic(2, "Main", "csp.htm");
    ASSERT_EQ(help->requests.size(), 3u);
    EXPECT_EQ(help->requests[0].target, chm + ">");
    EXPECT_EQ(help->requests[0].command, 1);
    EXPECT_EQ(help->requests[1].target, chm + "::/csp.htm>Main");
    EXPECT_EQ(help->requests[1].command, 0);
    EXPECT_EQ(help->requests[2].target, "::/csp.htm>Main");
}

class GuideTest : public ::testing::Test
{
protected:
    void TearDown() override { programSettings() = ProgramSettings(); }
    ScopedRecordingHelp help;
};

TEST_F(GuideTest, EveryWayOfClosingStoresTheStartupSetting)
{
    struct Case
    {
        const char *how;
        std::function<void(frmGuide *)> close;
        const char *page;   // the help page it asked for; "" none
    };
    const Case cases[] = {
        {"topic button", [](frmGuide *g) { g->button("btnCSP")->click(); }, "csp.htm"},
        {"no help required", [](frmGuide *g) { g->button("btnNone")->click(); }, ""},
        {"close box", [](frmGuide *g) { g->close(); }, ""},
        {"Esc", [](frmGuide *g) { QTest::keyClick(g, Qt::Key_Escape); }, ""},
        {"session accepted", [](frmGuide *) { frmGuide::unloadCurrent(); }, ""},
    };
    for (const Case &c : cases) {
        for (bool checked : {false, true}) {
            SCOPED_TRACE(std::string(c.how) + (checked ? " checked" : " unchecked"));
            help->requests.clear();
            programSettings().ShowGuideAtStartup = !checked;
            QPointer<frmGuide> guide;
            bool wasCurrent = false;
            bool showedSetting = checked;
            setModalRunner([&](QDialog *dialog) {
                guide = qobject_cast<frmGuide *>(dialog);
                wasCurrent = guide && frmGuide::current() == guide.data();
                if (!guide)
                    return int(QDialog::Rejected);
                guide->show();
                showedSetting = guide->chkStartup()->isChecked();
                guide->chkStartup()->setChecked(checked);
                c.close(guide);
                EXPECT_FALSE(guide->isVisible());
                return guide->result();
            });
            frmGuide::showModal(nullptr);
            setModalRunner(nullptr);
            EXPECT_TRUE(wasCurrent);
            EXPECT_EQ(showedSetting, !checked);
            EXPECT_EQ(programSettings().ShowGuideAtStartup, checked);
            EXPECT_EQ(frmGuide::current(), nullptr);
            // showModal deletes the guide once it has closed.
            EXPECT_EQ(guide.data(), nullptr);
            if (*c.page) {
                ASSERT_EQ(help->requests.size(), 1u);
                EXPECT_EQ(help->requests[0].target, programDir() + "/Vantrel.chm::/" + c.page + ">Main");
                EXPECT_EQ(help->requests[0].command, 0);
            } else {
                EXPECT_TRUE(help->requests.empty());
            }
        }
    }
}

TEST_F(GuideTest, TheFormReadsAsDesigned)
{
    frmGuide guide;
    EXPECT_EQ(guide.windowTitle(), "Task Guide");
    EXPECT_EQ(guide.lblTitle()->text(), "What task would you like help with?");
    EXPECT_EQ(guide.chkStartup()->text(), "&Show this guide at startup");
    EXPECT_EQ(guide.button("btnNone")->text(), "&No help required");
    const QStringList pages = {"interactive.htm", "csp.htm", "editing.htm", "weblink.htm", "objects.htm",
                               "loading_routines.htm"};
    ASSERT_EQ(frmGuide::topics().size(), pages.size());
    for (int i = 0; i < pages.size(); ++i) {
        const frmGuide::Topic &topic = frmGuide::topics().at(i);
        EXPECT_EQ(topic.page, pages[i]);
        ASSERT_NE(guide.button(topic.name), nullptr) << topic.name;
        EXPECT_EQ(guide.button(topic.name)->text(), topic.caption);
    }
    EXPECT_EQ(guide.button("btnInteractive")->text(), "Debugging an &Interactive Character-mode Application");
    EXPECT_EQ(guide.button("btnObjects")->text(), "Debugging a Caché &Objects Application");
}

// Every page the guide and the contents lead to is in bin/Vantrel.help, where the
// program's help file name points the host.
TEST(HelpPages, EveryGuideTopicAndContentsLinkLandsOnAPage)
{
    const QString chm = QStringLiteral(VANTREL_BIN_DIR) + "/Vantrel.chm";
    TextBrowserHelpHost host;
    QStringList wanted;
    for (const frmGuide::Topic &topic : frmGuide::topics())
        wanted << topic.page;

    const QUrl contents = host.pageFor(chm + ">", IHelpHost::DisplayToc);
    ASSERT_TRUE(QFileInfo(contents.toLocalFile()).isFile()) << contents.toString().toStdString();
    EXPECT_EQ(QFileInfo(contents.toLocalFile()).fileName(), "index.htm");
    QFile index(contents.toLocalFile());
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(index.readAll());
    QStringList linked;
    for (const auto &m : QRegularExpression("href=\"([^\"]+)\"").globalMatch(html))
        linked << m.captured(1);
    for (const QString &page : wanted)
        EXPECT_TRUE(linked.contains(page)) << page.toStdString();

    for (const QString &page : wanted) {
        SCOPED_TRACE(page.toStdString());
        const QUrl url = host.pageFor(chm + "::/" + page + ">Main", IHelpHost::DisplayTopic);
        ASSERT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << url.toString().toStdString();
        host.htmlHelp(nullptr, chm + "::/" + page + ">Main", IHelpHost::DisplayTopic);
        HelpWindow *window = host.window("Main");
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->pageFound());
        EXPECT_FALSE(window->pageText().trimmed().isEmpty());
        // Each page leads back to the contents.
        EXPECT_TRUE(window->browser()->toHtml().contains("index.htm"));
    }
}

QStringList linksOf(const QString &file)
{
    QFile page(file);
    if (!page.open(QIODevice::ReadOnly))
        return {};
    QStringList links;
    for (const auto &m : QRegularExpression("href=\"([^\"]+)\"").globalMatch(QString::fromUtf8(page.readAll())))
        links << m.captured(1);
    return links;
}

// The contents lead to every page, every link of every page lands on a page, and each
// page leads back to the contents: no page is out of reach and none leads nowhere.
TEST(HelpPages, TheContentsLinkEveryPageAndNoLinkIsDead)
{
    const QString chm = QStringLiteral(VANTREL_BIN_DIR) + "/Vantrel.chm";
    TextBrowserHelpHost host;
    const QString folder = host.resolveFolder(chm);
    ASSERT_FALSE(folder.isEmpty());
    const QStringList pages = QDir(folder).entryList({"*.htm"}, QDir::Files, QDir::Name);
    ASSERT_GE(pages.size(), 15);
    const QStringList contents = linksOf(folder + "index.htm");
    for (const QString &page : pages) {
        SCOPED_TRACE(page.toStdString());
        if (page != "index.htm") {
            EXPECT_TRUE(contents.contains(page));
            EXPECT_TRUE(linksOf(folder + page).contains("index.htm"));
        }
        for (const QString &link : linksOf(folder + page)) {
            const QString file = link.section('#', 0, 0);
            EXPECT_TRUE(pages.contains(file)) << link.toStdString();
        }
    }
}

// What the program's own texts send the user to the help for is answered there: the
// Connect dialog's "See online help for details about Rovivi Ziveza", the panel's About
// box's "See the Vantrel help for how to get in touch", the key of every command.
TEST(HelpPages, WhatTheProgramRefersToTheHelpForIsThere)
{
    const QString chm = QStringLiteral(VANTREL_BIN_DIR) + "/Vantrel.chm";
    TextBrowserHelpHost host;
    struct Case
    {
        const char *page;
        const char *topic;
    };
    const Case cases[] = {
        {"connecting.htm", "Rovivi Ziveza"},
        {"connecting.htm", "Session ID"},
        {"connecting.htm", "Attach"},
        {"connecting.htm", "Sentry"},
        {"index.htm", "Getting in touch"},
        {"debugging.htm", "Run to Cursor Line"},
        {"debugging.htm", "Break on Error"},
        {"debugging.htm", "Fast Forward"},
        {"debugging.htm", "Linewise Stepping"},
        {"breakpoints.htm", "Condition"},
        {"breakpoints.htm", "ignore count"},
        {"breakpoints.htm", "Watchpoints"},
        {"panes.htm", "Display formats"},
        {"panes.htm", "Private variables"},
        {"immediate.htm", "Recalling commands"},
        {"filedialogs.htm", "Patterns"},
        {"filedialogs.htm", "Recent items"},
        {"filedialogs.htm", "Save As"},
        {"codewindow.htm", "Bookmarks"},
        {"codewindow.htm", "Find and Replace"},
        {"codewindow.htm", "Printing"},
        {"keys.htm", "Ctrl+Shift+F8"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        host.htmlHelp(nullptr, chm + "::/" + c.page + ">Main", IHelpHost::DisplayTopic);
        HelpWindow *window = host.window("Main");
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->pageFound());
        EXPECT_TRUE(window->pageText().contains(QString::fromUtf8(c.topic))) << c.topic;
    }
}

TEST(About, TheVersionLineFollowsTheRevisionAndWine)
{
    struct Case
    {
        int major, minor, revision;
        bool wine;
        const char *text;
    };
    const Case cases[] = {
        {2, 3, 512, false, "Version 2.3.5"},
        {2, 3, 99, false, "Version 2.3"},
        {2, 3, 100, false, "Version 2.3.1"},
        {2, 3, 0, true, "Version 2.3 (Wine)"},
        {2, 3, 1234, true, "Version 2.3.12 (Wine)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(frmAbout::versionText(c.major, c.minor, c.revision, c.wine), c.text) << c.text;
}

TEST(About, TheBoxShowsTheProgramsVersionAndSaysSystemInfoIsUnavailable)
{
    auto prompt = std::make_shared<RecordingPrompt>();
    ScopedUserPrompt scoped(prompt);
    programSettings().isWine = true;
    frmAbout about;
    programSettings() = ProgramSettings();
    EXPECT_EQ(about.windowTitle(), "About Vantrel");
    EXPECT_EQ(about.lblVersion()->text(), frmAbout::versionText(VANTREL_VERSION_MAJOR, VANTREL_VERSION_MINOR,
                                                                VANTREL_VERSION_REVISION, true));
    EXPECT_EQ(about.cmdSysInfo()->text(), "&System Info...");
    EXPECT_EQ(frmAbout::noticeText().count('\n'), 2);
    // The notice panel carries the three lines.
    ASSERT_NE(about.noticePanel(), nullptr);
    EXPECT_EQ(about.noticePanel()->Caption(), frmAbout::noticeText());
    EXPECT_EQ(about.noticePanel()->property("Caption").toString(), frmAbout::noticeText());

    about.cmdSysInfo()->click();
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(prompt->asked[0].icon, IUserPrompt::Icon::Information);

    about.show();
    about.cmdOK()->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

} // namespace
