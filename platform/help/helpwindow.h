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
    // Says that the topic was refused because it lies outside the help folder.
    void showRefused(const QString &topic);
    // Shows and raises the window. The first time, it is sized and placed wholly on the
    // available area of the screen of the active window (or the primary screen); later
    // it stays where the user left it, but is brought back inside the screen.
    void showOnScreen();
    // The size the window asks for when the screen has room.
    static QSize preferredSize() { return {900, 720}; }

    // The page shown; for a missing one, the page that was asked for.
    QUrl currentPage() const { return m_current; }
    bool pageFound() const { return m_found; }
    QString pageText() const;

    QTextBrowser *browser() const { return m_browser; }
    QToolButton *backButton() const { return m_back; }
    QToolButton *forwardButton() const { return m_forward; }
    QToolButton *contentsButton() const { return m_contentsButton; }

protected:
    // Escape closes the window, as it closes the program's dialogs.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextBrowser *m_browser = nullptr;
    QToolButton *m_back = nullptr;
    QToolButton *m_forward = nullptr;
    QToolButton *m_contentsButton = nullptr;
    QUrl m_contents;
    QUrl m_current;
    bool m_found = false;   // the current page exists
    bool m_placed = false;  // placed on a screen once; the user's moves win from then on
};
