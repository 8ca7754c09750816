#pragma once

// Real code windows (frmCode) on routine documents under the offscreen platform, with a
// main window that records what the windows ask of it.

#include "docfixtures.h"
#include "frmcode.h"
#include "imainwindow.h"
#include "iroutinedoc.h"
#include "itipwindow.h"
#include "sourceview.h"

#include <QCoreApplication>
#include <QMap>
#include <QStringList>

#include <gtest/gtest.h>

// The main window as the code windows see it: menu items by name, pop-ups, commands,
// window switching and the session state, all recorded.
class FakeMainWindow : public IMainWindow
{
public:
    struct MenuItem
    {
        bool checked = false, enabled = true, visible = true;
        QString caption, tag;
    };

    void PreviewKeyDown(int &, int &) override {}
    void PreviewKeyPress(int &) override {}
    int MState() const override { return state; }
    void setMState(int s) override { state = s; states << s; }
    bool MBusy() const override { return busy; }
    MLink *link() const override { return nullptr; }
    void StatusText(const QString &text) override { statusTexts << text; }
    void startRelayoutTimer() override {}
    bool Linewise() const override { return false; }
    bool SwitchToReportOnSaveError() const override { return false; }
    void executeCommand(const QString &id) override { commands << id; }

    void NextChild() override { switches << QStringLiteral("next"); }
    void PreviousChild() override { switches << QStringLiteral("previous"); }
    bool menuItemChecked(const QString &item) const override { return items.value(item).checked; }
    void setMenuItemChecked(const QString &item, bool c) override { items[item].checked = c; }
    bool menuItemEnabled(const QString &item) const override { return items.value(item).enabled; }
    void setMenuItemEnabled(const QString &item, bool e) override { items[item].enabled = e; }
    bool menuItemVisible(const QString &item) const override { return items.value(item).visible; }
    void setMenuItemVisible(const QString &item, bool v) override { items[item].visible = v; }
    void setMenuItemCaption(const QString &item, const QString &c) override { items[item].caption = c; }
    void setMenuItemTag(const QString &item, const QString &t) override { items[item].tag = t; }
    void popUpMenu(const QString &menu, QWidget *, const QPoint &, const QString &defaultItem) override
    {
        popUps << menu + QLatin1Char('|') + defaultItem;
    }
    bool isPreservedDocument(const IRoutineDoc *doc) const override
    {
        return doc && preserved.contains(doc->Key());
    }
    // The document is still alive here: the caller's collection holds it until onRelease.
    void releasePreservedDocument(const IRoutineDoc *doc) override
    {
        const QString key = doc->Key();
        preserved.removeAll(key);
        released << key;
        if (onRelease)
            onRelease(key);
    }
    void clearGoToLists() override { ++goToClears; }
    void ShowAtTag(const QString &target, bool recordIt, bool editable) override
    {
        tags << QStringLiteral("%1|%2|%3").arg(target).arg(recordIt).arg(editable);
    }
    QString newestHistoryEntry() const override { return newest; }

    int state = 3;
    bool busy = false;
    QList<int> states;
    QStringList statusTexts, commands, switches, popUps, tags, preserved, released;
    QMap<QString, MenuItem> items;
    QString newest;
    int goToClears = 0;
    // What letting go of a preserved document does to the collection that holds it.
    std::function<void(const QString &)> onRelease;
};

// Routine documents in real code windows, the main window above them and the breakpoints
// pane sending its "BP" frames on the routine's link.
class CodeWindowTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        setMainWindow(&main);
        frmCode::setRoutineCollection(routines.get());
        frmCode::setBeeper([this] { ++beeps; });
        pane = std::make_unique<FakeBreakpointsPane>(routines.get());
        pane->send = [this](const QStringList &fields) { link.Send(fields); };
        DocServices &s = docServices();
        s.codeWindowFactory = frmCode::factory();
        s.breakpoints = pane.get();
        s.stack = &stack;
        s.reportPane = [this] { return &report; };
    }
    void TearDown() override
    {
        RoutineDocTest::TearDown();
        setMainWindow(nullptr);
        frmCode::setRoutineCollection(nullptr);
        frmCode::setBeeper({});
    }

    // Opens routine `rtn` in a shown code window of 500 x 300 pixels; the link's log
    // starts empty.
    std::shared_ptr<Routine> open(const QStringList &lines, const QString &rtn = QStringLiteral("ABC"),
                                  int typ = 1)
    {
        auto routine = openRoutine(&link, rtn, lines.join(QStringLiteral("\r\n")), typ);
        routine->setVisible(true);
        window(*routine)->MeX()->resize(500, 300);
        QCoreApplication::processEvents();
        link.log.clear();
        return routine;
    }
    static frmCode *window(Routine &routine) { return dynamic_cast<frmCode *>(routine.Window()); }

    // Device pixels of the left edge of the character cell at (column, line), 0-based.
    static QPoint cell(SourceView *view, int column, int line)
    {
        int x = 0, y = 0;
        view->DocToDevice(column, line, x, y);
        return {x, y + view->CharHeight() / 2};
    }

    FakeMainWindow main;
    FakeDocLink link;
    std::unique_ptr<FakeBreakpointsPane> pane;
    FakeStackPane stack;
    FakeReportPane report;
    int beeps = 0;
};
