#include "messageboxprompt.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace {

QMessageBox::Icon boxIcon(IUserPrompt::Icon icon)
{
    switch (icon) {
    case IUserPrompt::Icon::Critical: return QMessageBox::Critical;
    case IUserPrompt::Icon::Question: return QMessageBox::Question;
    case IUserPrompt::Icon::Exclamation: return QMessageBox::Warning;
    case IUserPrompt::Icon::Information: return QMessageBox::Information;
    case IUserPrompt::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(IUserPrompt::Buttons buttons)
{
    using B = IUserPrompt::Buttons;
    switch (buttons) {
    case B::Ok: return QMessageBox::Ok;
    case B::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case B::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case B::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case B::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case B::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton boxButton(IUserPrompt::Answer answer)
{
    using A = IUserPrompt::Answer;
    switch (answer) {
    case A::Ok: return QMessageBox::Ok;
    case A::Cancel: return QMessageBox::Cancel;
    case A::Abort: return QMessageBox::Abort;
    case A::Retry: return QMessageBox::Retry;
    case A::Ignore: return QMessageBox::Ignore;
    case A::Yes: return QMessageBox::Yes;
    case A::No: return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

// A box sizes itself to its whole text, however tall: a server's message of thousands of
// lines would put the buttons far below the screen. Such a text is shown in a read-only
// view that scrolls, as wide as the text needs and no taller than half the screen, which
// leaves room for the title, the icon and the buttons.
void scrollLongText(QMessageBox &box, const QString &text)
{
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    const QScreen *screen = box.screen();
    if (!label || !grid || !screen)
        return;
    const QRect available = screen->availableGeometry();
    const int maxHeight = available.height() / 2;
    const int maxWidth = qMin(available.width() / 2, 640);
    const QFontMetrics metrics(label->font());
    const QRect needed = metrics.boundingRect(QRect(0, 0, maxWidth, INT_MAX / 2),
                                              Qt::TextWordWrap | Qt::TextWrapAnywhere | Qt::TextExpandTabs, text);
    if (needed.height() <= maxHeight)
        return;

    auto *view = new QPlainTextEdit(&box);
    view->setObjectName(QStringLiteral("longText"));
    view->setReadOnly(true);
    view->setFrameShape(QFrame::NoFrame);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, box.palette().color(QPalette::Window));
    view->setPalette(palette);
    view->setFont(label->font());
    view->setPlainText(text);
    delete grid->replaceWidget(label, view);
    label->hide();
    // The box fixes its own size from its parts' minimum sizes, so the view states its own.
    view->setFixedSize(needed.width() + view->verticalScrollBar()->sizeHint().width()
                           + 2 * int(view->document()->documentMargin()),
                       maxHeight);
}

} // namespace

MessageBoxPrompt::MessageBoxPrompt(const QString &defaultTitle)
    : m_defaultTitle(defaultTitle)
{
}

QString MessageBoxPrompt::forDisplay(const QString &text)
{
    QString display = text;
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return display;
}

IUserPrompt::Answer MessageBoxPrompt::ask(const Question &question)
{
    QMessageBox box(boxIcon(question.icon), question.title.isEmpty() ? m_defaultTitle : question.title,
                    forDisplay(question.text), boxButtons(question.buttons));
    // Named always: left alone, Qt would pick a default by button role, not the first.
    box.setDefaultButton(boxButton(defaultAnswerOf(question)));
    // Set rather than left to Qt's guess, so that Escape and the close box answer
    // alike in every program and for every set of buttons.
    const Answer cautious = cautiousAnswer(question.buttons);
    box.setEscapeButton(box.button(boxButton(cautious)));
    scrollLongText(box, forDisplay(question.text));
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ignore: return Answer::Ignore;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return cautious;   // the box went without any button being pressed
    }
}
