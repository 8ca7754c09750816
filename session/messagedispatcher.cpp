#include "messagedispatcher.h"

#include "debugpanes.h"
#include "fieldconversion.h"
#include "linksession.h"
#include "mlink.h"
#include "module1.h"
#include "msgbox.h"
#include "programsettings.h"
#include "stacklevel.h"
#include "vantrelerror.h"

#include <QLoggingCategory>
#include <QScopedValueRollback>

#include <memory>

Q_LOGGING_CATEGORY(lcDispatch, "vantrel.dispatch")

using FieldConversion::toFlag;
using FieldConversion::toInteger;
using FieldConversion::toLong;
using FieldConversion::toNumber;

#ifndef VANTREL_VERSION_MAJOR
#define VANTREL_VERSION_MAJOR 0
#define VANTREL_VERSION_MINOR 0
#define VANTREL_VERSION_REVISION 0
#endif

namespace {

constexpr int StyleCritical = 16;
constexpr int StyleExclamation = 48;

const QChar kCR = QLatin1Char('\r');

} // namespace

MessageDispatcher::MessageDispatcher(MLink &link, IDispatchHost &host) : m_link(link), m_host(host)
{
}

// --- box texts ---------------------------------------------------------------------------------

QString MessageDispatcher::versionMismatchText(const QString &hostVersionText)
{
    return QStringLiteral("Vantrel version is %1.%2.%3")
               .arg(VANTREL_VERSION_MAJOR).arg(VANTREL_VERSION_MINOR).arg(VANTREL_VERSION_REVISION / 100)
        + kCR + kCR + QStringLiteral("Support Routines on host are ") + hostVersionText;
}

QString MessageDispatcher::programErrorText(const QString &error, const QString &handler, const QString &level)
{
    return QStringLiteral("The application being debugged has encountered the following program error:")
        + kCR + error + kCR + kCR + QStringLiteral("It will be handled at level ") + level
        + QStringLiteral(" by:") + kCR + handler;
}

// --- dispatch ----------------------------------------------------------------------------------

void MessageDispatcher::OnMessage(const QStringList &message)
{
    // This is the end of the line for the link's notification: nothing may escape into
    // the event loop, whatever a handler or a malformed message brings about.
    try {
        dispatch(message);
    } catch (const VantrelError &e) {
        qCWarning(lcDispatch).noquote() << "message" << message.value(0) << "failed:" << e.text();
    } catch (const std::exception &e) {
        qCWarning(lcDispatch).noquote() << "message" << message.value(0) << "failed:" << e.what();
    }
}

void MessageDispatcher::dispatch(const QStringList &m)
{
    const QString code = m.value(0);
    if (code.isEmpty())
        return;
    // Handlers nest (a transaction raises the frames before its echo): each answers in
    // the session of its own message.
    const LinkSession session(m_link);
    const QScopedValueRollback<const LinkSession *> current(m_session, &session);

    if (code == QLatin1String("HI")) {
        greet(m);
    } else if (code == QLatin1String("HI2")) {
        greetSecond(m);
    } else if (code == QLatin1String("STP") || code == QLatin1String("BRK") || code == QLatin1String("ERR")) {
        stop(m);
    } else if (code == QLatin1String("VAR+")) {
        addVariable(m);
    } else if (code == QLatin1String("VAR=")) {
        updateVariable(m);
    } else if (code == QLatin1String("VARfmt")) {
        if (IVarsPane *vars = m_host.vars())
            vars->UpdateVarValue(m.value(1), m.value(2), toInteger(m.value(3)));
        acknowledge();
    } else if (code == QLatin1String("VAR-")) {
        if (IVarsPane *vars = m_host.vars())
            vars->RemoveVar(m.value(1));
        acknowledgeVariableRow();
    } else if (code == QLatin1String("VARend")) {
        if (IVarsPane *vars = m_host.vars())
            vars->UpdateFinished();
        acknowledge();
    } else if (code == QLatin1String("CLS")) {
        m_host.EndSessionCleanup();
        acknowledge();
    } else if (code == QLatin1String("STKreload")) {
        m_host.closeXecuteRoutines();
        acknowledge();
    } else if (code == QLatin1String("STKtop") || code == QLatin1String("STK")) {
        stackLevel(m, code == QLatin1String("STKtop"));
    } else if (code == QLatin1String("CC")) {
        if (programSettings().CommandCounter)
            m_host.setStatePanelText(m.value(1));
        acknowledge();
    } else if (code == QLatin1String("MSG")) {
        showServerMessage(m);
    } else if (code == QLatin1String("SLO")) {
        slowDown(m);
    } else if (code == QLatin1String("TIP")) {
        m_host.setTip(m.value(1), m.value(2));
        acknowledge();
    } else if (code == QLatin1String("MSTATE")) {
        m_host.refreshMState(toLong(m.value(1)));
        acknowledge();
    } else if (code == QLatin1String("BPU") || code == QLatin1String("WPU")) {
        m_host.breakpointReport(m);
        acknowledge();
    } else if (code == QLatin1String("BYE")) {
        serverEndsSession(m);
    } else if (code == QLatin1String("REDIR")) {
        redirect(m);
    } else if (code == QLatin1String("REP")) {
        m_host.report(m.value(1));
        acknowledge();
    } else if (code == QLatin1String("ED")) {
        acknowledge();
        m_host.BringToFore();
        const bool readOnly = m.size() > 4 && toNumber(m.value(4)) == 1;
        m_host.openItem(toLong(m.value(1)), m.value(2), m.value(3), readOnly);
    }
    // Any other code is not ours to answer: the server did not ask us.
}

void MessageDispatcher::acknowledge()
{
    send({});
}

void MessageDispatcher::send(const QStringList &message)
{
    if (m_session)
        m_session->Send(message);
}

bool MessageDispatcher::sessionCurrent() const
{
    return m_session && m_session->isCurrent();
}

void MessageDispatcher::acknowledgeVariableRow()
{
    // From protocol 6 on the server streams the rows without waiting for each.
    if (m_link.ProtocolVersion() < 6)
        acknowledge();
}

// --- the greeting ------------------------------------------------------------------------------

void MessageDispatcher::greet(const QStringList &m)
{
    m_link.setBrand(m.value(1));
    QString hostVersion = m.value(2);
    if (!m_link.VersionCheck(hostVersion)) {
        m_link.Disconnect();
        MsgBox(versionMismatchText(hostVersion), StyleCritical, QStringLiteral("Version Mismatch"));
        return;
    }
    // Still in the framing the server greeted in: the features below may switch both
    // directions to Unicode, and the server reads this acknowledgement the old way.
    acknowledge();
    m_link.setNameTable(m.value(4));

    if (m_link.ProtocolVersion() >= 1) {
        m_link.setFeatures(toLong(m.value(3)));
    } else {
        const QString brand = m_link.Brand();
        // Old servers send no mask worth the name; what each platform can do is known.
        // OR, not plus: a mask already holding one of these bits must not carry into others.
        if (brand == QLatin1String("CACHE"))
            m_link.setFeatures(toLong(m.value(3)) | 2 | 4 | 8 | 16);
        else if (brand == QLatin1String("DSM"))
            m_link.setFeatures(20);
        else if (brand == QLatin1String("MSM"))
            m_link.setFeatures(24);
    }

    ProgramSettings &settings = programSettings();
    if (m_link.HasFeature(16))
        settings.Linewise = m_link.ProtocolVersion() > 0 ? settings.StepLinewise : false;
    else
        settings.Linewise = true;

    if (IVarsPane *vars = m_host.vars())
        vars->setPrivateSupported(m_link.HasFeature(2));
}

QString MessageDispatcher::captionField(const QString &text)
{
    QString shown;
    shown.reserve(qMin<qsizetype>(text.size(), CaptionFieldLength + 3));
    for (const QChar c : text) {
        if (shown.size() == CaptionFieldLength) {
            shown += QStringLiteral("...");
            break;
        }
        const char16_t u = c.unicode();
        if (u < 0x20)
            shown += QChar(char16_t(0x2400 + u));   // the Control Pictures block
        else if (u == 0x7F)
            shown += QChar(char16_t(0x2421));
        else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                 || c.category() == QChar::Separator_Paragraph)
            continue;
        else
            shown += c;
    }
    return shown;
}

QString MessageDispatcher::brandDisplayName(const QString &brand)
{
    return brand == QLatin1String("CACHE") ? QStringLiteral("Cach\u00e9") : brand;
}

void MessageDispatcher::greetSecond(const QStringList &m)
{
    m_host.setHomeEnv(m.value(3));
    // The job, namespace, brand and version are the server's texts: each is put on one
    // line and cut to a bounded length, so whatever the server sends, the title stays
    // one line of readable size.
    QString caption = QStringLiteral("Vantrel - Job ") + captionField(m.value(2)) + QStringLiteral(" in ")
        + captionField(m.value(3)) + QStringLiteral(" on ") + captionField(brandDisplayName(m_link.Brand()));
    if (!m.value(4).isEmpty())
        caption += QLatin1Char(' ') + captionField(m.value(4));
    caption += QStringLiteral(" at ") + m_link.HostIP();
    m_host.setCaption(caption);
    acknowledge();

    const ProgramSettings &settings = programSettings();
    send({QStringLiteral("IAM"), Module1::UserName(), Module1::ComputerName(),
          QString::number(m_link.ProtocolVersion())});
    send({QStringLiteral("BonE"), settings.BreakOnError ? QStringLiteral("-1") : QStringLiteral("0")});
    // The server counts commands when told "0": the opposite of the setting, as the
    // status panel's switch sends it.
    send({QStringLiteral("CC"), settings.CommandCounter ? QStringLiteral("0") : QStringLiteral("-1")});
    m_host.setBreakpointsOnServer();
    send({QStringLiteral("STPin")});
    m_link.CheckEnv();   // acknowledges its own reply
    acknowledge();
}

// --- stops and the stack -----------------------------------------------------------------------

void MessageDispatcher::stop(const QStringList &m)
{
    m_host.setMState(1);
    if (m.value(0) == QLatin1String("ERR")) {
        MsgBox(programErrorText(m.value(2), m.value(3), m.value(4)), StyleExclamation, QString());
        // The box ran an event loop: the session may have ended under it (and another
        // begun), and the panes would then ask a link for a level that is not its own.
        if (!sessionCurrent())
            return;
    }
    acknowledge();
    const int level = toInteger(m.value(1));
    if (IVarsPane *vars = m_host.vars())
        vars->Update(level, QString());
    if (IStackLevels *stack = m_host.stack())
        stack->ShowLevel(level, true);
    m_host.setCommandState(QStringLiteral("DbgBreak"), 0);
}

void MessageDispatcher::stackLevel(const QStringList &m, bool isTop)
{
    const int level = toInteger(m.value(1));
    auto record = std::make_shared<StackLevel>();
    const QString env = m.value(2);
    const QString rtn = m.value(3);
    const bool shown = !rtn.isEmpty()
        && m_host.ShowRoutine(rtn, env, level, m.value(4) + QLatin1Char('+') + m.value(5), isTop, 1);
    // Showing the routine is a transaction and may show a box: a session that ended
    // meanwhile has had its stack cleared, and the stack shown now may be the next one's.
    if (!sessionCurrent())
        return;
    IStackLevels *stack = m_host.stack();
    if (shown) {
        record->Number = level;
        record->Env = env;
        record->Rtn = rtn;
        record->Label = m.value(4);
        record->Offset = toInteger(m.value(5));
        record->CharPos = toInteger(m.value(6));
        if (stack)
            stack->Update(record, isTop);
        if (isTop)
            m_host.showBreakpoint(record->Env, record->Rtn, record->Label, record->Offset);
    } else {
        // The level still counts: the pane keeps its number, and a top level that could not
        // be shown still ends the deeper levels of the previous stop, markers and all.
        record->Number = level;
        if (stack)
            stack->Update(record, isTop);
    }
    acknowledge();
}

// --- variables ---------------------------------------------------------------------------------

namespace {

// Field 7 of a variable row.
enum VariableFlag {
    Defined = 1,
    HasDescendants = 2,
    Private = 4,
    Formal = 8,
    TruePrivate = 16,
    HasProperties = 32,
};

} // namespace

int MessageDispatcher::propertyCount(const QStringList &m, int flags) const
{
    if (!(flags & HasProperties))
        return -1;
    // Servers below protocol 7 say a value has properties but not how many.
    return m_link.ProtocolVersion() >= 7 ? toInteger(m.value(10)) : 0;
}

void MessageDispatcher::addVariable(const QStringList &m)
{
    const int flags = toInteger(m.value(7));
    if (IVarsPane *vars = m_host.vars()) {
        vars->AddVar(m.value(1), m.value(9), m.value(6), m.value(8), toInteger(m.value(5)),
                     flags & Formal, flags & Private, flags & TruePrivate, flags & Defined,
                     flags & HasDescendants, m.value(2), toInteger(m.value(3)), m.value(4),
                     propertyCount(m, flags));
    }
    acknowledgeVariableRow();
}

void MessageDispatcher::updateVariable(const QStringList &m)
{
    const int flags = toInteger(m.value(7));
    if (IVarsPane *vars = m_host.vars()) {
        vars->UpdateVar(m.value(1), m.value(6), toInteger(m.value(5)), flags & Formal, flags & Private,
                        flags & TruePrivate, flags & Defined, flags & HasDescendants, m.value(2),
                        toInteger(m.value(3)), m.value(4), propertyCount(m, flags));
    }
    acknowledgeVariableRow();
}

// --- the rest ----------------------------------------------------------------------------------

void MessageDispatcher::showServerMessage(const QStringList &m)
{
    if (m.size() <= 2)
        MsgBox(m.value(1));
    else if (m.size() == 3)
        MsgBox(m.value(1), toLong(m.value(2)));
    else
        MsgBox(m.value(1), toLong(m.value(2)), m.value(3));
    // The server waits for this until the user has read the text; a server that has gone
    // meanwhile waits no more, and the next one did not ask.
    acknowledge();
}

void MessageDispatcher::slowDown(const QStringList &m)
{
    if (m_host.MState() == -4) {
        m_host.setMState(-3);
        m_host.setStatePanelText(QStringLiteral("Speed reduced - ") + m.value(1));
        m_host.setCommandState(QStringLiteral("DbgGoFast"), 0);
        m_host.setCommandState(QStringLiteral("DbgGo"), 1);
    }
    acknowledge();
}

void MessageDispatcher::serverEndsSession(const QStringList &m)
{
    const int previous = m_host.MState();
    m_host.setMState(3);
    // A session that ended under the questions is not given its state back: the state
    // now is the next session's.
    if (!m_host.Disconnect(toFlag(m.value(1))) && sessionCurrent()) {
        m_host.setMState(previous);
        acknowledge();
    }
}

void MessageDispatcher::redirect(const QStringList &m)
{
    // Only the request link we opened may be redirected; the link refuses any other
    // (an accepted session, a job link, a closed link), and the message is then ignored.
    try {
        m_link.ConnectJob(m.value(1), m.value(2));
    } catch (const VantrelError &e) {
        qCInfo(lcDispatch).noquote() << "\"REDIR\" ignored:" << e.text();
    }
}
