#pragma once

#include "imainwindow.h"

#include <QList>

// The main window as a pane sees it in a test: a session state the pane reads and
// writes (every write recorded, in order), the link it sends on, and nothing else.
// Tests that need more override the members they watch.
class SessionWindow : public IMainWindow
{
public:
    void PreviewKeyDown(int &, int &) override {}
    void PreviewKeyPress(int &) override {}
    int MState() const override { return state; }
    void setMState(int s) override
    {
        state = s;
        states << s;
    }
    bool MBusy() const override { return state < 0; }
    MLink *link() const override { return session; }
    void StatusText(const QString &) override {}
    void startRelayoutTimer() override {}
    bool Linewise() const override { return false; }
    bool SwitchToReportOnSaveError() const override { return false; }
    void executeCommand(const QString &) override {}

    int state = 1;
    QList<int> states;        // every assignment, in order
    MLink *session = nullptr;
};
