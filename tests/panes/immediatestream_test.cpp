// A command whose output floods the immediate pane: 200 MB through the output channel,
// as numbered lines, as one line without end and as bare line ends. The pane runs in a process of its own
// (immediate_streamer), which reports how far its peak memory rose and the longest
// time its event loop stood still; both must stay bounded whatever the volume.
#include "frmimmediate.h"

#include <QMap>
#include <QProcess>

#include <gtest/gtest.h>

#include "sanitized.h"

namespace {

using sanitized::Sanitized;

// What IO may hold (two bytes a character) and what the document and the view keep
// per line of it, with room to spare; a pane that kept the stream would need gigabytes.
constexpr qint64 MemoryMarginKb = 160 * 1024;
// Not a speed target (the bench holds those): only a pane that wrote the whole stream at
// once, standing still for many seconds, goes over it, even on a loaded two-core machine
// running other tests beside it.
constexpr qint64 LongestStallMs = 3000;

QMap<QString, QString> stream(const char *shape)
{
    QProcess streamer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Freed memory is not held back for the checker: the peak is the pane's own.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":quarantine_size_mb=4"));
    streamer.setProcessEnvironment(env);
    streamer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    streamer.start(QStringLiteral(IMMEDIATE_STREAMER), {QStringLiteral("200"), QString::fromLatin1(shape)});
    QMap<QString, QString> report;
    if (!streamer.waitForFinished(500000))
        return report;
    for (const QByteArray &line : streamer.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            report[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
    }
    report[QStringLiteral("exit")] = QString::number(streamer.exitCode());
    return report;
}

TEST(ImmediateStream, TwoHundredMegabytesOfOutputKeepMemoryAndTheEventLoopBounded)
{
    for (const char *shape : {"lines", "endless", "lineends"}) {
        SCOPED_TRACE(shape);
        const QMap<QString, QString> report = stream(shape);
        ASSERT_EQ(report.value("exit"), "0") << report.value("failure").toStdString();
        EXPECT_TRUE(report.value("failure").isEmpty()) << report.value("failure").toStdString();
        EXPECT_EQ(report.value("state"), "1");
        EXPECT_LE(report.value("io_chars").toLongLong(), frmImmediate::OutputLimit + 1024);
        EXPECT_TRUE(report.value("first_line").startsWith("[earlier text dropped: "))
            << report.value("first_line").toStdString();
        EXPECT_LE(report.value("grown_kb").toLongLong(), MemoryMarginKb * (Sanitized ? 3 : 1));
        EXPECT_LE(report.value("stall_ms").toLongLong(), LongestStallMs * (Sanitized ? 4 : 1));
    }
}

} // namespace
