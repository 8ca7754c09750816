#pragma once

#include "dialoghost.h"
#include "docservices.h"
#include "icommandrouter.h"
#include "imainwindow.h"
#include "imementoorigin.h"
#include "itransactui.h"
#include "keyedcollection.h"
#include "linksession.h"
#include "messagedispatcher.h"
#include "routines.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QPair>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class AddInConnect;
class CommandManager;
class EditorSettings;
class FormFactory;
class IAddInHost;
class ISentryBooking;
class IPaneState;
class InputGuard;
class MainMenus;
class MLink;
class MLinkDocLink;
class RoutineNavigator;
class MdiHost;
class PersistRegistry;
class PersistStorage;
class SocketX;
class VanNgine;
class VbTimer;
class frmAttach;
class frmBreakpoints;
class frmConnect;
class frmContextTip;
class frmFileOpen;
class frmFileSaveAs;
class frmImmediate;
class frmStack;
class frmVars;
class sbrStatus;
class StatusPanel;
class QAction;
class QKeyEvent;

// The main window: the multiple-document frame that owns the session link, the
// listening socket, the open documents, the panes, the four server dialogs and the
// booking with the Sentry.
//
// Life cycle: the constructor is the window's initialisation; ensureLoaded() runs its
// load once (Qt has no implicit form load: the "SQ" start and the first Listen both
// call it); closeEvent is the close request, which may be cancelled; unload() ends it.
// A load or listening failure shows its box and ends the program through
// AddIn::endProgram. Everything runs on the one GUI thread; no exception leaves a slot.
class frmMDI : public QMainWindow,
               public IMainWindow,
               public IDocumentHost,
               public IViewDefaults,
               public ITransactUi,
               public IMementoOrigin,
               public ICommandRouter,
               public IDispatchHost,
               public IDialogHost
{
    Q_OBJECT
    Q_PROPERTY(QObject *OtxCBHelper READ OtxCBHelper WRITE setOtxCBHelper)
public:
    static constexpr const char *SavedStateName = "Duzezo 2.3";
    static constexpr const char *RegistryRoot = "Software\\Brindlecote\\Vantrel";

    // Messages of the window, exact.
    static QString engineFailureText();
    static QString versionMismatchText(const QString &ownVersion, const QString &engineVersion);
    static QString ownVersionText();
    static QString loadFailureText(qint32 number, const QString &description);
    static QString bookingFailureText(qint32 number, const QString &description);
    static QString preservedCloseQuestion();
    // The box after a session ended abruptly, listing the documents it preserved.
    static QString abruptEndText(const QStringList &displayNames);

    explicit frmMDI(QWidget *parent = nullptr);
    ~frmMDI() override;

    // Runs the load once; false when it failed (the program is ending).
    bool ensureLoaded();
    bool isLoaded() const { return m_loaded; }
    // Unload: the dialogs go, gfrmMDI is emptied, the registrations are taken back.
    void unload();
    // Unloading the main window ends the program.
    void unloadAndEnd(int exitCode = 1);

    // --- the session state --------------------------------------------------------
    int MState() const override { return m_state; }
    void setMState(int state) override;
    // Stores the state without any effect of a state write (initialisation, "MSTATE").
    void storeMState(int state) { m_state = state; }
    bool MBusy() const override;
    QString HomeEnv() const { return m_homeEnv; }
    MdiHost *MeX() const { return m_mdi; }
    QObject *OtxCBHelper() const { return m_otxCBHelper; }
    void setOtxCBHelper(QObject *helper) { m_otxCBHelper = helper; }
    void BringToFore() override;

    // --- listening and accepting ------------------------------------------------
    void StatusText(const QString &text) override;
    QString statusText() const;

    // --- settings, timers and keys ------------------------------------------------
    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;
    void PreviewKeyDown(int &KeyCode, int &Shift) override;
    void PreviewKeyPress(int &KeyAscii) override;
    // A key of the key tables above: code windows and panes keep it from the menus.
    static bool isCommandKey(const QKeyEvent *event);
    // The command a key of the key tables runs; empty for any other key.
    static QString commandForKey(const QKeyEvent *event);
    // Every key of the key tables with its command, for the help's key table to be
    // checked against.
    static QList<QPair<QKeySequence, QString>> commandKeys();
    bool CommandsBlocked() const;
    bool settingsRestored() const { return m_settingsRestored; }

    // --- IMainWindow ------------------------------------------------------------------
    MLink *link() const override { return m_link; }
    void startRelayoutTimer() override;
    bool Linewise() const override;
    bool SwitchToReportOnSaveError() const override;
    void executeCommand(const QString &id) override;

    // --- IDocumentHost ----------------------------------------------------------------
    bool ServerPrompt(QStringList &fields) override;
    int documentWindowCount() const override;
    bool anyDocumentWindowVisible() const override;
    bool documentTabsShown() const override;
    bool mainWindowMinimised() const override;
    void restoreMainWindow() override;
    bool applicationActive() const override;

    // --- what the code windows call ------------------------------------------------------
    QMdiSubWindow *addDocumentWindow(QWidget *content) override;
    void NextChild() override;
    void PreviousChild() override;
    bool menuItemChecked(const QString &name) const override;
    void setMenuItemChecked(const QString &name, bool checked) override;
    bool menuItemEnabled(const QString &name) const override;
    void setMenuItemEnabled(const QString &name, bool enabled) override;
    bool menuItemVisible(const QString &name) const override;
    void setMenuItemVisible(const QString &name, bool visible) override;
    void setMenuItemCaption(const QString &name, const QString &caption) override;
    void setMenuItemTag(const QString &name, const QString &tag) override;
    void popUpMenu(const QString &menu, QWidget *owner, const QPoint &point, const QString &defaultItem) override;
    bool goToBoxActive() const override;
    void goToBoxKeyDown(int keyCode) override;
    void goToBoxKeyPress(int keyAscii) override;
    void clearGoToLists() override;
    bool isPreservedDocument(const IRoutineDoc *doc) const override;
    void releasePreservedDocument(const IRoutineDoc *doc) override;
    void ShowAtTag(const QString &target, bool recordIt, bool editable) override;
    bool ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target, bool activate,
                     int type) override;
    QString newestHistoryEntry() const override;
    void ClearAllTips() override;
    QFont dialogFont() const override;
    QFont codeFont() const override;
    // A menu item by its name ("mnuPopCodeGoto", "mnuFileRecent(3)"); null when none.
    QAction *menuItem(const QString &name) const;
    MainMenus *menus() const { return m_menus; }
    // The code font chosen: kept as the setting, given to the immediate pane's command
    // view and to every open routine, frozen and preserved copies included.
    void applyCodeFont(const QFont &font, int charset);

    // --- IDialogHost (the server dialogs) ------------------------------------------------
    bool EditRoutine(const QString &name, const QString &ns, bool &wasReadOnly, int type,
                     QString &displayName) override;
    bool ShowRoutine(const QString &name, const QString &ns, int type, QString &displayName) override;
    void UpdateRecent() override;
    void Listen() override;
    QString LocalAddress() const override;
    quint16 SentryPort() const override;
    QWidget *dialogParent() const override { return const_cast<frmMDI *>(this); }

    // --- IDispatchHost (the server's messages) ------------------------------------------
    void refreshMState(int state) override;
    void setCaption(const QString &caption) override;
    void setStatePanelText(const QString &text) override;
    void setHomeEnv(const QString &env) override { m_homeEnv = env; }
    void setCommandState(const QString &id, int value) override;
    void openItem(int type, const QString &name, const QString &ns, bool readOnly) override;
    void closeXecuteRoutines() override;
    void setTip(const QString &tipKey, const QString &tipText) override;
    void report(const QString &text) override;
    void breakpointReport(const QStringList &message) override;
    void showBreakpoint(const QString &env, const QString &rtn, const QString &label, int offset) override;
    void setBreakpointsOnServer() override;
    bool Disconnect(bool canCancel) override;
    void EndSessionCleanup() override;
    IVarsPane *vars() override;
    IStackLevels *stack() override;
    MessageDispatcher *dispatcher() const { return m_dispatcher.get(); }

    // --- IViewDefaults (the View menu's check marks) ------------------------------------
    bool lineWrap() const override { return m_codeWrap; }
    bool richSource() const override { return m_viewRich; }
    bool viewBlocks() const { return m_viewBlocks; }

    // --- ITransactUi --------------------------------------------------------------------
    void begin() override;
    void end() override;

    // --- ICommandRouter (the main window routes last) -------------------------------------
    void Handle(Command &cmd, CommandUI *context, bool &stopRouting) override;
    void UpdateUI(Command &cmd, bool &stopRouting) override;

    // The window's parts, for the program and its tests.
    CommandManager *cmdMgr() const { return m_cmdMgr; }
    SocketX *mtcpListen() const { return m_listen; }
    ISentryBooking *booking() const { return m_booking.get(); }
    EditorSettings *editorSettings() const override { return m_editorSettings; }
    VanNgine *startupEngine() const { return m_engine.get(); }
    sbrStatus *statusBarPanels() const { return m_status; }
    frmStack *stackPane() const;
    frmVars *varsPane() const;
    frmImmediate *immediatePane() const;
    frmBreakpoints *breakpointsPane() const;
    const QList<IPaneState *> &paneCollection() const { return m_panes; }
    frmFileOpen *fileOpenDialog() const { return m_fileOpen; }
    frmFileSaveAs *fileSaveAsDialog() const { return m_fileSaveAs; }
    frmConnect *connectDialog() const { return m_connect; }
    frmAttach *attachDialog() const { return m_attach; }
    VbTimer *keepAliveTimer() const { return m_tmrKeepAlive; }
    VbTimer *windowSwitchTimer() const { return m_tmrWindowSwitch; }
    VbTimer *relayoutTimer() const { return m_tmrJiggle; }
    quint64 rememberedWindow() const { return m_foregroundWindow; }
    qint64 rememberedProcessId() const { return m_foregroundPid; }
    quint64 switchBackWindow() const { return m_switchBackWindow; }
    KeyedCollection<RoutineDocPtr> &preservedDocuments() { return m_preserved; }
    RoutineNavigator *navigator() const { return m_navigator.get(); }
    MLinkDocLink *docLink() const { return m_docLink.get(); }
    QList<QAction *> recentMenuItems() const { return m_recentItems; }
    int codeFontCharset() const { return m_codeFontCharset; }
    int dialogFontCharset() const { return m_dialogFontCharset; }

    IAddInHost *VBInst = nullptr;
    AddInConnect *Connect = nullptr;

    // Test seams: a failure while registering the persistent objects.
    static void setRegistrationHook(std::function<void()> hook);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initialise();
    void load();
    void buildDefaultLayout();
    void registerPersistentObjects();
    void createPanes();
    void checkEngine();
    void failLoad(const QString &text);
    bool requestClose();
    void stopTimers();
    void registerServices();
    void registerContextTip();
    void unregisterServices();

    void applyStateChange(int state);
    void refreshState(int state);

    void mtcpListen_Accept(int handle);
    void MLink_OnConnect();
    void MLink_BeforeClose();
    void MLink_OnClose();
    // Files a modified document of a link that dropped among the preserved ones: under
    // its key, or a distinct one when an earlier drop already preserved that key.
    void preserve(const RoutineDocPtr &doc);
    void StatusPanelClick(StatusPanel *panel);
    // The View menu's ticks are settings of this window; null for any other item.
    bool *viewTick(const QString &name);

    // The session current now, for what the user's command says to its server at once.
    LinkSession currentSession() const;

    void tmrJiggle_Timer();
    void tmrKeepAlive_Timer();
    void tmrWindowSwitch_Timer();
    void runKeyCommand(const QString &id, bool runCommand);
    // The View commands: a pane shown (when closed) and given the focus.
    void showPane(const QString &id);

    // Initialisation.
    EditorSettings *m_editorSettings = nullptr;
    KeyedCollection<RoutineDocPtr> m_preserved;   // modified documents kept after a link dropped
    MLink *m_link = nullptr;
    std::unique_ptr<MLinkDocLink> m_docLink;      // the link as the documents see it
    std::unique_ptr<RoutineNavigator> m_navigator;  // showing routines and the way back
    std::unique_ptr<MessageDispatcher> m_dispatcher;  // the server's messages outside transactions
    std::unique_ptr<ICommandRouter> m_immediateRouter;  // the immediate pane's commands
    SocketX *m_listen = nullptr;
    std::unique_ptr<VanNgine> m_engine;           // the start-up engine, kept for the immediate pane
    frmFileOpen *m_fileOpen = nullptr;
    frmFileSaveAs *m_fileSaveAs = nullptr;
    frmConnect *m_connect = nullptr;
    frmAttach *m_attach = nullptr;
    frmContextTip *m_contextTip = nullptr;       // the one hover tip every code window shows
    int m_state = -1;

    // Load.
    CommandManager *m_cmdMgr = nullptr;
    MdiHost *m_mdi = nullptr;
    sbrStatus *m_status = nullptr;
    std::unique_ptr<FormFactory> m_formFactory;
    std::unique_ptr<PersistRegistry> m_registry;
    std::unique_ptr<PersistStorage> m_storage;
    std::unique_ptr<ISentryBooking> m_booking;    // kept for the life of the process
    QList<IPaneState *> m_panes;                  // Breakpoints, Immediate, Stack, Vars
    QList<QAction *> m_recentItems;               // element 0 the separator, 1..9 the items
    bool m_loaded = false;
    bool m_loadFailed = false;
    bool m_settingsRestored = false;              // set by the memento restore
    bool m_unloaded = false;

    // The foreground window when the Sentry started this task or a session was
    // accepted, and its process: the debugger comes forward only over that process.
    quint64 m_foregroundWindow = 0;
    qint64 m_foregroundPid = 0;
    quint64 m_switchBackWindow = 0;               // where the focus goes back to while running
    QString m_homeEnv;
    QPointer<QObject> m_otxCBHelper;

    MainMenus *m_menus = nullptr;                 // the menu bar and the pop-ups
    // The View menu's check marks are settings of the window; the items show them.
    bool m_codeWrap = false;
    bool m_viewRich = true;
    bool m_viewBlocks = true;
    // Qt fonts have no character set; it is kept for the round trip and the OEM rule.
    int m_codeFontCharset = 0;
    int m_dialogFontCharset = 0;

    VbTimer *m_tmrJiggle = nullptr;
    VbTimer *m_tmrKeepAlive = nullptr;
    VbTimer *m_tmrWindowSwitch = nullptr;
    int m_transactDepth = 0;                      // begin/end may nest
    QPointer<QWidget> m_focusBeforeTransact;      // switching the window off loses it
    InputGuard *m_inputGuard = nullptr;           // drops what was given during a wait
};
