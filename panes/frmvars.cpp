#include "frmvars.h"

#include "columnlayout.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("Variables");
const QString List1Prefix = QStringLiteral("T1");

} // namespace

frmVars::frmVars(QWidget *parent)
    : PaneForm(parent)
    , m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("frmVars"));
    setWindowTitle(Caption);
    m_list->setObjectName(QStringLiteral("Vars1"));
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
}

void frmVars::setListEnabled(bool enabled)
{
    m_list->setEnabled(enabled);
}

bool frmVars::listEnabled() const
{
    return m_list->isEnabled();
}

void frmVars::Clear()
{
    m_list->clear();
    setWindowTitle(Caption);
}

void frmVars::saveOwnSettings(Memento &memento) const
{
    ColumnLayout::save(*m_list->header(), memento, List1Prefix);
}

void frmVars::restoreOwnSettings(const Memento &memento)
{
    ColumnLayout::restore(*m_list->header(), memento, List1Prefix);
}
