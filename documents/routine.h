#pragma once

#include "breakpoint.h"
#include "iroutinedoc.h"
#include "linksession.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class ICodeWindow;
class IDocLink;
class LabelIndex;
class QFont;
class Routines;
class SourceDocument;
class SourceLex;
class VanNgine;

// One M routine of the server opened in the editor: its identity on the server, its
// code window with the editor document, its own Parse Engine session, the breakpoints
// that lie in its text and the parser queries on its lines. Created only by
// Routines::Add.
class Routine : public IRoutineDoc
{
public:
    static constexpr quint32 ReadOnlyIdentity = 0x80047D90u;

    Routine();
    ~Routine() override;

    // The document behind an entry of the open-routine collection.
    static std::shared_ptr<Routine> from(const std::shared_ptr<IRoutineDoc> &doc)
    {
        return std::dynamic_pointer_cast<Routine>(doc);
    }
    Routine(const Routine &) = delete;
    Routine &operator=(const Routine &) = delete;

    // Fields every part of the program reads and writes.
    int LowWaterMark() const { return m_lowWaterMark; }
    void setLowWaterMark(int value) override { m_lowWaterMark = value; }
    int HighWaterMark() const { return m_highWaterMark; }
    void setHighWaterMark(int value) { m_highWaterMark = value; }
    QString Brand() const { return m_brand; }
    void setBrand(const QString &brand) { m_brand = brand; }
    IDocLink *MLink() const { return m_link; }
    void setMLink(IDocLink *link) override;
    // The session the document belongs to: the one its text was last loaded from the
    // server in, or that Save As gave it its name in. The document and its window tell
    // and ask only that session's server (tips, run to cursor, saving, giving the edit
    // lock back); once it has ended, a document kept from it (preserved after a drop)
    // talks to no server, whichever came next.
    const LinkSession &session() const { return m_session; }
    void setSession(const LinkSession &session) { m_session = session; }
    bool HoldsLock() const override { return m_holdsLock; }
    // The lock is granted by the server of the document's session; only that server is
    // told when the document gives it back.
    void setHoldsLock(bool value) { m_holdsLock = value; }
    void setOwner(Routines *owner) override { m_owner = owner; }

    // Identity: each of Env, Rtn and Typ is set once (Rename aside).
    static QString KeyFor(const QString &name, const QString &ns, int typ);
    // Whether the first document window to show opens maximised: the state of the last
    // one hidden while no other was visible (the saved setting "ChildMaxed").
    static bool ChildMaxed();
    static void setChildMaxed(bool maximised);
    QString Key() const override { return KeyFor(m_rtn, m_env, m_typ); }
    QString Env() const override { return m_env; }
    QString Rtn() const override { return m_rtn; }
    int Typ() const { return m_typ; }
    int TarvikStatus() const { return m_tarvikStatus; }
    void setEnv(const QString &env) override;
    void setRtn(const QString &rtn) override;
    void setTyp(int typ) override;
    void setTarvikStatus(int status) override;
    QString DisplayName() const;

    ICodeWindow *Window() const { return m_window.get(); }
    SourceDocument *document() const;
    SourceLex *lexer() const;
    VanNgine *engine() const { return m_engine.get(); }

    void SetLineFlags(int line, int flagsToSet, int flagsToClear);   // 1-based
    int GetLineFlags(int line) const;
    QString TextOfLine(int line) const;
    const LabelIndex &Labels() const;

    void LoadText(const QString &text, const QString &initialLine) override;
    bool SaveDoc();
    bool CloseDoc(bool abandon) override;
    bool Rename(QString &rtn, QString &env, int &typ);
    void Activate(bool force);

    bool Frozen() const override;
    void setFrozen(bool value) override;
    bool ReadOnly() const override;
    void setReadOnly(bool value) override;
    bool Modified() const override;
    bool LineWrap() const override;
    void setLineWrap(bool value) override;
    bool RichSource() const override;
    void setRichSource(bool value) override;
    bool RichSourceSupported() const;
    bool CodeCollapsing() const;
    void setCodeCollapsing(bool value);
    void setFont(const QFont &font);
    bool Visible() const override;
    void setVisible(bool value) override;
    void SetTip(const QString &tipId, const QString &tipText);
    void ClearTip();

    // The whole text as the server stores it, lines joined with CR LF.
    QString saveText() const;

    // Parser queries and navigation; lines 1-based, positions 1-based.
    int LineOfLabel(const QString &label) const;
    QString LabelPlusOffsetOfLine(int line) const;
    void PositionAtCommand(int line, int command);
    bool PositionAt(int line, int charPos, int selLength);
    void RangeOfCommand(int line, int command, int &startCol, int &endCol);
    int PosOfCommand(int line, int command);
    int CommandOfPos(int line, int pos);
    bool GotoLine(const QString &location, int charPos, int selLength) override;

    // Breakpoints on lines.
    void BPSet(const BreakpointPtr &bp, int line);
    void BPDelete(const BreakpointPtr &bp);
    std::vector<BreakpointPtr> BPsOnLine(int line) const;
    BreakpointPtr BPAtCmdOnLine(int line, int cmd);
    void ToggleBreakpoint(int lineNumber, int cmd);
    void ToggleBreakpointState(int lineNumber, int cmd);
    void OnLabelRevised(int lineNumber, const QString &oldLabel, const QString &newLabel);
    void OnLinesDeleted(int from, int to);
    void AfterLinesDeleted(int from, int to);
    void OnLinesInserted(int from, int to);
    void AfterLinesInserted(int from, int to);

private:
    QString SplitLabelOffset(int line) const;
    void PrimeParser(int index);
    QString ask(const QString &entry, int line, int argument, bool rangeEntry);
    int askPosition(const QString &entry, int line, int argument);
    int serialOf(int line) const;   // 1-based
    void takeOff(int line, const BreakpointPtr &bp);
    void rebaseBlock(int lineNumber, const QString &expected,
                     const std::function<QString(int line)> &reference);
    static QString labelPart(const QString &reference);

    std::unique_ptr<VanNgine> m_engine;         // this document's engine session
    std::unique_ptr<ICodeWindow> m_window;      // owned for the document's life
    Routines *m_owner = nullptr;                // the collection that filed this document
    IDocLink *m_link = nullptr;                 // the session link
    LinkSession m_session;                      // the session the document belongs to
    QString m_env, m_rtn;                       // namespace and routine name
    int m_typ = 0;                              // 1 INT, 2 MAC, 3 INC, 0 unset
    int m_tarvikStatus = 0;                     // version-control status, shown in the icon
    QString m_brand;
    bool m_holdsLock = false;                   // the server of m_session holds our edit lock
    int m_lowWaterMark = 0, m_highWaterMark = 0;

    // Breakpoints by 1-based line: an empty list is a line without any. One record per
    // command, in the order they were set.
    std::vector<std::vector<BreakpointPtr>> m_bpIndex;
    bool m_bulk = false;                        // lines are moving: markers stay put
    std::vector<BreakpointPtr> m_moved;         // taken off by the last insert/delete
};
