#include "frmstack.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

frmStack::frmStack(QWidget *parent)
    : PaneForm(parent)
    , m_stack(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("frmStack"));
    setWindowTitle(QStringLiteral("Stack"));
    m_stack->setObjectName(QStringLiteral("Stack"));
    m_stack->setHeaderLabels({QStringLiteral("Lvl"), QStringLiteral("Line"), QStringLiteral("Routine")});
    m_stack->setRootIsDecorated(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
}

void frmStack::ClearCurrentLineMarker()
{
}

void frmStack::SetCurrentLineMarker()
{
}

void frmStack::ResetStack()
{
    m_stack->clear();
}

QHeaderView *frmStack::columnHeader() const
{
    return m_stack->header();
}
