#pragma once

// The main window as the immediate pane reaches it, and readers of the execute view's
// lines, for the immediate pane's tests.

#include "frmimmediate.h"
#include "sessionwindow.h"
#include "linedata.h"
#include "sourceview.h"

#include <QMap>
#include <QStringList>

#include <functional>

// Records what the pane asks of the main window: every state it sets, the commands it
// runs, the windows it switches to and the menus it pops up.
class ImmediateWindow : public SessionWindow
{
public:
    void PreviewKeyDown(int &KeyCode, int &Shift) override
    {
        if (previewKeyDown)
            previewKeyDown(KeyCode, Shift);
    }
    void PreviewKeyPress(int &KeyAscii) override
    {
        if (previewKeyPress)
            previewKeyPress(KeyAscii);
    }
    bool SwitchToReportOnSaveError() const override { return switchToReport; }
    void executeCommand(const QString &id) override { executed << id; }
    void NextChild() override { children << QStringLiteral("next"); }
    void PreviousChild() override { children << QStringLiteral("previous"); }
    bool menuItemChecked(const QString &name) const override { return checked.value(name); }
    void setMenuItemChecked(const QString &name, bool on) override { checked[name] = on; }
    bool menuItemEnabled(const QString &name) const override { return enabled.value(name, true); }
    void setMenuItemEnabled(const QString &name, bool on) override { enabled[name] = on; }
    void popUpMenu(const QString &menu, QWidget *owner, const QPoint &, const QString &) override
    {
        popups << menu;
        popupOwner = owner;
    }

    bool switchToReport = true;
    QStringList executed;
    QStringList children;
    QMap<QString, bool> checked;
    QMap<QString, bool> enabled;
    QStringList popups;
    QWidget *popupOwner = nullptr;
    std::function<void(int &, int &)> previewKeyDown;
    std::function<void(int &)> previewKeyPress;
};

inline QStringList ioLines(const frmImmediate &pane)
{
    QStringList lines;
    const SourceDocument *doc = pane.IO()->Document();
    for (int line = 0; line < doc->NumLines(); ++line)
        lines << doc->GetLine(line);
    return lines;
}

// Slot 1 of each line: 1 a command line, 0 output.
inline QList<int> ioFlags(const frmImmediate &pane)
{
    QList<int> flags;
    const SourceDocument *doc = pane.IO()->Document();
    for (int line = 0; line < doc->NumLines(); ++line)
        flags << doc->GetLineData(line, LineData::kFlagSlot);
    return flags;
}

// Lines loaded into IO as they would stand after earlier commands: flag 1 on the
// command lines, the caret on the last line.
inline void loadIO(frmImmediate &pane, const QStringList &lines, const QList<int> &flags)
{
    SourceDocument *doc = pane.IO()->Document();
    doc->Initialize();
    doc->InsertImpl(0, 0, lines.join(QLatin1Char('\n')));
    for (int line = 0; line < flags.size(); ++line)
        doc->SetLineData(line, LineData::kFlagSlot, flags[line]);
    const int last = doc->NumLines() - 1;
    pane.IO()->SetCaret(doc->GetLineLength(last), last);
}
