#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

// A non-modal window that browses a folder of help pages: Back, Forward and Contents
// buttons over a text browser, titled "Vantrel Help". Links between pages are relative
// URLs and stay inside the window.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // The page Contents goes back to. When it does not exist, Contents lists the pages
    // of its folder instead.
    void setContents(const QUrl &contents) { m_contents = contents; }
    QUrl contents() const { return m_contents; }
    void showContents();
    // Shows the page; a missing file shows a one-line "not found" page instead.
    void showPage(const QUrl &page);
    // The page shown; for a missing one, the page that was asked for.
    QUrl currentPage() const { return m_current; }
    bool pageFound() const { return m_found; }
    QString pageText() const;

    QTextBrowser *browser() const { return m_browser; }
    QToolButton *backButton() const { return m_back; }
    QToolButton *forwardButton() const { return m_forward; }
    QToolButton *contentsButton() const { return m_contentsButton; }

private:
    QTextBrowser *m_browser = nullptr;
    QToolButton *m_back = nullptr;
    QToolButton *m_forward = nullptr;
    QToolButton *m_contentsButton = nullptr;
    QUrl m_contents;
    QUrl m_current;
    bool m_found = false;   // the current page exists
};
