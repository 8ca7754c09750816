#include "formfactory.h"

#include "frmbreakpoints.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "panedock.h"

#include <QMainWindow>

namespace {

const QString MainWindowForm = QStringLiteral("frmMDI");
const QString MainWindowInstance = QStringLiteral("gfrmMDI");
const QString StackForm = QStringLiteral("frmStack");
const QString VarsForm = QStringLiteral("frmVars");
const QString ImmediateForm = QStringLiteral("frmImmediate");
const QString BreakpointsForm = QStringLiteral("frmBreakpoints");

// Null and Empty read as False.
bool readsTrue(const QVariant &metadata)
{
    return metadata.isValid() && !metadata.isNull() && metadata.toBool();
}

} // namespace

FormFactory::FormFactory(QMainWindow *mainWindow)
    : m_mainWindow(mainWindow)
{
}

FormFactory::~FormFactory()
{
    for (const QPointer<PaneForm> &pane : std::as_const(m_detached)) {
        if (pane && !pane->parent())
            delete pane.data();
    }
}

QObject *FormFactory::CreateInstance(const QString &formId, const QVariant &metadata)
{
    if (formId == MainWindowForm)
        return m_mainWindow;
    if (readsTrue(metadata))
        return defaultPane(formId);
    return newPane(formId);
}

QVariant FormFactory::GetMetadata(const QString &formId, QObject *form)
{
    if (formId == MainWindowInstance)
        return form == m_mainWindow;
    if (PaneForm *pane = defaultPane(formId))
        return form == pane;
    return QVariant();
}

frmStack *FormFactory::stackPane()
{
    return defaultInstance(m_stack);
}

frmVars *FormFactory::varsPane()
{
    return defaultInstance(m_vars);
}

frmImmediate *FormFactory::immediatePane()
{
    return defaultInstance(m_immediate);
}

frmBreakpoints *FormFactory::breakpointsPane()
{
    return defaultInstance(m_breakpoints);
}

PaneForm *FormFactory::defaultPane(const QString &name)
{
    if (name == StackForm)
        return stackPane();
    if (name == VarsForm)
        return varsPane();
    if (name == ImmediateForm)
        return immediatePane();
    if (name == BreakpointsForm)
        return breakpointsPane();
    return nullptr;
}

PaneForm *FormFactory::newPane(const QString &name)
{
    PaneForm *pane = nullptr;
    if (name == StackForm)
        pane = new frmStack;
    else if (name == VarsForm)
        pane = new frmVars;
    else if (name == ImmediateForm)
        pane = new frmImmediate;
    else if (name == BreakpointsForm)
        pane = new frmBreakpoints;
    if (pane) {
        m_detached.removeIf([](const QPointer<PaneForm> &p) { return p.isNull(); });
        m_detached.append(pane);
    }
    return pane;
}

template<class Pane>
Pane *FormFactory::defaultInstance(QPointer<Pane> &slot)
{
    if (!slot) {
        slot = new Pane;
        new PaneDock(slot, m_mainWindow);
    }
    return slot;
}
