#include "portableforeground.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

TEST(PortableForeground, AnActivatedWindowOfOursIsTheForegroundAndOurs)
{
    PortableForeground fg;
    QWidget window;
    auto *edit = new QLineEdit(&window);
    window.show();

    // Through a child, as the main window's code hands over whatever widget it holds.
    ASSERT_TRUE(fg.activate(edit));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const quint64 front = fg.foregroundWindow();
    EXPECT_EQ(front, quint64(window.winId()));
    EXPECT_TRUE(fg.isOurs(front));
    EXPECT_EQ(fg.processOf(front), QCoreApplication::applicationPid());
}

TEST(PortableForeground, WithNoWindowOfOursActiveAnotherProgramIsInFront)
{
    PortableForeground fg;
    {
        QWidget window;
        window.show();
        fg.activate(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QCoreApplication::processEvents();

    const quint64 front = fg.foregroundWindow();
    EXPECT_EQ(front, PortableForeground::ExternalWindow);
    EXPECT_FALSE(fg.isOurs(front));
    // Remembered as "the program the user was in", so it must not read as "none".
    EXPECT_NE(fg.processOf(front), 0);
    EXPECT_NE(fg.processOf(front), QCoreApplication::applicationPid());
}

TEST(PortableForeground, WindowsNotOursBelongToNoKnownProcess)
{
    PortableForeground fg;
    quint64 goneWindow = 0;
    {
        QWidget window;
        window.show();
        goneWindow = window.winId();
    }
    ASSERT_NE(goneWindow, 0u);

    const struct { const char *what; quint64 window; qint64 process; } cases[] = {
        {"none", 0, 0},
        {"another program", PortableForeground::ExternalWindow, PortableForeground::ExternalProcess},
        {"closed window of ours", goneWindow, 0},
        {"never existed", 0x0badf00d, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fg.processOf(c.window), c.process) << c.what;
        EXPECT_FALSE(fg.isOurs(c.window)) << c.what;
        EXPECT_FALSE(fg.activateForeign(c.window)) << c.what;
    }
}

TEST(PortableForeground, ActivateRefusesWhatCannotBeShownInFront)
{
    PortableForeground fg;
    EXPECT_FALSE(fg.activate(nullptr));

    QWidget hidden;
    EXPECT_FALSE(fg.activate(&hidden));
    EXPECT_FALSE(hidden.isVisible());   // coming forward is no reason to reappear
}
