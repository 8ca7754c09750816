#pragma once

#include <QString>
#include <QStringList>

class IStackLevels;
class IVarsPane;
class LinkSession;
class MLink;

// What the dispatcher does outside the link and the two panes: the main window's
// session state, captions and panels, routines and the session's end. The main window
// implements it; tests fake it.
class IDispatchHost
{
public:
    virtual ~IDispatchHost() = default;

    virtual int MState() const = 0;
    // A state write with all its effects (status text, panes, timers).
    virtual void setMState(int state) = 0;
    // The server's own state: stored and shown, without the effects of a change (the
    // window-switch timer, coming forward).
    virtual void refreshMState(int state) = 0;
    virtual void setCaption(const QString &caption) = 0;
    // The "State" panel of the status bar.
    virtual void setStatePanelText(const QString &text) = 0;
    virtual void setHomeEnv(const QString &env) = 0;
    // A command's pressed state (0 up, 1 down): "DbgBreak", "DbgGo", "DbgGoFast".
    virtual void setCommandState(const QString &id, int value) = 0;

    // Shows a routine read-only (type 1 INT): false when it could not be shown.
    virtual bool ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target,
                             bool activate, int type) = 0;
    // Opens one server item the server asks us to show ("ED").
    virtual void openItem(int type, const QString &name, const QString &ns, bool readOnly) = 0;
    // Closes every open routine whose name starts with "@" (code run by an Xecute).
    virtual void closeXecuteRoutines() = 0;
    virtual void setTip(const QString &tipKey, const QString &tipText) = 0;
    virtual void report(const QString &text) = 0;

    // Breakpoint pane: "BPU"/"WPU" reports, the stopping place, sending all to the server.
    virtual void breakpointReport(const QStringList &message) = 0;
    virtual void showBreakpoint(const QString &env, const QString &rtn, const QString &label, int offset) = 0;
    virtual void setBreakpointsOnServer() = 0;

    // False when the user cancelled.
    virtual bool Disconnect(bool canCancel) = 0;
    virtual void EndSessionCleanup() = 0;
    virtual void BringToFore() = 0;

    virtual IVarsPane *vars() = 0;
    virtual IStackLevels *stack() = 0;
};

// The single handler of the server's messages outside a transaction's reply: every
// code with its fields, its effect and its acknowledgement. Also called directly for
// out-of-turn replies a transaction brought back. Fields are read leniently (see
// FieldConversion); an unknown or empty code gets no answer at all.
class MessageDispatcher
{
public:
    MessageDispatcher(MLink &link, IDispatchHost &host);

    void OnMessage(const QStringList &message);

    // The exact texts of the boxes it shows.
    static QString versionMismatchText(const QString &hostVersionText);
    static QString programErrorText(const QString &error, const QString &handler, const QString &level);

    // A server's text as the caption shows it: on one line, control characters as their
    // visible symbols (a line feed as U+240A), others that break lines dropped, and at
    // most CaptionFieldLength characters, cut with "...".
    static QString captionField(const QString &text);
    static constexpr int CaptionFieldLength = 64;

private:
    void dispatch(const QStringList &message);
    // The acknowledgement, in the session the message came in: a handler whose box
    // outlived that session answers nobody.
    void acknowledge();
    void send(const QStringList &message);
    // The message's session is still the link's: after a box (any nested event loop) a
    // handler goes on only while this holds, so nothing of an ended session reaches the
    // window or the server of the next one.
    bool sessionCurrent() const;
    // "VAR+", "VAR=" and "VAR-" are answered only below protocol version 6.
    void acknowledgeVariableRow();

    void greet(const QStringList &message);          // "HI"
    void greetSecond(const QStringList &message);    // "HI2"
    void stop(const QStringList &message);           // "STP", "BRK", "ERR"
    void stackLevel(const QStringList &message, bool isTop);   // "STKtop", "STK"
    void addVariable(const QStringList &message);    // "VAR+"
    void updateVariable(const QStringList &message); // "VAR="
    int propertyCount(const QStringList &message, int flags) const;
    void showServerMessage(const QStringList &message);   // "MSG"
    void slowDown(const QStringList &message);       // "SLO"
    void serverEndsSession(const QStringList &message);   // "BYE"
    void redirect(const QStringList &message);       // "REDIR"
    static QString brandDisplayName(const QString &brand);

    // No state beyond these two: a handler that shows a box runs an event loop, and the
    // messages dispatched inside it must find nothing half-done here.
    MLink &m_link;
    IDispatchHost &m_host;
    const LinkSession *m_session = nullptr;   // the session of the message being handled
};
