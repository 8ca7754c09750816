#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The program itself: a booking that cannot be made ends it with its reason.
TEST(VantrelProcess, ABookingThatFailsEndsTheProgramWithItsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VANTREL_QUIET", "1");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("VANTREL_SENTRY_SOCKET", dir.filePath("sentry"));
    env.insert("VANTREL_SENTRY_PROGRAM", dir.filePath("no-such-sentry"));
    QProcess vantrel;
    vantrel.setProcessEnvironment(env);
    vantrel.start(VANTREL_PROGRAM, {"SQ0"});
    ASSERT_TRUE(vantrel.waitForFinished(40000));
    EXPECT_EQ(vantrel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vantrel.exitCode(), 1);
    const QString err = QString::fromUtf8(vantrel.readAllStandardError());
    EXPECT_TRUE(err.contains("when contacting Sentry")) << err.toStdString();
    EXPECT_TRUE(err.contains("Startup cannot continue")) << err.toStdString();
}

} // namespace
