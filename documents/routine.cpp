#include "routine.h"

#include "docservices.h"
#include "framecodec.h"
#include "icodewindow.h"
#include "idoclink.h"
#include "linedata.h"
#include "routines.h"
#include "sourcedocument.h"
#include "sourcelex.h"
#include "userprompt.h"
#include "vanngine.h"
#include "vantrelerror.h"

#include <algorithm>

namespace {

// Whether the last document window hidden while no other was visible was maximised:
// the next first window to show takes that state again. Code windows open maximised
// until one says otherwise.
bool lastHiddenWasMaximised = true;

IDocumentHost *host()
{
    return docServices().host;
}

} // namespace

Routine::Routine()
{
    const bool firstDocument = !host() || host()->documentWindowCount() == 0;
    if (!docServices().codeWindowFactory)
        throw VantrelError(VantrelError::Base + 1, QStringLiteral("No code window factory is set"));
    m_window = docServices().codeWindowFactory();
    m_window->setRoutine(this);
    m_engine = std::make_unique<VanNgine>();
    m_window->setVanNgine(m_engine.get());
    if (firstDocument && host() && host()->mainWindowMinimised())
        host()->restoreMainWindow();
}

Routine::~Routine()
{
    if (!m_window)
        return;
    // Hiding moves the caret, and the window's caret handler would call back into this
    // half-destroyed document: cut the back-pointer first.
    try {
        m_window->setRoutine(nullptr);
        m_window->hideEditor();
        setVisible(false);
        m_window->unload();
    } catch (...) {
    }
    m_window.reset();
    m_engine.reset();
}

QString Routine::KeyFor(const QString &name, const QString &ns, int typ)
{
    return ns + QLatin1Char('^') + name + QLatin1Char('^') + QString::number(typ);
}

void Routine::setEnv(const QString &env)
{
    if (!m_env.isEmpty())
        throw VantrelError(ReadOnlyIdentity, QStringLiteral("Env property is read-only"));
    m_env = env;
    m_window->RefreshCaption();
}

void Routine::setRtn(const QString &rtn)
{
    if (!m_rtn.isEmpty())
        throw VantrelError(ReadOnlyIdentity, QStringLiteral("Rtn property is read-only"));
    m_rtn = rtn;
    m_window->RefreshCaption();
}

void Routine::setTyp(int typ)
{
    if (m_typ != 0)
        throw VantrelError(ReadOnlyIdentity, QStringLiteral("Typ property is read-only"));
    m_typ = typ;
    m_window->RefreshCaption();
}

void Routine::setTarvikStatus(int status)
{
    m_tarvikStatus = status;
    m_window->RefreshCaption();
}

QString Routine::DisplayName() const
{
    if (m_link && m_link->Brand() == QLatin1String("CACHE")) {
        switch (m_typ) {
        case 1: return m_rtn + QLatin1String(".int");
        case 2: return m_rtn + QLatin1String(".mac");
        case 3: return m_rtn + QLatin1String(".inc");
        default: break;
        }
    }
    return m_rtn;
}

SourceDocument *Routine::document() const
{
    return m_window->document();
}

SourceLex *Routine::lexer() const
{
    return m_window->Lex();
}

void Routine::SetLineFlags(int line, int flagsToSet, int flagsToClear)
{
    document()->changeLineFlags(line - 1, flagsToSet, flagsToClear);
}

int Routine::GetLineFlags(int line) const
{
    SourceDocument *doc = document();
    if (line < 1 || line > doc->NumLines())
        return 0;
    return doc->GetLineData(line - 1, LineData::kFlagSlot);
}

QString Routine::TextOfLine(int line) const
{
    SourceDocument *doc = document();
    if (line < 1 || line > doc->NumLines())
        return QString();
    return doc->GetLine(line - 1);
}

const LabelIndex &Routine::Labels() const
{
    return lexer()->Labels();
}

QString Routine::saveText() const
{
    return document()->Text();
}

void Routine::setMLink(IDocLink *link)
{
    m_link = link;
    m_session = link ? LinkSession(*link) : LinkSession();
}

void Routine::LoadText(const QString &text, const QString &initialLine)
{
    // The text comes from the server of the current session: the document is that
    // session's from now on.
    if (m_link)
        m_session = LinkSession(*m_link);
    const QString brand = m_link ? m_link->Brand() : QString();
    QString table = QStringLiteral("sdb") + brand;
    if (m_typ == 2 || m_typ == 3)
        table += QLatin1String(".mac");
    m_engine->MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("ParseTable"), table);
    m_engine->MDo3(QStringLiteral("SetTable^PName"), brand,
                   m_link ? m_link->HasFeature(1) : false,
                   m_link ? m_link->NameTable() : QString());

    if (m_link && m_link->ProtocolVersion() >= 5) {
        const LinkSession session = m_session;
        const QStringList reply = m_link->Transact(0, {QStringLiteral("PPG")});
        session.acknowledge();
        // A refusal ("MSG") carries a text, not name/value pairs: the routine still opens,
        // with the engine's own defaults.
        if (reply.value(0) == QLatin1String("PPG")) {
            for (int i = 1; i + 1 < reply.size(); i += 2)
                m_engine->MDo2(QStringLiteral("PropSet^PARSE"), reply.at(i), reply.at(i + 1));
        }
    } else if (brand == QLatin1String("CACHE")) {
        m_engine->MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("lenLVAR"), 31);
        m_engine->MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("lenGVAR"), 31);
        m_engine->MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("lenLABEL"), 31);
        m_engine->MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("lenROUTINE"), 63);
    }

    m_bpIndex.clear();
    m_moved.clear();

    const bool readOnly = ReadOnly();
    m_window->hideEditor();
    m_window->InitializeDoc();
    m_window->showEditor();

    SourceDocument *doc = document();
    int endLine = 0, endCol = 0, done = 0;
    // Each label's blank becomes its TAB here, not by an edit of its own after the text
    // is in: the document looks the same, with nothing to undo, and a long routine is
    // not edited line by line while it opens.
    doc->InsertImpl(0, 0, lexer()->withLabelTabs(text), false, &endLine, &endCol);
    m_window->setReadOnly(readOnly);
    doc->UpdateLines(0, 0, done);
    doc->UpdateViews(1, 0, endLine, 0, 0);
    doc->UpdateLines(0, doc->LastVisibleLine(), done);
    doc->UpdateViews(2, 0, done, 0, 0);

    // Every line's label goes into the index now, coloured or not; the lines not shown
    // yet are coloured by the background parse.
    SourceLex *lex = lexer();
    const int lines = doc->NumLines();
    for (int line = 0; line < lines; ++line) {
        lex->CheckLineSync(line);
        if (line > done)
            lex->QueueLineForParse(line, true, false);
    }

    // Breakpoints are filed by routine name only, and always for the INT routine: a MAC
    // or INC text of the same name would show them at unrelated lines.
    if (docServices().breakpoints && m_typ != 2 && m_typ != 3) {
        for (const BreakpointPtr &bp : docServices().breakpoints->BPs(m_rtn)) {
            const int line = LineOfLabel(bp->Line);
            if (line > 0)
                BPSet(bp, line);
        }
    }
    // Opened for editing there is no line to go to; the insertion left the caret at the end.
    if (!GotoLine(initialLine, 1, 0))
        GotoLine(QStringLiteral("+1"), 1, 0);
}

namespace {

bool isBlankOnly(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// What the server says it stored is no routine the user sent.
bool lostTheText(const QString &sent, const QString &stored)
{
    if (stored.isEmpty())
        return !sent.isEmpty();
    return isBlankOnly(stored) && !isBlankOnly(sent);
}

} // namespace

bool Routine::SaveDoc()
{
    if (m_env.isEmpty()) {
        ISaveAsDialog *saveAs = docServices().saveAs;
        return saveAs && !saveAs->DoIt(*this);
    }
    if (const auto &provider = docServices().reportPane)
        if (IReportPane *pane = provider())
            pane->ClearReport();
    if (!m_link)
        return false;
    // A document kept from a session that has ended (preserved after its link dropped)
    // is not that of the server connected now: saving it there could overwrite what
    // another user made of the routine meanwhile.
    const LinkSession session = m_session;
    if (!session.isCurrent()) {
        tellUser(DisplayName() + QStringLiteral(" from ") + m_env
                     + QStringLiteral(" holds edits from a connection lost earlier and cannot be saved "
                                      "through the current connection.\r\rTo reapply the changes, re-open the "
                                      "routine, use Copy and Paste, and save the result."),
                 QString(), IUserPrompt::Icon::Exclamation);
        return false;
    }

    const QString sent = saveText();
    const QStringList request{QStringLiteral("SIP"), QString::number(m_typ), m_rtn, m_env, sent};
    // The link takes no frame over its bound, and the reply to "SIP" carries the stored
    // text back: sent, such a routine would be stored and its reply refused, ending the
    // session. Nothing goes out; the text stays as typed, still modified.
    const qint64 frameUnits = FrameCodec::units(FrameCodec::asRequest(request));
    if (frameUnits > FrameCodec::MaxFrameUnits) {
        const qint64 longest = sent.size() - (frameUnits - FrameCodec::MaxFrameUnits);
        tellUser(DisplayName() + QStringLiteral(" is too long to be saved.\r\rIts text is %1 characters long; "
                                                "a routine of at most %2 characters can be saved.\r\r"
                                                "Your text is kept unchanged and is still marked as modified.")
                                     .arg(sent.size()).arg(longest),
                 QString(), IUserPrompt::Icon::Exclamation);
        return false;
    }
    QStringList reply = m_link->Transact(0, request);
    const QString code = reply.value(0);
    bool result = false;
    if (code == QLatin1String("SIP")) {
        bool proceed = true;
        // The question runs an event loop, under which the session may end and this
        // document be preserved: the stored text then no longer concerns it.
        if (!reply.value(1).isEmpty())
            proceed = host() && host()->ServerPrompt(reply) && session.isCurrent();
        // A stored text that lost everything but blanks and line ends of a text that had
        // more (or an empty one for a routine that has lines) says nothing the window may
        // take: reloading it would wipe the user's work and call it saved. The text stays,
        // still modified, so that nothing is lost if the server did not store it.
        if (proceed && reply.size() > 3 && lostTheText(sent, reply.at(3))) {
            tellUser(QStringLiteral("The server's reply to saving ") + DisplayName()
                         + QStringLiteral(" did not contain the stored text, so the result of the save "
                                          "could not be confirmed.\r\rYour text is kept unchanged and "
                                          "is still marked as modified."),
                     QString(), IUserPrompt::Icon::Exclamation);
            proceed = false;
        }
        // A reply without the stored text keeps the text that was just sent: loading an
        // absent field would empty the window of a routine the server holds in full.
        if (proceed && reply.size() > 3) {
            const int line = m_window->caretLine();
            const int column = m_window->caretColumn();
            LoadText(reply.at(3), QStringLiteral("+1"));
            GotoLine(QStringLiteral("+%1").arg(line + 1), column + 1, 0);
        }
        result = proceed;
    } else if (code == QLatin1String("SIM")) {
        result = host() && host()->ServerPrompt(reply) && session.isCurrent();
    } else if (code == QLatin1String("MSG")) {
        tellUser(reply.value(1));
    } else {
        tellUser(QStringLiteral("Routine.Save's SIP received unexpected reply type [%1]").arg(code),
                 QString(), IUserPrompt::Icon::Critical);
    }
    // The acknowledgement is the replying server's; after a box it may be gone, and
    // another server connected in its place must not take it for its own.
    session.acknowledge();
    if (result)
        document()->SetModified(false);
    return result;
}

bool Routine::CloseDoc(bool abandon)
{
    bool result = true;
    if (Modified() && !abandon) {
        // Each question runs an event loop: the session may end under it (this document is
        // then preserved read-only, or closed) and the next server connect. An answer to a
        // question that no longer stands does nothing: no save, no close.
        const LinkSession asked = m_link ? LinkSession(*m_link) : LinkSession();
        IUserPrompt::Question q;
        if (Frozen() && docServices().stack && docServices().stack->IsInStack(m_rtn, m_env)) {
            q.title = QStringLiteral("About to Discard Unsaved Changes");
            q.text = QStringLiteral("This modified version of ") + DisplayName() + QStringLiteral(" from ")
                   + m_env + QStringLiteral(" is frozen because it is in the execution stack of the "
                                            "current debugging session.\r\n\r\n"
                                            "The changes cannot be saved until it is no longer in the "
                                            "execution stack.\r\n\r\n"
                                            "Are you sure you want to close it now and lose your changes?");
            q.buttons = IUserPrompt::Buttons::YesNo;
            q.icon = IUserPrompt::Icon::Exclamation;
            q.defaultAnswer = IUserPrompt::Answer::No;
            result = userPrompt().ask(q) == IUserPrompt::Answer::Yes;
        } else if (host() && host()->MBusy()) {
            q.title = QStringLiteral("Lose Changes?");
            q.text = QStringLiteral("Server is not currently able to save your modified routine")
                   + (m_holdsLock ? QStringLiteral(",\rnor to release the routine's locks immediately.")
                                  : QStringLiteral("."))
                   + QStringLiteral("\rIt might be busy processing application code.\r\r"
                                    "Close it anyway, and lose changes?");
            q.buttons = IUserPrompt::Buttons::YesNo;
            q.icon = IUserPrompt::Icon::Question;
            q.defaultAnswer = IUserPrompt::Answer::No;
            result = userPrompt().ask(q) == IUserPrompt::Answer::Yes;
        } else {
            if (m_env.isEmpty()) {
                q.title = QStringLiteral("Save New Routine?");
                q.text = QStringLiteral("The new routine ") + DisplayName()
                       + QStringLiteral(" has not yet been saved. Do you want to save it?");
            } else {
                q.title = QStringLiteral("Save Changes?");
                q.text = DisplayName() + QStringLiteral(" from ") + m_env
                       + QStringLiteral(" has been modified. Do you want to save the changes?");
            }
            q.buttons = IUserPrompt::Buttons::YesNoCancel;
            q.icon = IUserPrompt::Icon::Question;
            const IUserPrompt::Answer answer = userPrompt().ask(q);
            if (asked.lapsed())
                return false;
            switch (answer) {
            case IUserPrompt::Answer::Yes: result = SaveDoc(); break;
            case IUserPrompt::Answer::No: result = true; break;
            default: result = false; break;
            }
        }
        if (asked.lapsed())
            return false;
    }
    if (result) {
        // The one place that gives the server's edit lock back.
        // Only to the server that granted the lock: a document kept after its session ended
        // (preserved, or one whose question box outlived it) holds no lock on the next server.
        if (m_holdsLock)
            m_session.Send({QStringLiteral("SIU"), QString::number(m_typ), m_rtn, m_env});
        m_holdsLock = false;
        m_window->setRoutine(nullptr);
    }
    return result;
}

bool Routine::Rename(QString &rtn, QString &env, int &typ)
{
    if (typ == 0)
        typ = m_typ;
    if (typ == m_typ && env == m_env && rtn == m_rtn)
        return true;
    const QString oldRtn = m_rtn, oldEnv = m_env, oldKey = Key();
    const int oldTyp = m_typ;
    m_rtn = rtn;
    m_env = env;
    m_typ = typ;
    if (m_owner && m_owner->ReKey(oldKey)) {
        m_window->RefreshCaption();
        return true;
    }
    m_rtn = oldRtn;
    m_env = oldEnv;
    m_typ = oldTyp;
    return false;
}

void Routine::Activate(bool force)
{
    setVisible(true);
    if (m_owner)
        m_owner->setActive(this);
    if (!force && host() && !host()->applicationActive())
        return;
    try {
        m_window->bringToFront();
        m_window->focusEditor();
    } catch (...) {
    }
}

bool Routine::ChildMaxed()
{
    return lastHiddenWasMaximised;
}

void Routine::setChildMaxed(bool maximised)
{
    lastHiddenWasMaximised = maximised;
}

bool Routine::Visible() const
{
    return m_window && m_window->isWindowVisible();
}

void Routine::setVisible(bool value)
{
    if (!m_window || value == m_window->isWindowVisible())
        return;
    IDocumentHost *h = host();
    if (value) {
        if (h && h->anyDocumentWindowVisible()) {
            m_window->showWindow(false);
        } else {
            if (lastHiddenWasMaximised) {
                m_window->showWindow(true);
            } else {
                m_window->showWindow(false);
                m_window->moveToOrigin();
            }
            if (h && !h->documentTabsShown())
                h->startRelayoutTimer();
        }
        m_window->setParseTimerInterval(1);
        // A shown document is no longer a hidden one, however it was shown.
        if (m_owner)
            m_owner->Allocate(Key(), false);
    } else {
        const bool wasMaximised = m_window->isMaximised();
        m_window->hideWindow();
        if (!h || !h->anyDocumentWindowVisible()) {
            lastHiddenWasMaximised = wasMaximised;
            if (h && !h->documentTabsShown())
                h->startRelayoutTimer();
        }
        m_window->setCaret(0, 0);
    }
}

bool Routine::Frozen() const { return m_window->Frozen(); }
void Routine::setFrozen(bool value) { m_window->setFrozen(value); }
bool Routine::ReadOnly() const { return m_window->ReadOnly(); }
void Routine::setReadOnly(bool value) { m_window->setReadOnly(value); }

bool Routine::Modified() const { return document()->Modified(); }
bool Routine::LineWrap() const { return m_window->LineWrap(); }
void Routine::setLineWrap(bool value) { m_window->setLineWrap(value); }
bool Routine::RichSource() const { return m_window->RichSource(); }
void Routine::setRichSource(bool value) { m_window->setRichSource(value); }
bool Routine::RichSourceSupported() const { return m_window->RichSourceSupported(); }
bool Routine::CodeCollapsing() const { return m_window->CodeCollapsing(); }
void Routine::setCodeCollapsing(bool value) { m_window->setCodeCollapsing(value); }
void Routine::setFont(const QFont &font) { m_window->setCodeFont(font); }
void Routine::SetTip(const QString &tipId, const QString &tipText) { m_window->SetTip(tipId, tipText); }
void Routine::ClearTip() { m_window->ClearTip(); }
