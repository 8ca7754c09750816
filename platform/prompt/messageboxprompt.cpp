#include "messageboxprompt.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

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

QString MessageBoxPrompt::withTabsLaidOut(const QString &display, const QFontMetrics &metrics)
{
    if (!display.contains(QLatin1Char('\t')))
        return QString();
    struct Row
    {
        QString lead;   // before the tab: a step's number, or nothing for an indented line
        QString text;
    };
    // A run of tabbed lines becomes one table; a line that only continues the step above
    // (a tab and nothing before it) joins that step, so the box wraps it as one sentence.
    QList<QList<Row>> tables;
    QStringList html;
    auto closeTable = [&] {
        if (tables.isEmpty() || tables.last().isEmpty())
            return;
        int leadWidth = 0;
        for (const Row &row : tables.last())
            leadWidth = std::max(leadWidth, metrics.horizontalAdvance(row.lead));
        const int indent = std::max(leadWidth + 2 * metrics.averageCharWidth(), 4 * metrics.averageCharWidth());
        QString table = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">");
        for (const Row &row : tables.last()) {
            table += QStringLiteral("<tr><td width=\"%1\">%2</td><td>%3</td></tr>")
                         .arg(indent)
                         .arg(row.lead.toHtmlEscaped(), row.text.toHtmlEscaped());
        }
        html << table + QStringLiteral("</table>");
        tables.last().clear();
    };
    tables.append(QList<Row>());
    for (const QString &line : display.split(QLatin1Char('\n'))) {
        const int tab = int(line.indexOf(QLatin1Char('\t')));
        if (tab < 0) {
            closeTable();
            html << QStringLiteral("<p style=\"margin:0\">%1</p>")
                        .arg(line.isEmpty() ? QStringLiteral("&nbsp;") : line.toHtmlEscaped());
            continue;
        }
        const QString lead = line.left(tab).trimmed();
        const QString text = line.mid(tab + 1).split(QLatin1Char('\t')).join(QLatin1Char(' ')).trimmed();
        QList<Row> &rows = tables.last();
        if (lead.isEmpty() && !rows.isEmpty() && !rows.last().lead.isEmpty())
            rows.last().text += QLatin1Char(' ') + text;
        else
            rows.append({lead, text});
    }
    closeTable();
    return html.join(QString());
}

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
    // Tabs line steps up under their numbers; a label shows them as gaps of whatever
    // width the next tab stop gives, and wraps the lines between them anywhere.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        const QString laidOut = withTabsLaidOut(forDisplay(question.text), QFontMetrics(label->font()));
        if (!laidOut.isEmpty()) {
            box.setTextFormat(Qt::RichText);
            box.setText(laidOut);
        }
    }
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
