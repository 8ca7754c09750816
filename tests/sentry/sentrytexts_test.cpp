#include "commandline.h"
#include "statustexts.h"
#include "taskstarter.h"

#include <gtest/gtest.h>

namespace {

TEST(SentryCommandLine, ReadsPortAndSessions)
{
    struct Case { const char *line; quint16 port; int sessions; };
    const Case cases[] = {
        {"", 4321, 10},         {"5000 3", 5000, 3},    {"5000 1", 5000, 1},
        {"5000 12", 5000, 10},  {"5000 10", 5000, 10},  {"5000 0", 5000, 10},
        {"5000 x", 5000, 10},   {"abc", 4321, 10},      {"5000 3 x", 5000, 10},
        {"-Embedding", 4321, 10}, {"5000", 5000, 10},   {"65535 9", 65535, 9},
        // No folding of values a 16-bit port cannot hold into some other port.
        {"0", 4321, 10},        {"-5", 4321, 10},       {"70000", 4321, 10},
        {"99999999999", 4321, 10},
    };
    for (const Case &c : cases) {
        const SentryCommandLine parsed = SentryCommandLine::parse(QString::fromLatin1(c.line));
        EXPECT_EQ(parsed.port, c.port) << '"' << c.line << '"';
        EXPECT_EQ(parsed.sessions, c.sessions) << '"' << c.line << '"';
    }
}

TEST(StatusTexts, VersionTipAndStartFailure)
{
    EXPECT_EQ(StatusTexts::versionText(2, 3, 0), "Version 2.3");
    EXPECT_EQ(StatusTexts::versionText(2, 3, 150), "Version 2.3.1");
    EXPECT_EQ(StatusTexts::versionText(2, 3, 99), "Version 2.3");

    EXPECT_EQ(StatusTexts::tipText(4321, "192.0.2.7"), "Vantrel Sentry listening on port 4321 at 192.0.2.7");
    EXPECT_EQ(StatusTexts::tipText(4321, QString()), "Vantrel Sentry listening on port 4321");
    const QString longTip = StatusTexts::tipText(4321, "a-very-long-address-text-that-will-not-fit");
    EXPECT_EQ(longTip.size(), 63);
    EXPECT_TRUE(longTip.startsWith("Vantrel Sentry listening on port 4321 at a-very"));

    EXPECT_EQ(StatusTexts::unableToStart(StatusTexts::startFailureReason(10048, "in use", 4321)),
              "Vantrel Sentry is unable to start:\r\nPort 4321 may be in use by another task on this PC");
    EXPECT_EQ(StatusTexts::startFailureReason(10013, "Permission denied", 80), "(10013) Permission denied");

    const QStringList info = StatusTexts::wsInfoText("1.0", 8192, 8192).split("\r\n");
    ASSERT_EQ(info.size(), 5);
    EXPECT_TRUE(info[0].startsWith("WinSock version: "));
    EXPECT_TRUE(info[1].startsWith("Library: "));
    EXPECT_TRUE(info[2].startsWith("Description: "));
    EXPECT_EQ(info[3], "Socket/X version: 1.0");
    EXPECT_EQ(info[4], "Buffers (r/s): 8192/8192");
}

TEST(StatusTexts, CloseQuestionsDependOnWhoAskedAndHowManyTasks)
{
    using R = StatusTexts::CloseReason;
    struct Case { R reason; int live; QStringList titles; };
    const Case cases[] = {
        {R::ExitItem, 2, {"Sentry in Use"}},
        {R::TitleBar, 2, {"Sentry in Use", "Terminate Vantrel Sentry"}},
        {R::ExitItem, 0, {}},
        {R::TitleBar, 0, {"Terminate Vantrel Sentry"}},
        {R::SessionEnd, 2, {}},
    };
    for (const Case &c : cases) {
        QStringList titles;
        for (const auto &question : StatusTexts::closeQuestions(c.reason, c.live))
            titles.append(question.title);
        EXPECT_EQ(titles, c.titles) << int(c.reason) << " with " << c.live;
    }
    const auto both = StatusTexts::closeQuestions(R::TitleBar, 2);
    EXPECT_TRUE(both[0].noIsDefault);
    EXPECT_EQ(both[0].icon, StatusTexts::CloseQuestion::Warning);
    EXPECT_EQ(both[1].text, "Are you sure you want to shut down the Sentry task?");
    EXPECT_EQ(both[1].icon, StatusTexts::CloseQuestion::Question);
}

// The box wraps each paragraph to its own width; a line break inside one would leave a
// word or two alone on a line. Only the empty lines between paragraphs break the text.
TEST(StatusTexts, SentryInUseTextBreaksOnlyBetweenParagraphs)
{
    const QStringList paragraphs = StatusTexts::sentryInUseText(2).split('\r');
    const QStringList expected = {
        QStringList{"Vantrel Sentry appears to be in use by 2 task(s).",
                    "Shutting it down it may adversely affect their operation."}.join(' '),
        "",
        QStringList{"If there are no Vantrel tasks showing on your taskbar, this situation",
                    "is probably the result of Vantrel task(s) terminating abnormally.",
                    "It is generally safe to shut down the Sentry. You should also then check",
                    "your Windows task-list for a VANNGINE task. If one is there, select End Task",
                    "and then respond to the subsequent dialog by selecting Close."}.join(' '),
        "",
        "Are you sure you want to shut down the Sentry?",
    };
    EXPECT_EQ(paragraphs, expected);
    EXPECT_FALSE(StatusTexts::sentryInUseText(2).contains('\n'));
}

TEST(TaskStarter, StartsTheSiblingTaskWithItsCommandLine)
{
    EXPECT_EQ(TaskStarter::arguments(false, 77), QStringList{"S"});
    EXPECT_EQ(TaskStarter::arguments(true, 0), QStringList{"SQ0"});
    EXPECT_EQ(TaskStarter::arguments(true, 4194311), QStringList{"SQ4194311"});

    const QByteArray saved = qgetenv(TaskStarter::ProgramVariable);
    qputenv(TaskStarter::ProgramVariable, "/opt/tests/taskrecorder");
    EXPECT_EQ(TaskStarter().program(), "/opt/tests/taskrecorder");
    qunsetenv(TaskStarter::ProgramVariable);
    TaskStarter starter;
    EXPECT_TRUE(starter.program().endsWith("/Vantrel"));
    if (!saved.isEmpty())
        qputenv(TaskStarter::ProgramVariable, saved);
    QList<QStringList> launched;
    starter.setLauncher([&](const QString &, const QStringList &args) { launched.append(args); return false; });
    starter.setForegroundWindow([] { return quint64(42); });
    starter.StartNewTask(true);    // a failed start is logged, never thrown
    starter.StartNewTask(false);
    EXPECT_EQ(launched, (QList<QStringList>{{"SQ42"}, {"S"}}));

    // The real launcher with no program beside the Sentry fails quietly.
    TaskStarter missing;
    missing.setProgram("/nonexistent/Vantrel");
    missing.StartNewTask(true);
}

} // namespace
