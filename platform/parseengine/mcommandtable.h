#pragma once

#include <QStringView>

// The M command words the engine recognises, full and abbreviated. Any word that starts with
// Z is a platform extension and is accepted as it stands.
struct MCommand
{
    enum Kind {
        Plain,        // arguments are expressions
        EntryRefs,    // DO, GOTO, JOB, ZBREAK, ZPRINT: arguments start with an entry reference
        Formatted,    // WRITE, READ: "!", "#", "?col", "/mnemonic" may start an argument
        NoArguments,  // ELSE, TRY and the like never take arguments
    };

    const char *name;         // full name, upper case
    const char *abbreviation; // accepted short form, nullptr when only the full name counts
    Kind kind;
    bool objectScript;        // only for platforms that speak ObjectScript
    const char *description;  // shown as the hover tip over the command word
};

class MCommandTable
{
public:
    // The command that `word` names (case-insensitive), or nullptr. `objectScript` admits
    // the ObjectScript extras (WHILE, TRY, THROW, ...).
    static const MCommand *lookup(QStringView word, bool objectScript);
};
