#pragma once

#include "iparseengine.h"
#include "mtoken.h"

#include <QString>

#include <memory>
#include <unordered_map>

class ParseHandle;

// The in-process Parse Engine: answers the M entry references the editor calls ("Begin^PARSE",
// "Pos2Cmd^PARSE", ...) for each session handle, from its own copy of each routine's text.
//
// Every call answers; none throws. What an entry returns when it cannot answer (unknown handle
// or serial, wrong number of arguments, an argument that should be a number and is not):
//   "Begin^PARSE", "Pos2Tip^PARSE", "MoreToks^PARSE"  -> "ERROR:" + reason (never ",Z<")
//   "Cmd2Rng^PARSE", "Pos2CRng^PARSE"                 -> ""
//   "Pos2CEnd^PARSE", "Pos2Cmd^PARSE"                  -> "-1"
//   "PropGet^PARSE"                                    -> the default passed, else "ERROR:"
//   entries whose answer the caller ignores             -> "ERROR:" + reason
// An unexpected failure inside the engine becomes "ERROR:...,Z<INTERNAL>..." so that the lexer
// reports it.
//
// Token classes and state bits of the "Begin^PARSE" reply: see mtoken.h. INT statements are
// always one line; in MAC source a "/*" comment makes one statement of the lines it spans.
// The carried state the lexer passes back is not needed: the engine works the context out from
// its own copy of the text.
//
// "PropGet^PARSE" answers what "PropSet^PARSE" stored. A property never set answers the
// caller's default, except "lenLABEL" under the GT.M ("sdbGTM") and Cache-family ("sdbCACHE",
// "sdbENSEMBLE", "sdbIRIS") tables, or a platform of those named by "SetTable^PName": 31, the
// label length those compilers keep. DSM, MSM and an unknown platform answer the default.
//
// A line that is empty or holds only blanks is one plain token (class 1) over the blanks, of
// length 0 on an empty line, so that no line parses to nothing.
//
// "Pos2Tip^PARSE" answers request + U+0000 + key:
//   "=" + local variable with literal subscripts   key "V" serial ":" column   (never anything
//                                                   that could run code or touch a global)
//   "$$" + label^routine of an extrinsic call or a DO/GOTO/JOB target without offset
//                                                   key "XTip^PARSE(" + label^routine, so the
//                                                   code window formats the tip through the
//                                                   "XTip^PARSE" entry (reference in bold)
//   a description of a command word                key "C:" + command name
//   a description of an intrinsic function / special variable   key "F:" / "SV:" + name
//   "" (nothing to show)                            key ""
class ParseEngine : public IParseEngine
{
public:
    // The program's own version as "w $$^VERSION" reports it: Major "." Minor "."
    // (Revision \ 100), the form the main window compares with its own numbers.
    static constexpr int VersionMajor = VANTREL_VERSION_MAJOR;
    static constexpr int VersionMinor = VANTREL_VERSION_MINOR;
    static constexpr int VersionRevision = VANTREL_VERSION_REVISION;
    static QString versionText();

    static constexpr int MaxHandles = 32767;

    ParseEngine();
    ~ParseEngine() override;

    // The engine that makeParseEngine() hands out by default, shared by the whole process.
    static std::shared_ptr<ParseEngine> instance();

    bool connected() const override;
    QString xecute(const QString &command) override;
    QString call(const QString &entryRef, int handle, const QVariantList &args) override;

    int handleCount() const { return int(m_handles.size()); }

private:
    QString newHandle();
    QString dispatch(const QString &entryRef, int handle, const QVariantList &args);

    std::unordered_map<int, std::unique_ptr<ParseHandle>> m_handles;
    int m_nextHandle = 1; // handles are handed out round the 1..MaxHandles ring
};
