#pragma once

#include <QDialog>
#include <QString>

class LumoPanel;
class QLabel;
class QPushButton;

// "About Vantrel": the version line, a notice, OK and System Info.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    // "Version 2.3", then ".5" when revision / 100 is at least 1 (512 → 5), then
    // " (Wine)" under Wine.
    static QString versionText(int major, int minor, int revision, bool wine);
    // The notice panel's three lines.
    static QString noticeText();
    static QString sysInfoUnavailableText();

    QLabel *lblVersion() const { return m_lblVersion; }
    LumoPanel *noticePanel() const { return m_notice; }
    QPushButton *cmdOK() const { return m_cmdOK; }
    QPushButton *cmdSysInfo() const { return m_cmdSysInfo; }

    // There is no system-information program to start on this platform: the box says so.
    void StartSysInfo();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Sizes the notice panel to its text and holds it there.
    void fitNotice();

    static constexpr int NoticeMaxWidthPixels = 420;   // the notice wraps beyond this
    static constexpr int NoticeFramePixels = 4;        // the panel's frame and inner margin, each side

    QLabel *m_lblVersion = nullptr;
    LumoPanel *m_notice = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdSysInfo = nullptr;
};
