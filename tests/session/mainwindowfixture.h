#pragma once

#include "addin.h"
#include "eventwait.h"
#include "frmimmediate.h"
#include "frmmdi.h"
#include "isentrybooking.h"
#include "module1.h"
#include "mserver.h"
#include "programsettings.h"
#include "recordingprompt.h"
#include "singleinstance.h"
#include "sourceview.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <unistd.h>

// A booking that needs no Sentry: it hands out a port nothing listens on.
// The routine the session tests stop in: a label, two lines with commands, a quit.
inline const QStringList DemoLines = {
    "DEMO ; a routine to stop in",
    "START S X=1",
    " S Y=2 W X+Y",
    " Q",
};

class FakeBooking : public ISentryBooking
{
public:
    explicit FakeBooking(quint16 port, std::vector<bool> *listening = nullptr)
        : m_port(port), m_listening(listening) {}
    void Listening(bool isListening) override
    {
        if (m_listening)
            m_listening->push_back(isListening);
    }
    quint16 Port() const override { return m_port; }
    QString LocalAddress() const override { return QStringLiteral("192.0.2.7"); }
    quint16 SentryPort() const override { return 4321; }

private:
    quint16 m_port;
    std::vector<bool> *m_listening;
};

// A main window in the test process: settings in a temporary directory, boxes
// recorded, the program's end recorded instead of leaving the event loop, and either
// a fake booking or (useRealSentry) a private VantrelSentry process.
class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("config"));
        prompt = std::make_shared<RecordingPrompt>();
        setUserPrompt(prompt);
        AddIn::setExitHook([this](int code) { exitCodes.push_back(code); });
        taskPort = freeSentryPort(0);
        setSentryBookingFactory([this] {
            return std::unique_ptr<ISentryBooking>(new FakeBooking(taskPort, &listening));
        });
    }

    void TearDown() override
    {
        AddIn::reset();
        AddIn::setExitHook({});
        AddIn::setCommandLine(QString());
        setSentryBookingFactory({});
        setUserPrompt(nullptr);
        frmMDI::setRegistrationHook({});
        if (sentryPort) {
            const qint64 sentry = SingleInstance::holder(dir.filePath("sentry.lock"));
            if (sentry > 0 && sentry != qint64(::getpid()))
                ::kill(pid_t(sentry), SIGTERM);
            for (const char *name : {"VANTREL_SENTRY_SOCKET", "VANTREL_SENTRY_PROGRAM",
                                     "VANTREL_SENTRY_EMBEDDED_COMMAND_LINE", "VANTREL_SENTRY_LISTEN_ADDRESS",
                                     "VANTREL_SENTRY_QUIET", "VANTREL_SENTRY_TASK_PROGRAM"})
                qunsetenv(name);
        }
    }

    // The booking goes to a private Sentry that the booking itself starts.
    void useRealSentry()
    {
        sentryPort = freeSentryPort(3);
        qputenv("VANTREL_SENTRY_SOCKET", dir.filePath("sentry").toUtf8());
        qputenv("VANTREL_SENTRY_PROGRAM", SENTRY_PROGRAM);
        qputenv("VANTREL_SENTRY_EMBEDDED_COMMAND_LINE", QByteArray::number(sentryPort) + " 3");
        qputenv("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
        qputenv("VANTREL_SENTRY_QUIET", "1");
        qputenv("VANTREL_SENTRY_TASK_PROGRAM", "/bin/true");
        setSentryBookingFactory({});
    }

    // Starts the program as its start procedure does, with that command line.
    frmMDI *start(const QString &commandLine = QStringLiteral("SQ0"))
    {
        AddIn::setCommandLine(commandLine);
        AddIn::Main();
        return AddIn::gfrmMDI();
    }

    QStringList askedTexts() const
    {
        QStringList texts;
        for (const auto &q : prompt->asked)
            texts.append(q.text);
        return texts;
    }

    QTemporaryDir dir;
    std::shared_ptr<RecordingPrompt> prompt;
    std::vector<int> exitCodes;
    std::vector<bool> listening;
    quint16 taskPort = 0;
    quint16 sentryPort = 0;
};

// Shows the main window and makes it the active one, so that keys and clicks given at
// the focus go where a user's would.
inline void showActive(frmMDI *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// A main window started for a server (booked with the fake booking), as most tests need.
class StartedMainWindowTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window = start("SQ0");
        ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
    }

    frmMDI *window = nullptr;
};

// The same, shown and active, for a session driven by keys and clicks.
class ActiveMainWindowTest : public StartedMainWindowTest
{
protected:
    void SetUp() override
    {
        StartedMainWindowTest::SetUp();
        if (window)
            showActive(window);
    }
};

// The main window booked with a private VantrelSentry process, as the program runs: a
// server asks that Sentry for the task's port.
class SentryBookedMainWindowTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        useRealSentry();
        window = start("SQ0");
        ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
    }

    frmMDI *window = nullptr;
};

// The immediate pane's Execute view, shown and clicked into as a user does, so that the
// keys typed next go to it (the caller checks QApplication::focusWidget()).
inline SourceView *clickIntoImmediateExecute(frmMDI *window)
{
    frmImmediate *immediate = window->immediatePane();
    immediate->ShowMe();
    immediate->ShowExecute();
    QCoreApplication::processEvents();
    SourceView *io = immediate->IO();
    QTest::mouseClick(io->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    return io;
}

// What the main window answers to a server's "HI2", with the program's settings: its
// identity, break on error, the command counter, the first step, then the namespace
// transaction (answered with `ns`) and its two acknowledgements.
inline QList<mserver::Step> greetingAnswer(const QString &ns = QStringLiteral("USER"))
{
    using namespace mserver;
    const ProgramSettings &s = programSettings();
    return {
        expect({"IAM", Module1::UserName(), Module1::ComputerName(), "7"}),
        expect({"BonE", s.BreakOnError ? "-1" : "0"}),
        expect({"CC", s.CommandCounter ? "0" : "-1"}),
        expect({"STPin"}),
        answer({"NS"}, {"NS", ns}),
        expectAck(),
        expectAck(),
    };
}
