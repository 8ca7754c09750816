#pragma once

// The immediate pane in the command routing. The pane decides and carries out its
// commands without the command library (frmImmediate::commandRule, carryOut); this
// router binds those to the command manager, and the undo button's drop-down to the
// undo list of the code editor. It is header-only on purpose: only the program that
// has a command manager (the main window) compiles it, with the command and editor
// libraries it already links.
//
//   m_immediateRouter = std::make_unique<ImmediateCommandRouter>(immediatePane());
//   cmdMgr->registerChildForm(immediatePane(), m_immediateRouter.get());

#include "activeeditordocument.h"
#include "command.h"
#include "commandcategory.h"
#include "commandmanager.h"
#include "commandui.h"
#include "frmimmediate.h"
#include "frmundolist.h"
#include "icommandrouter.h"
#include "sourceview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

class ImmediateCommandRouter : public ICommandRouter
{
public:
    explicit ImmediateCommandRouter(frmImmediate *pane) : m_pane(pane) {}

    void UpdateUI(Command &cmd, bool &stopRouting) override
    {
        if (!m_pane)
            return;
        const frmImmediate::CommandRule rule = m_pane->commandRule(categoryOf(cmd), cmd.id(), clipboardHasText(cmd));
        if (!rule.applies)
            return;
        cmd.setEnabled(rule.enabled);
        if (rule.state >= 0)
            cmd.setStateValue(rule.state);
        if (rule.stopRouting)
            stopRouting = true;
    }

    void Handle(Command &cmd, CommandUI *context, bool &stopRouting) override
    {
        if (!m_pane || !frmImmediate::carriesOut(cmd.id()))
            return;
        stopRouting = true;
        const frmImmediate::CommandRule rule = m_pane->commandRule(categoryOf(cmd), cmd.id(), clipboardHasText(cmd));
        if (rule.applies) {
            cmd.setEnabled(rule.enabled);
            if (rule.state >= 0)
                cmd.setStateValue(rule.state);
        }
        if (!cmd.enabled())
            return;
        const QString id = cmd.id();
        if (id == QLatin1String("EdUndo") && context && m_pane->commandTarget() == m_pane->IO()) {
            SourceDocument *doc = activeEditorDocument();
            frmUndoList::dropDown(doc ? doc : m_pane->IO()->Document(), context->screenRect());
            return;
        }
        if (id == QLatin1String("FlPrint")) {
            cmd.setStateValue(1);
            QPointer<Command> printing(&cmd);
            m_pane->carryOut(id);
            if (printing)
                cmd.setStateValue(0);
            return;
        }
        stopRouting = m_pane->carryOut(id);
    }

private:
    static QString categoryOf(const Command &cmd)
    {
        return cmd.category() ? cmd.category()->name() : QString();
    }

    // The manager follows the clipboard, so a refresh every quarter second need not ask it.
    static bool clipboardHasText(const Command &cmd)
    {
        if (auto *manager = qobject_cast<CommandManager *>(cmd.parent()))
            return manager->clipboardHasText();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasText();
    }

    QPointer<frmImmediate> m_pane;
};
