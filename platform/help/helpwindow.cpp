#include "helpwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
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
    resize(640, 520);

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
