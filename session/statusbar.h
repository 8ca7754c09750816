#pragma once

#include <QLabel>
#include <QPixmap>
#include <QStatusBar>

// A panel of the status bar: picture, text, tool tip and bevel, and a click.
class StatusPanel : public QLabel
{
    Q_OBJECT
public:
    enum Bevel { NoBevel = 0, Inset = 1 };

    explicit StatusPanel(const QString &key, QWidget *parent = nullptr);

    QString key() const { return objectName(); }
    void setPicture(const QString &imageKey);
    QString pictureKey() const { return m_pictureKey; }
    void setPanelText(const QString &text);
    QString panelText() const { return m_text; }
    void setBevel(int bevel);
    int bevel() const { return m_bevel; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void render();

    QString m_pictureKey;
    QString m_text;
    int m_bevel = NoBevel;
};

// The main window's status bar: the "State" panel (picture and the command counter's
// text) and the "Msg" panel with the status text.
class sbrStatus : public QStatusBar
{
    Q_OBJECT
public:
    explicit sbrStatus(QWidget *parent = nullptr);

    StatusPanel *panel(const QString &key) const;
    StatusPanel *statePanel() const { return m_state; }
    StatusPanel *messagePanel() const { return m_msg; }

    // The window's image list of state pictures: "Busy", "Stopped", "Listening".
    static QPixmap image(const QString &key);

signals:
    void PanelClick(StatusPanel *panel);

private:
    StatusPanel *m_state;
    StatusPanel *m_msg;
};
