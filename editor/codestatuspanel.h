#pragma once

#include <QLabel>

// One panel of a code window's status bar: a text or a picture, drawn grey while the
// panel is switched off. A switched-off panel still takes clicks (clicking "Wrap" is how
// wrapping is switched back on), so "enabled" here is the panel's state, not QWidget's.
class CodeStatusPanel : public QLabel
{
    Q_OBJECT
public:
    // How the panel takes its width: from its contents, or fixed at its minimum width.
    enum AutoSize { NoAutoSize = 0, ContentsAutoSize = 2 };

    explicit CodeStatusPanel(const QString &key, QWidget *parent = nullptr);

    QString key() const { return objectName(); }
    QString panelText() const { return m_text; }
    void setPanelText(const QString &text);
    bool panelEnabled() const { return m_enabled; }
    void setPanelEnabled(bool enabled);
    // "" removes the picture.
    QString pictureKey() const { return m_pictureKey; }
    void setPicture(const QString &key);
    int autoSize() const { return m_autoSize; }
    void setAutoSize(int mode);
    int minimumPanelWidth() const { return m_minimumWidth; }
    // The pointer over the panel tells that a click does something; `onlyWhileEnabled`
    // withdraws it while the panel is switched off.
    void setClickable(bool clickable, bool onlyWhileEnabled = false);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void render();
    void applyCursor();

    QString m_text;
    QString m_pictureKey;
    bool m_enabled = true;
    int m_autoSize = ContentsAutoSize;
    int m_minimumWidth = 12;           // what a panel shrinks to without auto-sizing
    bool m_clickable = false;
    bool m_clickableOnlyEnabled = false;
};
