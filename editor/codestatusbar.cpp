#include "codestatusbar.h"

#include "codestatuspanel.h"

#include <QHBoxLayout>

CodeStatusBar::CodeStatusBar(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(1);
    for (const QString &key : panelKeys()) {
        auto *panel = new CodeStatusPanel(key, this);
        layout->addWidget(panel, key == QLatin1String("Pos") ? 1 : 0);
        connect(panel, &CodeStatusPanel::clicked, this, [this, key] { emit PanelClick(key); });
        m_panels.append(panel);
    }
    // The switches and the caret position take clicks; "Overwrite" only while it is on.
    for (const char *key : {"Pos", "Wrap", "Parse", "Blocks"})
        panel(QLatin1String(key))->setClickable(true);
    panel(QStringLiteral("Overwrite"))->setClickable(true, true);
    panel(QStringLiteral("Wrap"))->setPanelText(tr("Wrap"));
    panel(QStringLiteral("Parse"))->setPanelText(tr("Parse"));
    panel(QStringLiteral("Blocks"))->setPanelText(tr("Blocks"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

const QStringList &CodeStatusBar::panelKeys()
{
    static const QStringList keys = {QStringLiteral("Pos"),  QStringLiteral("Overwrite"),
                                     QStringLiteral("Modified"), QStringLiteral("Wrap"),
                                     QStringLiteral("Parse"), QStringLiteral("Blocks"),
                                     QStringLiteral("Edit")};
    return keys;
}

CodeStatusPanel *CodeStatusBar::panel(const QString &key) const
{
    for (CodeStatusPanel *p : m_panels)
        if (p->key() == key)
            return p;
    return nullptr;
}
