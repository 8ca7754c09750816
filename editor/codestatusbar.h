#pragma once

#include <QStringList>
#include <QWidget>

class CodeStatusPanel;

// The status bar under a code window's editor, its panels keyed "Pos", "Overwrite",
// "Modified", "Wrap", "Parse", "Blocks" and "Edit", left to right; "Pos" takes the
// spare width.
class CodeStatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit CodeStatusBar(QWidget *parent = nullptr);

    static const QStringList &panelKeys();
    // Null for a key that is not a panel.
    CodeStatusPanel *panel(const QString &key) const;

signals:
    void PanelClick(const QString &key);

private:
    QList<CodeStatusPanel *> m_panels;
};
