#pragma once

#include "debugpanes.h"
#include "paneform.h"

#include <QIcon>
#include <QList>
#include <QPointer>

#include <functional>

class MLink;
class QStackedWidget;
class QTabBar;
class QTreeView;
class VarListModel;
class VarTreeView;

// The variables pane: the variables of one stack level as a tree of names and values,
// on two lists, 1 the level's variables ("VAR*") and 2 its private ones ("VARp"), one
// per tab; the second tab is there only while the server lists private variables.
//
// A fetch runs from Update to UpdateFinished ("VARend"): the session state is -6, the
// stack grid (through stackListEnabled), the list and the tabs are disabled and the list
// does not redraw. The server answers requests in order, so every request sent is queued
// and the rows that arrive belong to the oldest one; the state found before the first
// request comes back after the last "VARend", and only while it is still -6. A "VARend"
// with nothing pending only re-enables the controls.
//
// Rows changed by a whole-list refresh stay highlighted until the next one begins.
// Columns are saved per list ("T1ColWid" i, "T1ColSeq" p, "T2..."), never under the
// plain names, and the selected tab as "TabShowing".
class frmVars : public PaneForm, public IVarsPane
{
    Q_OBJECT
public:
    explicit frmVars(QWidget *parent = nullptr);
    ~frmVars() override;

    // IVarsPane: what the session's dispatcher, the stack pane and the immediate pane drive.
    void Update(int level, const QString &key) override;
    void AddVar(const QString &Root, const QString &NameTip, const QString &ShortName,
                const QString &Follows, int SubscriptLevel, bool IsFormal, bool IsPrivate,
                bool IsTruePrivate, bool IsDefined, bool HasDescendants, const QString &RawValue,
                int Format, const QString &Value, int PropCount) override;
    void UpdateVar(const QString &Root, const QString &ShortName, int SubscriptLevel, bool IsFormal,
                   bool IsPrivate, bool IsTruePrivate, bool IsDefined, bool HasDescendants,
                   const QString &RawValue, int Format, const QString &Value, int PropCount) override;
    void UpdateVarValue(const QString &Root, const QString &Value, int Format) override;
    void RemoveVar(const QString &Root) override;
    void UpdateFinished() override;
    void setPrivateSupported(bool supported) override;
    // Empties both lists and their highlights, ends a fetch still waiting for its
    // "VARend" and puts the caption back to "Variables".
    void Clear() override;

    // The list of the selected tab.
    QTreeView *SelectedList() const;
    QTabBar *TabStrip() const { return m_tabs; }
    // list 1 or 2; null for any other number.
    VarTreeView *list(int listIndex) const;
    VarListModel *listModel(int listIndex) const;
    int currentList() const { return m_currentList; }
    int currentLevel() const { return m_currentLevel; }
    // Requests sent whose "VARend" has not arrived.
    int pendingFetches() const { return int(m_fetches.size()); }

    // The main window enables the lists only while the session is not busy.
    void setListEnabled(bool enabled);
    bool listEnabled() const;

    // Tests listen here; the default is the system beep.
    void setBeeper(std::function<void()> beeper) { m_beeper = std::move(beeper); }

signals:
    // False while a fetch runs: the stack must stay on the level being fetched.
    void stackListEnabled(bool enabled);

protected:
    void saveOwnSettings(Memento &memento) const override;
    void restoreOwnSettings(const Memento &memento) override;

private:
    struct Fetch
    {
        int list;          // whose rows the answer brings
        bool refresh;      // the whole list (key ""), not one node's descendants
        QString key;       // the node whose descendants come; "" for the whole list
    };
    struct RemovedTab
    {
        bool removed = false;
        QString caption;
        QString tip;
        QIcon icon;
    };

    static MLink *link();
    static int sessionState();
    VarListModel *receivingModel() const;
    void beginFetch(const Fetch &fetch);
    void endFetches();
    void releaseControls();
    void reselect();
    void restoreFocus();
    void beep();

    void onTabChanged(int index);
    void onExpandRequested(int listIndex, const QModelIndex &node, bool toggle);
    void onFormatRequested(int listIndex, const QModelIndex &index);
    int tabOfList(int listIndex) const;

    QTabBar *m_tabs;
    QStackedWidget *m_pages;
    VarTreeView *m_views[2];
    VarListModel *m_models[2];
    int m_currentList = 1;             // the selected tab's list
    int m_currentLevel = 0;            // 0 until a level is chosen
    QString m_selectedKey;             // the current row when the fetches began
    int m_savedState = 0;              // the session state before the first pending fetch
    QList<Fetch> m_fetches;            // sent, oldest first; answered in this order
    // Focus when the fetch began, and where disabling the controls moved it: focus is
    // given back only when the user has not moved it meanwhile.
    QPointer<QWidget> m_rememberedFocus;
    QPointer<QWidget> m_focusDuringFetch;
    RemovedTab m_privateTab;           // the second tab while the server has no private list
    std::function<void()> m_beeper;
};
