#include "toolbarcustomizedialog.h"

#include "commandmanager.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

ToolbarCustomizeDialog::ToolbarCustomizeDialog(CommandManager &commands, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_commands(commands)
{
    setObjectName(QStringLiteral("frmCustomize"));
    setWindowTitle(QStringLiteral("Customize"));
    // The main window's CommandsBlocked() looks for its shown tool forms by this mark.
    setProperty("vantrelToolForm", true);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *reset = buttons->addButton(QStringLiteral("&Reset"), QDialogButtonBox::ResetRole);
    buttons->addButton(QDialogButtonBox::Close);
    connect(reset, &QPushButton::clicked, this, &ToolbarCustomizeDialog::Reset);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    rebuild();
}

void ToolbarCustomizeDialog::rebuild()
{
    qDeleteAll(m_boxes);
    m_boxes.clear();
    m_bars.clear();
    auto *box = static_cast<QVBoxLayout *>(layout());
    const QList<QToolBar *> bars = m_commands.toolBars();
    for (int i = 0; i < bars.size(); ++i) {
        QToolBar *bar = bars[i];
        auto *check = new QCheckBox(bar->windowTitle(), this);
        box->insertWidget(i, check);
        m_boxes.append(check);
        m_bars.append(bar);
        connect(check, &QCheckBox::toggled, bar, [bar](bool on) { bar->setVisible(on); });
        // A bar closed or shown elsewhere (the View menu) shows here too.
        connect(bar, &QToolBar::visibilityChanged, check, [check, bar] {
            const QSignalBlocker quiet(check);
            check->setChecked(!bar->isHidden());
        });
    }
    showBars();
}

void ToolbarCustomizeDialog::showBars()
{
    for (int i = 0; i < m_boxes.size(); ++i) {
        const QSignalBlocker quiet(m_boxes[i]);
        m_boxes[i]->setChecked(m_bars[i] && !m_bars[i]->isHidden());
    }
}

void ToolbarCustomizeDialog::Reset()
{
    for (const QPointer<QToolBar> &bar : std::as_const(m_bars)) {
        if (bar)
            bar->setVisible(true);
    }
    showBars();
}

void ToolbarCustomizeDialog::showEvent(QShowEvent *event)
{
    // Bars may have come or gone since the last showing.
    if (m_commands.toolBars().size() != m_boxes.size())
        rebuild();
    else
        showBars();
    QDialog::showEvent(event);
}
