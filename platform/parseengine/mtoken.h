#pragma once

#include <cstdint>

// The token classes the engine reports in its "Begin^PARSE" replies. The editor colours each
// class from the main window's colour table; the lexer treats 0, 1, 2, 4 (label at column 0,
// shown as 9 when it duplicates an earlier label) and 10 (shown plain on the caret line)
// specially, so those numbers must not move. The rest is this engine's choice and is fixed by
// its tests.
namespace MToken {
enum Class : int {
    EndOfLine = 0,       // never sent: the lexer appends it
    Plain = 1,           // only for an empty or blank line, which has nothing else;
                         // gaps between tokens paint plain without one
    LineError = 2,       // never sent: the lexer paints a failed statement with it
    Comment = 3,         // ";" to the end of the line; "//", "#;", "##;", "/* */" in MAC code
    Label = 4,           // the label at column 0
    FormalList = 5,      // "(A,B)" after a label
    Command = 6,         // a command word, full or abbreviated; "#define"-style directives
    String = 7,          // a string literal with its quotes
    Number = 8,          // a numeric literal
    Error = 10,          // anything the server's compiler would refuse
    Operator = 11,       // arithmetic, string, relational and logical operators, "@"
    DotPrefix = 13,      // the dots (and blanks between them) that give a line its block level
    Delimiter = 14,      // "(", ")", ",", ":", ".", "{", "}"
    Pattern = 15,        // repeat counts and codes after "?"
    EntryReference = 16, // label, offset and ^routine after DO, GOTO, JOB and inside $TEXT;
                         // the file of a MAC "#include"
    LocalVariable = 17,  // a local variable name
    GlobalVariable = 18, // "^NAME", naked "^", extended "^|env|NAME" / "^[env]NAME", "^$SSVN"
    Intrinsic = 19,      // "$NAME" intrinsic function or special variable
    Extrinsic = 20,      // "$$LABEL^ROUTINE", "$&external", "##class", "$$$MACRO"
    Embedded = 36,       // embedded foreign code in MAC: "&sql(...)", "&js<...>"
};
} // namespace MToken

// Bits of the state number in a "Begin^PARSE" reply header. The lexer stores the state in the
// flag word of a statement's last line at bits 16 and up, beside flags of its own, so only
// these bits may ever be set; the next statement gets (state & CarriedMask) back.
namespace MState {
constexpr int EndOfRoutineRule = 0x001; // never set: the margin draws the rule under the last line itself
constexpr int DepthShift = 4;           // bits 4-7: block depth of the statement's last line
constexpr int DepthMask = 0x0F0;        //   (always equal to that line's header depth)
constexpr int ReparsePrevious = 0x100;  // the previous line's block-start answer is stale
constexpr int InBlockComment = 0x200;   // MAC: the statement ended inside an open "/*" comment
                                        //   or open embedded code ("&sql(" over several lines)
constexpr int CarriedMask = 0x2F0;
constexpr int AllowedMask = 0x3F1;
} // namespace MState

// Line header flags of a "Begin^PARSE" line item.
namespace MLineFlag {
constexpr int BlockStart = 8; // the next line is one block level deeper
constexpr int MaxDepth = 15;
} // namespace MLineFlag
