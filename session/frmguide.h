#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

// The task guide: which task the user wants help with, each answered by a help page in
// the "Main" help window. However it closes (a topic, "No help required", the close
// box, Esc, or the main window taking a session), it stores whether it is to show at
// the next start.
class frmGuide : public QDialog
{
    Q_OBJECT
public:
    struct Topic
    {
        const char *name;       // the button's object name
        QString caption;
        QString page;
    };
    // The six topic buttons in their order on the form.
    static const QList<Topic> &topics();

    // The guide while one is open; null otherwise.
    static frmGuide *current();
    // A new guide, modal, owned by the main window (through runModal, so tests can script
    // it): at start-up and from the Help menu.
    static void showModal(QWidget *owner);
    // Unloads the open guide, if any (a session was accepted).
    static void unloadCurrent();

    explicit frmGuide(QWidget *owner = nullptr);
    ~frmGuide() override;

    QLabel *lblTitle() const { return m_lblTitle; }
    QCheckBox *chkStartup() const { return m_chkStartup; }
    QPushButton *button(const QString &name) const;

    void done(int result) override;

private:
    void showTopic(const QString &page);

    QLabel *m_lblTitle = nullptr;
    QCheckBox *m_chkStartup = nullptr;
    QList<QPushButton *> m_buttons;   // the topics, then btnNone
};
