#include "messageboxprompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using A = IUserPrompt::Answer;
using B = IUserPrompt::Buttons;

// What the box showed while it was up.
struct Shown
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Asks, and deals with the box through act as soon as it is up.
A askAndAct(MessageBoxPrompt &prompt, const IUserPrompt::Question &question,
            const std::function<void(QMessageBox *)> &act, Shown *shown = nullptr)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        if (shown) {
            shown->title = box->windowTitle();
            shown->text = box->text();
            shown->icon = box->icon();
            shown->defaultButton = box->standardButton(box->defaultButton());
        }
        act(box);
    });
    poll.start(5);
    return prompt.ask(question);
}

IUserPrompt::Question question(B buttons)
{
    IUserPrompt::Question q;
    q.text = "Proceed?";
    q.buttons = buttons;
    return q;
}

TEST(MessageBoxPrompt, EscapeAndTheCloseBoxGiveTheCautiousAnswer)
{
    MessageBoxPrompt prompt("Vantrel");
    const struct { B buttons; A answer; } cases[] = {
        {B::Ok, A::Ok},
        {B::OkCancel, A::Cancel},
        {B::AbortRetryIgnore, A::Abort},
        {B::YesNoCancel, A::Cancel},
        {B::YesNo, A::No},
        {B::RetryCancel, A::Cancel},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.buttons));
        IUserPrompt::Question q = question(c.buttons);
        q.defaultAnswer = offeredAnswers(c.buttons).first();   // Enter would say otherwise
        EXPECT_EQ(askAndAct(prompt, q, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); }),
                  c.answer);
        EXPECT_EQ(askAndAct(prompt, q, [](QMessageBox *box) { box->close(); }), c.answer);
    }
}

TEST(MessageBoxPrompt, ShowsTheQuestionAndReturnsThePressedButton)
{
    MessageBoxPrompt prompt("Vantrel Sentry");
    IUserPrompt::Question q = question(B::YesNoCancel);
    q.text = "Sentry in Use\rline two\r\nline three";
    q.icon = IUserPrompt::Icon::Exclamation;
    q.defaultAnswer = A::No;
    Shown shown;
    const A answer = askAndAct(prompt, q, [](QMessageBox *box) { box->button(QMessageBox::No)->click(); }, &shown);
    EXPECT_EQ(answer, A::No);
    EXPECT_EQ(shown.title, "Vantrel Sentry");   // no title of its own: the program's
    EXPECT_EQ(shown.text, "Sentry in Use\nline two\nline three");
    EXPECT_EQ(shown.icon, QMessageBox::Warning);
    EXPECT_EQ(shown.defaultButton, QMessageBox::No);

    q.title = "Save As";
    q.defaultAnswer = A::Retry;   // not offered: Enter presses the first button
    EXPECT_EQ(askAndAct(prompt, q, [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, &shown),
              A::Yes);
    EXPECT_EQ(shown.title, "Save As");
    EXPECT_EQ(shown.defaultButton, QMessageBox::Yes);
}

TEST(MessageBoxPrompt, ABoxStaysOnTheScreenAndItsLongTextScrolls)
{
    MessageBoxPrompt prompt("Vantrel");
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("line %1 of a long report from the server").arg(i);
    const struct { const char *what; QString text; bool scrolls; } cases[] = {
        {"20,000 lines", lines.join('\r'), true},
        {"one line of 200,000 characters", QString(200000, QLatin1Char('x')), true},
        {"a short text", QStringLiteral("Short"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        IUserPrompt::Question q = question(B::Ok);
        q.text = c.text;
        const A answer = askAndAct(prompt, q, [&](QMessageBox *box) {
            const QRect screen = box->screen()->availableGeometry();
            EXPECT_LE(box->frameGeometry().height(), screen.height());
            EXPECT_LE(box->frameGeometry().width(), screen.width());
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            EXPECT_TRUE(box->rect().contains(QRect(ok->mapTo(box, QPoint(0, 0)), ok->size())));
            auto *view = box->findChild<QPlainTextEdit *>();
            EXPECT_EQ(view && view->isVisible() && view->verticalScrollBar()->maximum() > 0, c.scrolls);
            if (view) {
                EXPECT_EQ(view->toPlainText(), MessageBoxPrompt::forDisplay(c.text));
            }
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        EXPECT_EQ(answer, A::Ok);
    }
}

TEST(MessageBoxPrompt, LineEndsBecomeLineBreaksOnlyForDisplay)
{
    EXPECT_EQ(MessageBoxPrompt::forDisplay("a\rb\r\nc\n\r\rd"), "a\nb\nc\n\n\nd");
    EXPECT_EQ(MessageBoxPrompt::forDisplay("plain"), "plain");
}

} // namespace
