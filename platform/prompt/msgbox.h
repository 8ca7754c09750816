#pragma once

#include "userprompt.h"

#include <QString>

// Message boxes described by a numeric style, as a server's prompt sends them,
// asked through the program's user prompt:
//
//     // Yes and No, a question icon, No as the default button:
//     if (MsgBox(QStringLiteral("Save changes?"), 4 + 32 + 256) == 6)   // 6: Yes
//         save();
//
// Style bits:
//   buttons  style & 0xF:   0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel,
//                           4 Yes/No, 5 Retry/Cancel; any other value OK
//   icon     style & 0xF0:  16 critical, 32 question, 48 exclamation, 64 information;
//                           any other value none
//   default  style & 0x300: 0 the first button, 256 the second, 512 the third; one
//                           the buttons do not offer, the first
// Higher bits are ignored; a negative style gives a plain OK box.
// Answer codes: 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No.

// Named parts of a style and answer codes, for the program's own boxes.
namespace MsgBoxStyle {
constexpr int OkOnly = 0;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int DefaultSecond = 256;
// The cautious question: Yes and No, No the default.
constexpr int YesNoQuestionDefaultNo = YesNo + Question + DefaultSecond;
constexpr int AnswerOk = 1;
constexpr int AnswerCancel = 2;
constexpr int AnswerYes = 6;
constexpr int AnswerNo = 7;
} // namespace MsgBoxStyle

// The question a style describes, with no title and no text.
IUserPrompt::Question questionFromStyle(int style);

// The code of an answer (1 OK ... 7 No).
int answerCode(IUserPrompt::Answer answer);

// Asks userPrompt() and returns the answer's code. An empty title gets the
// program's own.
int MsgBox(const QString &text, int style = 0, const QString &title = QString());
