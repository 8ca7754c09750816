#include "messageboxprompt.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
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

// The box that lists preserved routines and the steps to reapply their changes: each
// step stands beside its number, a step continued on a tabbed line reads as one sentence
// (no word left alone on a line of its own), and every word of the text is shown.
TEST(MessageBoxPrompt, TabbedStepsStandBesideTheirNumbersAndWrapAsOneSentence)
{
    const QString text = QStringLiteral(
        "The following modified routines have been preserved as read-only documents:\r"
        "\r\tDEMO from USER\r\tNEW from USER\r\r"
        "To reapply the changes to a routine:\r\r"
        "1)\tRe-establish the connection.\r"
        "2)\tRe-open the routine if it already exists.\r"
        "3)\tUse Copy and Paste, taking account of any other changes\r"
        "\tthat may have occurred in the intervening period.\r"
        "4)\tSave the results of your editing.\r"
        "5)\tClose the read-only document containing the original preserved changes.");
    MessageBoxPrompt prompt("Vantrel");
    IUserPrompt::Question q = question(B::Ok);
    q.title = "Vantrel Server Disconnected Abruptly";
    q.icon = IUserPrompt::Icon::Exclamation;
    q.text = text;
    const A answer = askAndAct(prompt, q, [&](QMessageBox *box) {
        auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        // The document the label lays its text out in; a plain label draws its text
        // as such a document would at its width.
        QTextDocument plain;
        QTextDocument *doc = label->findChild<QTextDocument *>();
        if (!doc || label->textFormat() != Qt::RichText) {
            plain.setDefaultFont(label->font());
            plain.setPlainText(label->text());
            plain.setTextWidth(label->contentsRect().width());
            doc = &plain;
        }
        doc->documentLayout();
        EXPECT_EQ(doc->toPlainText().simplified(), QString(text).replace('\r', ' ').replace('\t', ' ').simplified());

        const QFontMetrics metrics(label->font());
        bool sawChanges = false;
        QRectF number, step;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            const QString blockText = block.text();
            QTextLayout *layout = block.layout();
            for (int n = 0; layout && n < layout->lineCount(); ++n) {
                const QTextLine line = layout->lineAt(n);
                const QString shown = blockText.mid(line.textStart(), line.textLength()).trimmed();
                if (blockText.contains("taking account") && shown.split(' ').contains("changes")) {
                    sawChanges = true;
                    EXPECT_NE(shown, "changes");
                    // The continuation follows on, not from a line of its own.
                    EXPECT_TRUE(blockText.contains("changes that may")) << blockText.toStdString();
                }
                const QRectF where = doc->documentLayout()->blockBoundingRect(block);
                if (shown.startsWith("1)"))
                    number = QRectF(where.left() + line.x(), where.top(), metrics.horizontalAdvance("1)"), 1);
                const int at = int(shown.indexOf("Re-establish"));
                if (at >= 0)
                    step = QRectF(where.left() + line.cursorToX(line.textStart() + int(blockText.indexOf("Re-establish"))),
                                  where.top(), 1, 1);
            }
        }
        EXPECT_TRUE(sawChanges);
        ASSERT_FALSE(number.isNull());
        ASSERT_FALSE(step.isNull());
        // A step stands a few characters beside its number, not a tab stop away.
        EXPECT_LE(step.left() - number.right(), 4 * metrics.averageCharWidth());
        EXPECT_GE(step.left() - number.right(), metrics.averageCharWidth() / 2);
        QApplication::setActiveWindow(box);
        EXPECT_TRUE(QTest::qWaitForWindowActive(box));
        EXPECT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box, Qt::Key_Return);
    });
    EXPECT_EQ(answer, A::Ok);
}

TEST(MessageBoxPrompt, LineEndsBecomeLineBreaksOnlyForDisplay)
{
    EXPECT_EQ(MessageBoxPrompt::forDisplay("a\rb\r\nc\n\r\rd"), "a\nb\nc\n\n\nd");
    EXPECT_EQ(MessageBoxPrompt::forDisplay("plain"), "plain");
}

} // namespace
