// The server's messages as the session dispatches them: each code's effect on the main
// window and the panes and its answer on the link, against a real link accepted from the
// scripted M server; the greeting byte by byte in both framings; and a frame that comes
// while a box is up.

#include "debugpanes.h"
#include "fieldconversion.h"
#include "messagedispatcher.h"
#include "mlink.h"
#include "module1.h"
#include "mserver.h"
#include "programsettings.h"
#include "recordingprompt.h"
#include "stacklevel.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>

using namespace mserver;
using Buttons = IUserPrompt::Buttons;
using Icon = IUserPrompt::Icon;

// Readable failures: gtest prints a QStringList element by element through this.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QStringList ack;

QString entry(const QString &name, const QStringList &args = {})
{
    return name + QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString num(qint64 n) { return QString::number(n); }
QString bit(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }

QString box(const QString &title, const QString &text, Buttons buttons, Icon icon)
{
    return entry(QStringLiteral("box"), {title, text, num(int(buttons)), num(int(icon))});
}

class FakeVars : public IVarsPane
{
public:
    explicit FakeVars(QStringList &calls) : m_calls(calls) {}
    void Update(int level, const QString &key) override { m_calls << entry("vars.Update", {num(level), key}); }
    void AddVar(const QString &Root, const QString &NameTip, const QString &ShortName, const QString &Follows,
                int SubscriptLevel, bool IsFormal, bool IsPrivate, bool IsTruePrivate, bool IsDefined,
                bool HasDescendants, const QString &RawValue, int Format, const QString &Value,
                int PropCount) override
    {
        m_calls << entry("AddVar", {Root, NameTip, ShortName, Follows, num(SubscriptLevel), bit(IsFormal),
                                   bit(IsPrivate), bit(IsTruePrivate), bit(IsDefined), bit(HasDescendants),
                                   RawValue, num(Format), Value, num(PropCount)});
    }
    void UpdateVar(const QString &Root, const QString &ShortName, int SubscriptLevel, bool IsFormal,
                   bool IsPrivate, bool IsTruePrivate, bool IsDefined, bool HasDescendants,
                   const QString &RawValue, int Format, const QString &Value, int PropCount) override
    {
        m_calls << entry("UpdateVar", {Root, ShortName, num(SubscriptLevel), bit(IsFormal), bit(IsPrivate),
                                      bit(IsTruePrivate), bit(IsDefined), bit(HasDescendants), RawValue,
                                      num(Format), Value, num(PropCount)});
    }
    void UpdateVarValue(const QString &Root, const QString &Value, int Format) override
    {
        m_calls << entry("UpdateVarValue", {Root, Value, num(Format)});
    }
    void RemoveVar(const QString &Root) override { m_calls << entry("RemoveVar", {Root}); }
    void UpdateFinished() override { m_calls << entry("UpdateFinished"); }
    void setPrivateSupported(bool supported) override { m_calls << entry("setPrivateSupported", {bit(supported)}); }
    void Clear() override { m_calls << entry("vars.Clear"); }

private:
    QStringList &m_calls;
};

class FakeStack : public IStackLevels
{
public:
    explicit FakeStack(QStringList &calls) : m_calls(calls) {}
    void Update(const StackLevelPtr &l, bool treatAsTop) override
    {
        m_calls << entry("stack.Update", {num(l->Number), l->Env, l->Rtn, l->Label, num(l->Offset),
                                         num(l->CharPos), bit(treatAsTop)});
    }
    void ShowLevel(int levelNumber, bool activate) override
    {
        m_calls << entry("stack.ShowLevel", {num(levelNumber), bit(activate)});
    }
    void ResetStack() override { m_calls << entry("stack.ResetStack"); }

private:
    QStringList &m_calls;
};

// The main window: every call in one log, with the panes' and the boxes'.
class FakeHost : public IDispatchHost
{
public:
    int MState() const override { return state; }
    void setMState(int s) override
    {
        state = s;
        calls << entry("setMState", {num(s)});
    }
    void refreshMState(int s) override
    {
        state = s;
        calls << entry("refreshMState", {num(s)});
    }
    void setCaption(const QString &caption) override { calls << entry("setCaption", {caption}); }
    void setStatePanelText(const QString &text) override { calls << entry("setStatePanelText", {text}); }
    void setHomeEnv(const QString &env) override { calls << entry("setHomeEnv", {env}); }
    void setCommandState(const QString &id, int value) override
    {
        calls << entry("setCommandState", {id, num(value)});
    }
    bool ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target, bool activate,
                     int type) override
    {
        calls << entry("ShowRoutine", {rtn, env, num(level), target, bit(activate), num(type)});
        return agrees;
    }
    void openItem(int type, const QString &name, const QString &ns, bool readOnly) override
    {
        calls << entry("openItem", {num(type), name, ns, bit(readOnly)});
    }
    void closeXecuteRoutines() override { calls << entry("closeXecuteRoutines"); }
    void setTip(const QString &tipKey, const QString &tipText) override { calls << entry("setTip", {tipKey, tipText}); }
    void report(const QString &text) override { calls << entry("report", {text}); }
    void breakpointReport(const QStringList &message) override { calls << entry("breakpointReport", message); }
    void showBreakpoint(const QString &env, const QString &rtn, const QString &label, int offset) override
    {
        calls << entry("showBreakpoint", {env, rtn, label, num(offset)});
    }
    void setBreakpointsOnServer() override
    {
        calls << entry("setBreakpointsOnServer");
        if (link)
            LinkSession(*link).Send({"BP", "+", "1"});
    }
    bool Disconnect(bool canCancel) override
    {
        calls << entry("Disconnect", {bit(canCancel)});
        return agrees;
    }
    void EndSessionCleanup() override { calls << entry("EndSessionCleanup"); }
    void BringToFore() override { calls << entry("BringToFore"); }
    IVarsPane *vars() override { return &varsPane; }
    IStackLevels *stack() override { return &stackPane; }

    QStringList calls;
    int state = 1;
    bool agrees = true;      // ShowRoutine shows, Disconnect disconnects
    MLink *link = nullptr;   // set: the breakpoints go out on it, to show where they stand
    FakeVars varsPane{calls};
    FakeStack stackPane{calls};
};

// Boxes go into the host's log, in order with everything else; while up, the box can
// run something of the test's (the user taking a while to read it).
class LoggingPrompt : public RecordingPrompt
{
public:
    explicit LoggingPrompt(QStringList &calls) : m_calls(calls) {}
    Answer ask(const Question &q) override
    {
        if (whileUp)
            whileUp();
        m_calls << box(q.title, q.text, q.buttons, q.icon);
        return RecordingPrompt::ask(q);
    }
    std::function<void()> whileUp;

private:
    QStringList &m_calls;
};

// A session on a real link whose server only listens: each dispatch is followed by a
// marker frame, so what went out before the marker is what the message was answered with.
class Session
{
public:
    FakeHost host;
    std::shared_ptr<LoggingPrompt> prompt = std::make_shared<LoggingPrompt>(host.calls);
    ScopedUserPrompt scopedPrompt{prompt};
    MServer server{QList<Step>{}};
    MLink link;
    MessageDispatcher dispatcher{link, host};

    bool open(int protocol, const QString &brand = QStringLiteral("CACHE"))
    {
        if (!server.startAccepted(link))
            return false;
        QString version = QStringLiteral("x:0:") + num(protocol);
        link.VersionCheck(version);
        link.setBrand(brand);
        // "HI2" asks this server for the namespace, which it never answers.
        link.setMsPerTimeoutSecond(1);
        return true;
    }

    QList<QStringList> dispatch(const QStringList &message)
    {
        const int before = int(server.received().size());
        dispatcher.OnMessage(message);
        const QStringList marker{QStringLiteral("MARK"), num(++m_marks)};
        LinkSession(link).Send(marker);
        pumpUntil([&] { return server.received().contains(marker); });
        QList<QStringList> sent = server.received().mid(before);
        sent.removeAll(marker);
        return sent;
    }

private:
    int m_marks = 0;
};

void resetSettings()
{
    ProgramSettings &s = programSettings();
    s.BreakOnError = false;
    s.CommandCounter = true;
    s.StepLinewise = true;
    s.Linewise = false;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A frame's bytes in the framing in force: Unicode frames carry every unit low byte first.
QByteArray wire(const char *ansiHex, bool unicode)
{
    const QByteArray ansi = hex(ansiHex);
    if (!unicode)
        return ansi;
    QByteArray out;
    for (char c : ansi) {
        out.append(c);
        out.append('\0');
    }
    return out;
}

const char *const errText = "The application being debugged has encountered the following program error:"
                            "\r<UNDEFINED>\r\rIt will be handled at level 1 by:\r^%ETRAP";

} // namespace

TEST(MessageDispatcher, AnswersEveryCodeAsTheTableSays)
{
    resetSettings();
    const QStringList iam{"IAM", Module1::UserName(), Module1::ComputerName(), "7"};
    const QList<QStringList> greetingReplies{ack, iam, {"BonE", "0"}, {"CC", "0"}, {"STPin"}, {"!NS"}, ack, ack};
    const QStringList stop{"vars.Update(2,)", "stack.ShowLevel(2,1)", "setCommandState(DbgBreak,0)"};

    struct Row
    {
        const char *name;
        QStringList message;
        int protocol;
        QString brand;
        int state;
        bool hostAgrees;
        QStringList calls;
        QList<QStringList> sent;
    };
    const Row rows[] = {
        {"empty code", {""}, 7, "CACHE", 1, true, {}, {}},
        {"no fields at all", {}, 7, "CACHE", 1, true, {}, {}},
        {"unknown code", {"PING"}, 7, "CACHE", 1, true, {}, {}},

        {"VAR+ below 6 is answered", {"VAR+", "X", "raw", "0", "val", "0", "X", "1", "", "tip"}, 5, "CACHE", 1, true,
         {"AddVar(X,tip,X,,0,0,0,0,1,0,raw,0,val,-1)"}, {ack}},
        {"VAR+ from 6 is not", {"VAR+", "X", "raw", "0", "val", "0", "X", "1", "", "tip"}, 6, "CACHE", 1, true,
         {"AddVar(X,tip,X,,0,0,0,0,1,0,raw,0,val,-1)"}, {}},
        {"VAR+ with properties below 7: count 0", {"VAR+", "X(1)", "raw", "1", "val", "1", "1", "35", "X", "tip", "5"},
         6, "CACHE", 1, true, {"AddVar(X(1),tip,1,X,1,0,0,0,1,1,raw,1,val,0)"}, {}},
        {"VAR+ with properties from 7: field 10", {"VAR+", "P", "raw", "2", "val", "0", "P", "60", "", "tip", "5"},
         7, "CACHE", 1, true, {"AddVar(P,tip,P,,0,1,1,1,0,0,raw,2,val,5)"}, {}},
        {"VAR= below 6", {"VAR=", "X", "raw", "1", "val", "2", "short", "3", "F", "T", "4"}, 5, "CACHE", 1, true,
         {"UpdateVar(X,short,2,0,0,0,1,1,raw,1,val,-1)"}, {ack}},
        {"VAR= with properties from 7", {"VAR=", "X", "raw", "1", "val", "2", "short", "32", "F", "T", "4"}, 7,
         "CACHE", 1, true, {"UpdateVar(X,short,2,0,0,0,0,0,raw,1,val,4)"}, {}},
        {"VARfmt", {"VARfmt", "X", "v", "2"}, 7, "CACHE", 1, true, {"UpdateVarValue(X,v,2)"}, {ack}},
        {"VAR- below 6", {"VAR-", "X"}, 5, "CACHE", 1, true, {"RemoveVar(X)"}, {ack}},
        {"VAR- from 6", {"VAR-", "X"}, 6, "CACHE", 1, true, {"RemoveVar(X)"}, {}},
        {"VARend", {"VARend"}, 7, "CACHE", 1, true, {"UpdateFinished()"}, {ack}},

        {"CLS", {"CLS"}, 7, "CACHE", 1, true, {"EndSessionCleanup()"}, {ack}},
        {"STKreload", {"STKreload"}, 7, "CACHE", 1, true, {"closeXecuteRoutines()"}, {ack}},
        {"CC with the counter on", {"CC", "42"}, 7, "CACHE", 1, true, {"setStatePanelText(42)"}, {ack}},
        {"TIP", {"TIP", "k", "t"}, 7, "CACHE", 1, true, {"setTip(k,t)"}, {ack}},
        {"REP", {"REP", "text"}, 7, "CACHE", 1, true, {"report(text)"}, {ack}},
        {"MSTATE with the current value", {"MSTATE", "1"}, 7, "CACHE", 1, true, {"refreshMState(1)"}, {ack}},
        {"MSTATE into the shell", {"MSTATE", "2"}, 7, "CACHE", 1, true, {"refreshMState(2)"}, {ack}},

        {"STP", {"STP", "2"}, 7, "CACHE", -3, true, QStringList{"setMState(1)"} + stop, {ack}},
        {"ERR: the box, then the answer", {"ERR", "2", "<UNDEFINED>", "^%ETRAP", "1"}, 7, "CACHE", -3, true,
         QStringList{"setMState(1)", box("", errText, Buttons::Ok, Icon::Exclamation)} + stop, {ack}},
        {"STKtop shown", {"STKtop", "3", "USER", "RTN", "LBL", "2", "5"}, 7, "CACHE", 1, true,
         {"ShowRoutine(RTN,USER,3,LBL+2,1,1)", "stack.Update(3,USER,RTN,LBL,2,5,1)", "showBreakpoint(USER,RTN,LBL,2)"},
         {ack}},
        {"STK shown", {"STK", "3", "USER", "RTN", "LBL", "2", "5"}, 7, "CACHE", 1, true,
         {"ShowRoutine(RTN,USER,3,LBL+2,0,1)", "stack.Update(3,USER,RTN,LBL,2,5,0)"}, {ack}},
        {"STKtop not shown: the level number only", {"STKtop", "3", "USER", "RTN", "LBL", "2", "5"}, 7, "CACHE", 1,
         false, {"ShowRoutine(RTN,USER,3,LBL+2,1,1)", "stack.Update(3,,,,0,0,1)"}, {ack}},
        {"STK not shown", {"STK", "3", "USER", "RTN", "LBL", "2", "5"}, 7, "CACHE", 1,
         false, {"ShowRoutine(RTN,USER,3,LBL+2,0,1)", "stack.Update(3,,,,0,0,0)"}, {ack}},
        {"STKtop without a routine", {"STKtop", "3", "USER", "", "LBL", "2", "5"}, 7, "CACHE", 1, true,
         {"stack.Update(3,,,,0,0,1)"}, {ack}},

        {"MSG with its text only", {"MSG", "hello"}, 7, "CACHE", 1, true,
         {box("", "hello", Buttons::Ok, Icon::None)}, {ack}},
        {"MSG with a style", {"MSG", "hello", "36"}, 7, "CACHE", 1, true,
         {box("", "hello", Buttons::YesNo, Icon::Question)}, {ack}},
        {"MSG with a style and a title", {"MSG", "hello", "64", "Title"}, 7, "CACHE", 1, true,
         {box("Title", "hello", Buttons::Ok, Icon::Information)}, {ack}},

        {"SLO while fast-forwarding", {"SLO", "5"}, 7, "CACHE", -4, true,
         {"setMState(-3)", "setStatePanelText(Speed reduced - 5)", "setCommandState(DbgGoFast,0)",
          "setCommandState(DbgGo,1)"},
         {ack}},
        {"SLO while running", {"SLO", "5"}, 7, "CACHE", -3, true, {}, {ack}},

        {"BPU with two fields", {"BPU", "7", "err"}, 7, "CACHE", 1, true, {"breakpointReport(BPU,7,err)"}, {ack}},
        {"BPU with three fields", {"BPU", "7", "err", "3"}, 7, "CACHE", 1, true, {"breakpointReport(BPU,7,err,3)"},
         {ack}},
        {"BPU with four fields", {"BPU", "7", "err", "3", "x"}, 7, "CACHE", 1, true,
         {"breakpointReport(BPU,7,err,3,x)"}, {ack}},
        {"WPU", {"WPU", "2", "val", "0"}, 7, "CACHE", 1, true, {"breakpointReport(WPU,2,val,0)"}, {ack}},

        {"BYE cancelled", {"BYE", "1"}, 7, "CACHE", 1, false, {"setMState(3)", "Disconnect(1)", "setMState(1)"}, {ack}},
        {"BYE accepted", {"BYE", "0"}, 7, "CACHE", 1, true, {"setMState(3)", "Disconnect(0)"}, {}},
        {"REDIR over an accepted session is ignored", {"REDIR", "1", "key"}, 7, "CACHE", 1, true, {}, {}},

        {"ED read-only", {"ED", "1", "RTN", "USER", "1"}, 7, "CACHE", 1, true,
         {"BringToFore()", "openItem(1,RTN,USER,1)"}, {ack}},
        {"ED 0 for editing", {"ED", "1", "RTN", "USER", "0"}, 7, "CACHE", 1, true,
         {"BringToFore()", "openItem(1,RTN,USER,0)"}, {ack}},
        {"ED -1 for editing", {"ED", "1", "RTN", "USER", "-1"}, 7, "CACHE", 1, true,
         {"BringToFore()", "openItem(1,RTN,USER,0)"}, {ack}},
        {"ED without field 4 for editing", {"ED", "2", "RTN", "USER"}, 7, "CACHE", 1, true,
         {"BringToFore()", "openItem(2,RTN,USER,0)"}, {ack}},

        {"HI2 on CACHE with an extra text", {"HI2", "x", "123", "USER", "extra"}, 7, "CACHE", -2, true,
         {"setHomeEnv(USER)", QString("setCaption(Vantrel - Job 123 in USER on Caché extra at 127.0.0.1)"),
          "setBreakpointsOnServer()"},
         greetingReplies},
        {"HI2 on DSM with an empty extra text", {"HI2", "x", "123", "USER", ""}, 7, "DSM", -2, true,
         {"setHomeEnv(USER)", "setCaption(Vantrel - Job 123 in USER on DSM at 127.0.0.1)",
          "setBreakpointsOnServer()"},
         greetingReplies},
        // The server's texts go into the caption on one line and bounded; the session goes on.
        {"HI2 with a namespace of 3,000 line feeds", {"HI2", "x", "1.5", QString(3000, '\n')}, 7, "DSM", -2, true,
         {"setHomeEnv(" + QString(3000, '\n') + ")",
          "setCaption(Vantrel - Job 1.5 in " + QString(64, QChar(0x240A)) + "... on DSM at 127.0.0.1)",
          "setBreakpointsOnServer()"},
         greetingReplies},
        {"HI2 with control characters and a long job",
         {"HI2", "x", QString(5000, '9'), "US\tER", QString("a\rb") + QChar(0x2028) + QChar(0x85) + "c"}, 7,
         "DS\r\nM", -2, true,
         {"setHomeEnv(US\tER)",
          "setCaption(Vantrel - Job " + QString(64, '9') + "... in US\u2409ER on DS\u240D\u240AM a\u240Dbc at 127.0.0.1)",
          "setBreakpointsOnServer()"},
         greetingReplies},

        // Malformed: missing fields read as "", numbers that are none as 0; the answer stays.
        {"STP without a level", {"STP"}, 7, "CACHE", -3, true,
         {"setMState(1)", "vars.Update(0,)", "stack.ShowLevel(0,1)", "setCommandState(DbgBreak,0)"}, {ack}},
        {"STKtop with words for numbers", {"STKtop", "top", "USER", "RTN", "LBL", "two"}, 7, "CACHE", 1, true,
         {"ShowRoutine(RTN,USER,0,LBL+two,1,1)", "stack.Update(0,USER,RTN,LBL,0,0,1)", "showBreakpoint(USER,RTN,LBL,0)"},
         {ack}},
        {"VAR+ with its code only", {"VAR+"}, 5, "CACHE", 1, true, {"AddVar(,,,,0,0,0,0,0,0,,0,,-1)"}, {ack}},
        {"VAR+ with numbers out of range", {"VAR+", "X", "r", "1e9", "v", "70000", "S", "99999"}, 5, "CACHE", 1, true,
         {"AddVar(X,,S,,0,0,0,0,0,0,r,0,v,-1)"}, {ack}},
        {"MSG with a style that is no number", {"MSG", "hi", "junk"}, 7, "CACHE", 1, true,
         {box("", "hi", Buttons::Ok, Icon::None)}, {ack}},
        {"ED with its code only", {"ED"}, 7, "CACHE", 1, true, {"BringToFore()", "openItem(0,,,0)"}, {ack}},
        {"BYE with a flag that is none", {"BYE", "maybe"}, 7, "CACHE", 1, false,
         {"setMState(3)", "Disconnect(0)", "setMState(1)"}, {ack}},
    };

    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        ASSERT_TRUE(s.open(row.protocol, row.brand));
        s.host.state = row.state;
        s.host.agrees = row.hostAgrees;
        const QList<QStringList> sent = s.dispatch(row.message);
        EXPECT_EQ(s.host.calls, row.calls);
        EXPECT_EQ(sent, row.sent);
        EXPECT_TRUE(s.link.IsConnected());
    }
}

TEST(MessageDispatcher, GreetingSetsFeaturesLinewiseAndPrivateVariables)
{
    struct Row
    {
        const char *name;
        QString brand;
        QString version;
        QString featureField;
        qint32 featuresBefore;
        bool stepLinewise;
        qint32 features;
        bool linewise;
        bool privateSupported;
    };
    const Row rows[] = {
        {"old MSM: 24 whatever the field", "MSM", "x:0:0", "7", 0, true, 24, false, false},
        {"old DSM: 20", "DSM", "x:0:0", "7", 0, true, 20, false, false},
        {"old other platform: unchanged", "GTM", "x:0:0", "7", 20, true, 20, false, false},
        {"old CACHE: the field OR 30, not plus", "CACHE", "x:0:0", "2", 0, true, 30, false, true},
        {"old CACHE without a field", "CACHE", "x:0:0", "", 0, true, 30, false, true},
        {"linewise offered: the preference", "CACHE", "x:1:5", "18", 0, true, 18, true, true},
        {"linewise offered, preference off", "CACHE", "x:1:5", "16", 0, false, 16, false, false},
        {"linewise not offered: always linewise", "CACHE", "x:0:5", "2", 0, false, 2, true, true},
        {"a mask that is no number", "CACHE", "x:1:7", "junk", 8, false, 0, true, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetSettings();
        programSettings().StepLinewise = row.stepLinewise;
        Session s;
        ASSERT_TRUE(s.open(7));
        s.link.setFeatures(row.featuresBefore);
        const QList<QStringList> sent = s.dispatch({"HI", row.brand, row.version, row.featureField, "names"});
        EXPECT_EQ(sent, QList<QStringList>{ack});
        EXPECT_EQ(s.link.Brand(), row.brand);
        EXPECT_EQ(s.link.NameTable(), "names");
        EXPECT_EQ(s.link.Features(), row.features);
        EXPECT_EQ(programSettings().Linewise, row.linewise);
        EXPECT_EQ(s.host.calls, QStringList{entry("setPrivateSupported", {bit(row.privateSupported)})});
    }
}

TEST(MessageDispatcher, RefusedVersionClosesTheLinkThenSaysSoWithoutAnswering)
{
    FakeHost host;
    auto prompt = std::make_shared<LoggingPrompt>(host.calls);
    ScopedUserPrompt scoped(prompt);
    MServer server({send({"HI", "CACHE", "Routines 9.1:8:7", "1", "names"}), expectClose()});
    MLink link;
    MessageDispatcher dispatcher(link, host);
    QObject::connect(&link, &MLink::OnMessage, &link, [&](const QStringList &m) { dispatcher.OnMessage(m); });
    QObject::connect(&link, &MLink::OnClose, &link, [&] { host.calls << "OnClose"; });
    ASSERT_TRUE(server.startAccepted(link));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();

    const QString ours = QStringLiteral("%1.%2.%3").arg(VANTREL_VERSION_MAJOR).arg(VANTREL_VERSION_MINOR)
                             .arg(VANTREL_VERSION_REVISION / 100);
    EXPECT_EQ(host.calls, (QStringList{"OnClose", box("Version Mismatch",
                                                      "Vantrel version is " + ours
                                                          + "\r\rSupport Routines on host are Routines 9.1",
                                                      Buttons::Ok, Icon::Critical)}));
    EXPECT_TRUE(server.received().isEmpty());
    EXPECT_FALSE(link.IsConnected());
}

// The acknowledgement of "HI" leaves in the framing the server greeted in; a server that
// offers Unicode frames is answered in them from the next frame on.
TEST(MessageDispatcher, GreetingGoesOutByteForByteInEitherFraming)
{
    for (const bool unicode : {false, true}) {
        SCOPED_TRACE(unicode ? "Unicode" : "ANSI");
        ProgramSettings &settings = programSettings();
        resetSettings();
        settings.BreakOnError = true;
        settings.CommandCounter = false;

        FakeHost host;
        MServer server({
            send({"HI", "CACHE", "Routines 9.1:1:7", unicode ? "17" : "16", "names"}),
            expectRaw(hex("00 00 00 06 00 00")),
            mserver::unicode(unicode),
            send({"HI2", "x", "4711", "USER"}),
            expectRaw(wire("00 00 00 06 00 00", unicode)),
            expect({"IAM", Module1::UserName(), Module1::ComputerName(), "7"}),
            expectRaw(wire("00 00 00 14 00 02 00 00 00 08 42 6F 6E 45 00 00 00 06 2D 31", unicode)),   // BonE -1
            expectRaw(wire("00 00 00 12 00 02 00 00 00 06 43 43 00 00 00 06 2D 31", unicode)),         // CC -1
            expect({"BP", "**"}),
            expectRaw(wire("00 00 00 0F 00 01 00 00 00 09 53 54 50 69 6E", unicode)),                 // STPin
            answer({"NS"}, {"NS", "USER"}),
            expectRaw(wire("00 00 00 06 00 00", unicode)),   // CheckEnv's own
            expectRaw(wire("00 00 00 06 00 00", unicode)),   // the greeting's second
            expectSilence(50),
        });
        MLink link;
        host.link = &link;
        MessageDispatcher dispatcher(link, host);
        QObject::connect(&link, &MLink::OnMessage, &link, [&](const QStringList &m) { dispatcher.OnMessage(m); });
        ASSERT_TRUE(server.startAccepted(link));
        EXPECT_TRUE(server.wait()) << server.failure().toStdString();
        EXPECT_EQ(link.IsUnicode(), unicode);
        EXPECT_EQ(link.Env(), "USER");
        EXPECT_TRUE(host.calls.contains("setCaption(Vantrel - Job 4711 in USER on Caché at 127.0.0.1)"));
    }
}

// The user takes a while over the error box; the server's next frame comes meanwhile.
// It is handled after the box, once the stop is answered and shown, not inside it.
TEST(MessageDispatcher, FrameDuringTheErrorBoxIsHandledAfterItInOrder)
{
    resetSettings();
    std::atomic<bool> boxUp{false};
    std::atomic<bool> secondSent{false};
    auto until = [](std::atomic<bool> &flag) {
        return [&flag](Peer &, QString &why) {
            for (int i = 0; i < 300 && !flag; ++i)
                QThread::msleep(10);
            why = QStringLiteral("waited in vain");
            return bool(flag);
        };
    };
    FakeHost host;
    auto prompt = std::make_shared<LoggingPrompt>(host.calls);
    ScopedUserPrompt scoped(prompt);
    prompt->whileUp = [&] {
        boxUp = true;
        pumpUntil([&] { return bool(secondSent); });
        pumpUntil([] { return false; }, 200);   // the frame arrives while the box is still up
    };
    MServer server({
        send({"ERR", "1", "<UNDEFINED>", "^%ETRAP", "1"}),
        call("the box is up", until(boxUp)),
        send({"STKtop", "1", "USER", "RTN", "LBL", "0", "1"}),
        call("second frame sent", [&](Peer &, QString &) { return secondSent = true; }),
        expectAck(),
        expectAck(),
    });
    MLink link;
    MessageDispatcher dispatcher(link, host);
    QObject::connect(&link, &MLink::OnMessage, &link, [&](const QStringList &m) { dispatcher.OnMessage(m); });
    ASSERT_TRUE(server.startAccepted(link));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(host.calls, (QStringList{"setMState(1)", box("", errText, Buttons::Ok, Icon::Exclamation),
                                       "vars.Update(1,)", "stack.ShowLevel(1,1)", "setCommandState(DbgBreak,0)",
                                       "ShowRoutine(RTN,USER,1,LBL+0,1,1)", "stack.Update(1,USER,RTN,LBL,0,1,1)",
                                       "showBreakpoint(USER,RTN,LBL,0)"}));
}

// A stop whose session ended while its error box was up asks nothing of the gone session.
TEST(MessageDispatcher, ErrorStopLeavesThePanesAloneWhenTheSessionEndedUnderTheBox)
{
    resetSettings();
    Session s;
    ASSERT_TRUE(s.open(7));
    s.prompt->whileUp = [&] { s.link.Disconnect(); };
    s.dispatcher.OnMessage({"ERR", "1", "<UNDEFINED>", "^%ETRAP", "1"});
    EXPECT_EQ(s.host.calls, (QStringList{"setMState(1)", box("", errText, Buttons::Ok, Icon::Exclamation)}));
}

TEST(MessageDispatcher, RedirectionOpensTheJobLinkOfOurRequestOnly)
{
    MServer server({acceptRequest("id-1"), redirect("job-1"), acceptJob("job-1")});
    server.start();
    FakeHost host;
    MLink link;
    MessageDispatcher dispatcher(link, host);
    QObject::connect(&link, &MLink::OnMessage, &link, [&](const QStringList &m) { dispatcher.OnMessage(m); });
    bool connected = false;
    QObject::connect(&link, &MLink::OnConnect, &link, [&] { connected = true; });
    link.ConnectServer("127.0.0.1", num(server.port()), "id-1");
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(pumpUntil([&] { return connected; }));
    EXPECT_TRUE(link.IsOutbound());

    // No link at all: the refusal stays inside the dispatcher.
    MLink idle;
    MessageDispatcher idleDispatcher(idle, host);
    EXPECT_NO_THROW(idleDispatcher.OnMessage({"REDIR", "1234", "job-2"}));
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST(MessageDispatcher, AnyFieldCountOfAnyCodeIsHandled)
{
    resetSettings();
    FakeHost host;
    auto prompt = std::make_shared<LoggingPrompt>(host.calls);
    ScopedUserPrompt scoped(prompt);
    MLink link;   // not connected: nothing is sent, everything else runs
    MessageDispatcher dispatcher(link, host);
    const QStringList codes{"HI", "HI2", "STP", "BRK", "ERR", "VAR+", "VAR=", "VARfmt", "VAR-", "VARend", "CLS",
                            "STKreload", "STKtop", "STK", "CC", "MSG", "SLO", "TIP", "MSTATE", "BPU", "WPU",
                            "BYE", "REDIR", "REP", "ED"};
    const QStringList junk{"", "x", "-1", "99999999999", "1e308", "True", "3.5", " 7 ", "\xff", ":::"};
    for (const QString &code : codes) {
        for (int count = 0; count <= 12; ++count) {
            QStringList message{code};
            for (int i = 0; i < count; ++i)
                message << junk.at((i + count) % junk.size());
            EXPECT_NO_THROW(dispatcher.OnMessage(message)) << code.toStdString() << " " << count;
        }
    }
}

TEST(MessageDispatcher, FieldConversionsReadTheProtocolsNumbersLeniently)
{
    struct Row
    {
        QString text;
        qint16 integer;
        qint32 longValue;
        double number;
        bool flag;
        qint32 withinOrFallback;   // a use that needs -1 to 12, falling back to 99
    };
    const Row rows[] = {
        {"", 0, 0, 0, false, 99},
        {"12", 12, 12, 12, true, 12},
        {" 12 ", 12, 12, 12, true, 12},
        {"-1", -1, -1, -1, true, -1},
        {"-2", -2, -2, -2, true, 99},
        {"13", 13, 13, 13, true, 99},
        {"0", 0, 0, 0, false, 0},
        {"2.5", 2, 2, 2.5, true, 2},   // halves to even
        {"3.5", 4, 4, 3.5, true, 4},
        {"12.4", 12, 12, 12.4, true, 12},
        {"32767", 32767, 32767, 32767, true, 99},
        {"32768", 0, 32768, 32768, true, 99},
        {"-2147483648", 0, -2147483647 - 1, -2147483648.0, true, 99},
        {"2147483648", 0, 0, 2147483648.0, true, 99},
        {"abc", 0, 0, 0, false, 99},
        {"True", 0, 0, 0, true, 99},
        {"false", 0, 0, 0, false, 99},
        {"inf", 0, 0, 0, false, 99},
        // Plain digits are read on a shorter road; it must end where the long one does.
        {"-", 0, 0, 0, false, 99},
        {"007", 7, 7, 7, true, 7},
        {"-0", 0, 0, 0, false, 0},
        {"+5", 5, 5, 5, true, 5},
        {"1e1", 10, 10, 10, true, 10},
        {"-32768", -32768, -32768, -32768, true, 99},
        {"-32769", 0, -32769, -32769, true, 99},
        {"999999999", 0, 999999999, 999999999, true, 99},
        {"1234567890", 0, 1234567890, 1234567890, true, 99},
        {"12a", 0, 0, 0, false, 99},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(FieldConversion::toInteger(row.text), row.integer);
        EXPECT_EQ(FieldConversion::toLong(row.text), row.longValue);
        EXPECT_EQ(FieldConversion::toNumber(row.text), row.number);
        EXPECT_EQ(FieldConversion::toFlag(row.text), row.flag);
        EXPECT_EQ(FieldConversion::toLongWithin(row.text, -1, 12, 99), row.withinOrFallback);
    }
}
