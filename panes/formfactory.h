#pragma once

#include "iformfactory.h"

#include <QList>
#include <QPointer>

class frmBreakpoints;
class frmImmediate;
class frmStack;
class frmVars;
class PaneForm;
class QMainWindow;

// Hands out the main window and the four panes by name, for the settings library and
// for the main window itself.
//
// CreateInstance: "frmMDI" is always the one main window (a second one would open a
// second link, listener and Sentry booking). "frmStack", "frmImmediate", "frmVars" and
// "frmBreakpoints" with Metadata True give the pane's default instance, made on first
// request in its PaneDock (object name = pane name) as a child of the main window but
// not yet placed in a dock area: the main window docks it. Metadata False or Null gives
// a new pane without a dock each time. The caller may delete such a pane or give it a
// parent; one that still has neither when the factory goes is deleted with it, so
// a caller that relies on the factory keeping ownership leaks nothing. Other names give
// null.
//
// GetMetadata: for "gfrmMDI" and the pane names, whether the form is that name's default
// instance (a pane's is made first); an invalid QVariant for other names.
class FormFactory : public IFormFactory
{
public:
    explicit FormFactory(QMainWindow *mainWindow);
    ~FormFactory() override;

    QObject *CreateInstance(const QString &formId, const QVariant &metadata) override;
    QVariant GetMetadata(const QString &formId, QObject *form) override;

    // The default instances, made on first use.
    frmStack *stackPane();
    frmVars *varsPane();
    frmImmediate *immediatePane();
    frmBreakpoints *breakpointsPane();

private:
    PaneForm *defaultPane(const QString &name);
    PaneForm *newPane(const QString &name);
    template<class Pane>
    Pane *defaultInstance(QPointer<Pane> &slot);

    QMainWindow *m_mainWindow;   // not owned; it owns the default panes' docks
    QPointer<frmStack> m_stack;
    QPointer<frmVars> m_vars;
    QPointer<frmImmediate> m_immediate;
    QPointer<frmBreakpoints> m_breakpoints;
    QList<QPointer<PaneForm>> m_detached;   // handed out without a parent
};
