#include "helpwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Vantrel Help"));
    m_back = new QToolButton(this);
    m_back->setText(QStringLiteral("&Back"));
    m_forward = new QToolButton(this);
    m_forward->setText(QStringLiteral("&Forward"));
    m_contentsButton = new QToolButton(this);
    m_contentsButton->setText(QStringLiteral("&Contents"));
    m_browser = new QTextBrowser(this);
    // Links to other pages open here; anything else (web addresses) is not followed,
    // since the help must not depend on a browser being installed.
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addWidget(m_contentsButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    resize(preferredSize());

    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_contentsButton, &QToolButton::clicked, this, &HelpWindow::showContents);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this](const QUrl &url) {
        if (!url.isEmpty()) {
            m_current = url.isRelative() ? m_current.resolved(url) : url;
            m_found = true;
        }
    });
}

void HelpWindow::keyPressEvent(QKeyEvent *event)
{
    // The browser leaves Escape alone, so it reaches the window wherever the focus is.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HelpWindow::showPage(const QUrl &page)
{
    const QString path = page.toLocalFile();
    if (page.isLocalFile() && QFileInfo(path).isFile()) {
        m_browser->setSource(page);
        m_current = page;
        m_found = true;
        return;
    }
    qWarning("Vantrel help: page not found: %s", qPrintable(page.toString()));
    m_current = page;
    m_found = false;
    const QString name = page.isEmpty() ? QStringLiteral("(no help folder)") : QFileInfo(path).fileName();
    m_browser->setHtml(QStringLiteral("<p>The help page %1 was not found.</p>").arg(name.toHtmlEscaped()));
}

void HelpWindow::showRefused(const QString &topic)
{
    qWarning("Vantrel help: topic outside the help folder refused: %s", qPrintable(topic));
    m_current = QUrl();
    m_found = false;
    m_browser->setHtml(QStringLiteral("<p>The help page %1 is not in the help folder.</p>")
                           .arg(topic.toHtmlEscaped()));
}

namespace {

// Room the window manager's frame takes around the client area when the frame is not
// known yet (before the first show): a title bar and thin borders.
constexpr int FrameAllowanceTop = 40;
constexpr int FrameAllowanceSide = 8;

QScreen *screenToShowOn()
{
    if (const QWidget *active = QApplication::activeWindow()) {
        if (QScreen *screen = active->screen())
            return screen;
    }
    return QGuiApplication::primaryScreen();
}

// A frame rectangle moved (and, as a last resort, shrunk) into the area.
QRect fittedInto(QRect frame, const QRect &area)
{
    frame.setWidth(qMin(frame.width(), area.width()));
    frame.setHeight(qMin(frame.height(), area.height()));
    frame.moveLeft(qBound(area.left(), frame.left(), area.right() - frame.width() + 1));
    frame.moveTop(qBound(area.top(), frame.top(), area.bottom() - frame.height() + 1));
    return frame;
}

} // namespace

void HelpWindow::showOnScreen()
{
    QScreen *screen = m_placed ? this->screen() : screenToShowOn();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (!m_placed && area.isValid()) {
        // Wide enough to read, and never taller than the screen minus the frame: a help
        // window whose lower part (and scroll bar end) is off screen cannot be read.
        const QSize size(qMin(preferredSize().width(), area.width() * 9 / 10 - 2 * FrameAllowanceSide),
                         qMin(preferredSize().height(), area.height() * 9 / 10 - FrameAllowanceTop));
        resize(size);
        const QSize frame(size.width() + 2 * FrameAllowanceSide, size.height() + FrameAllowanceTop);
        // move() places the frame's corner.
        move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
        m_placed = true;
    }
    show();
    if (area.isValid()) {
        // The real frame is known now; a window the user left half off screen, or a
        // frame larger than allowed for, is brought inside.
        const QRect frame = frameGeometry();
        const QRect fitted = fittedInto(frame, area);
        if (fitted != frame) {
            resize(size() - (frame.size() - fitted.size()));
            move(pos() + (fitted.topLeft() - frame.topLeft()));
        }
    }
    raise();
    activateWindow();
}

QString HelpWindow::pageText() const
{
    return m_browser->toPlainText();
}

void HelpWindow::showContents()
{
    const QFileInfo contents(m_contents.toLocalFile());
    if (m_contents.isEmpty() || contents.isFile() || !contents.absoluteDir().exists()) {
        showPage(m_contents);
        return;
    }
    const QDir folder = contents.absoluteDir();
    QString html = QStringLiteral("<h1>Vantrel Help</h1><ul>");
    for (const QFileInfo &page : folder.entryInfoList({QStringLiteral("*.htm"), QStringLiteral("*.html")},
                                                      QDir::Files, QDir::Name))
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                    .arg(QUrl::fromLocalFile(page.absoluteFilePath()).toString().toHtmlEscaped(),
                         page.fileName().toHtmlEscaped());
    html += QStringLiteral("</ul>");
    m_browser->setHtml(html);
    m_current = m_contents;
    m_found = true;
}
