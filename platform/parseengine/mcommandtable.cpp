#include "mcommandtable.h"

#include <array>
#include <vector>

namespace {

constexpr std::array<MCommand, 39> kCommands = {{
    {"BREAK", "B", MCommand::Plain, false, "BREAK: suspends execution for debugging"},
    {"CLOSE", "C", MCommand::Plain, false, "CLOSE: releases devices"},
    {"DO", "D", MCommand::EntryRefs, false, "DO: calls a label, a routine or the dot block below"},
    {"ELSE", "E", MCommand::NoArguments, false, "ELSE: executes the rest of the line when $TEST is false"},
    {"FOR", "F", MCommand::Plain, false, "FOR: repeats the rest of the line"},
    {"GOTO", "G", MCommand::EntryRefs, false, "GOTO: transfers control to an entry reference"},
    {"HALT", nullptr, MCommand::NoArguments, false, "HALT: ends the process"},
    {"HANG", nullptr, MCommand::Plain, false, "HANG: waits the given number of seconds"},
    {"IF", "I", MCommand::Plain, false, "IF: executes the rest of the line when the condition holds"},
    {"JOB", "J", MCommand::EntryRefs, false, "JOB: starts a new process at an entry reference"},
    {"KILL", "K", MCommand::Plain, false, "KILL: removes variables"},
    {"LOCK", "L", MCommand::Plain, false, "LOCK: claims or releases names"},
    {"MERGE", "M", MCommand::Plain, false, "MERGE: copies a whole array"},
    {"NEW", "N", MCommand::Plain, false, "NEW: stacks variables for the current level"},
    {"OPEN", "O", MCommand::Plain, false, "OPEN: acquires devices"},
    {"PRINT", "P", MCommand::Plain, false, "PRINT: lists lines of the routine"},
    {"QUIT", "Q", MCommand::Plain, false, "QUIT: ends a FOR loop, a DO or an extrinsic call"},
    {"READ", "R", MCommand::Formatted, false, "READ: takes input from the current device"},
    {"SET", "S", MCommand::Plain, false, "SET: assigns values to variables"},
    {"TCOMMIT", "TC", MCommand::NoArguments, false, "TCOMMIT: commits the current transaction"},
    {"TRESTART", "TRE", MCommand::Plain, false, "TRESTART: restarts the current transaction"},
    {"TROLLBACK", "TRO", MCommand::Plain, false, "TROLLBACK: rolls the transaction back"},
    {"TSTART", "TS", MCommand::Plain, false, "TSTART: starts a transaction"},
    {"USE", "U", MCommand::Plain, false, "USE: makes a device the current device"},
    {"VIEW", "V", MCommand::Plain, false, "VIEW: platform-specific system view"},
    {"WRITE", "W", MCommand::Formatted, false, "WRITE: sends output to the current device"},
    {"XECUTE", "X", MCommand::Plain, false, "XECUTE: executes M code held in a value"},
    {"CATCH", nullptr, MCommand::Plain, true, "CATCH: handles an exception thrown in the TRY block"},
    {"CONTINUE", nullptr, MCommand::NoArguments, true, "CONTINUE: next iteration of the loop"},
    {"ELSEIF", nullptr, MCommand::Plain, true, "ELSEIF: alternative condition of an IF block"},
    {"RETURN", "RET", MCommand::Plain, true, "RETURN: leaves the method or procedure"},
    {"THROW", nullptr, MCommand::Plain, true, "THROW: raises an exception"},
    {"TRY", nullptr, MCommand::NoArguments, true, "TRY: block whose exceptions go to CATCH"},
    {"WHILE", nullptr, MCommand::Plain, true, "WHILE: repeats the block while the condition holds"},
    {"ZWRITE", "ZW", MCommand::Plain, false, "ZWRITE: writes variables with their values"},
    {"ZGOTO", "ZG", MCommand::Plain, false, "ZGOTO: unwinds the stack and goes to an entry reference"},
    {"ZBREAK", "ZB", MCommand::EntryRefs, false, "ZBREAK: sets a breakpoint"},
    {"ZPRINT", "ZP", MCommand::EntryRefs, false, "ZPRINT: lists lines of the routine"},
    {"ZSHOW", "ZSH", MCommand::Plain, false, "ZSHOW: shows process information"},
}};

// HALT and HANG share "H": with an argument it is HANG, without it HALT; the parser decides.
constexpr MCommand kHaltOrHang = {"HANG", "H", MCommand::Plain, false,
                                  "HALT (no argument) ends the process; HANG waits"};
constexpr MCommand kOtherZCommand = {"Z", nullptr, MCommand::Plain, false,
                                     "platform-specific Z command"};

// Command words are ASCII letters only (the parser reads no others into a word).
char16_t upper(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'a' && u <= u'z' ? char16_t(u - 32) : u;
}

bool sameWord(QStringView word, const char *name)
{
    if (upper(word[0]) != char16_t(name[0]))
        return false;
    int i = 1;
    for (; name[i]; ++i) {
        if (i >= word.size() || upper(word[i]) != char16_t(name[i]))
            return false;
    }
    return i == word.size();
}

// The commands by the letter they start with, so a lookup compares only a few names.
struct ByLetter
{
    std::vector<const MCommand *> lists[26];
    ByLetter()
    {
        for (const MCommand &command : kCommands)
            lists[command.name[0] - 'A'].push_back(&command);
    }
};

const MCommand *lookupByName(QStringView word, bool objectScript);

// Most code is written with one-letter commands: those are answered by the letter alone.
struct OneLetter
{
    const MCommand *commands[2][26];
    OneLetter()
    {
        for (int objectScript = 0; objectScript < 2; ++objectScript) {
            for (int letter = 0; letter < 26; ++letter) {
                const char16_t word = char16_t(u'A' + letter);
                commands[objectScript][letter] = lookupByName(QStringView(&word, 1), objectScript != 0);
            }
        }
    }
};

const MCommand *lookupByName(QStringView word, bool objectScript)
{
    if (word.isEmpty())
        return nullptr;
    const char16_t first = upper(word[0]);
    if (first < u'A' || first > u'Z')
        return nullptr;
    if (word.size() == 1 && first == u'H')
        return &kHaltOrHang;
    static const ByLetter byLetter;
    for (const MCommand *candidate : byLetter.lists[first - u'A']) {
        const MCommand &command = *candidate;
        if (command.objectScript && !objectScript)
            continue;
        if (sameWord(word, command.name)
            || (command.abbreviation && sameWord(word, command.abbreviation)))
            return &command;
    }
    if (upper(word[0]) == u'Z')
        return &kOtherZCommand;
    return nullptr;
}

} // namespace

const MCommand *MCommandTable::lookup(QStringView word, bool objectScript)
{
    if (word.size() == 1) {
        static const OneLetter oneLetter;
        const char16_t letter = upper(word[0]);
        if (letter >= u'A' && letter <= u'Z')
            return oneLetter.commands[objectScript ? 1 : 0][letter - u'A'];
    }
    return lookupByName(word, objectScript);
}
