#include "frmbreakpoints.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

frmBreakpoints::frmBreakpoints(QWidget *parent)
    : PaneForm(parent)
    , m_bpList(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("frmBreakpoints"));
    setWindowTitle(QStringLiteral("Breakpoints"));
    m_bpList->setObjectName(QStringLiteral("BPList"));
    m_bpList->setHeaderLabels({QString(), QStringLiteral("Line"), QStringLiteral("Routine"),
                               QStringLiteral("Cmd"), QStringLiteral("Delay"),
                               QStringLiteral("Condition")});
    m_bpList->setRootIsDecorated(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bpList);
}

QHeaderView *frmBreakpoints::columnHeader() const
{
    return m_bpList->header();
}
