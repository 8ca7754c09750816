#pragma once

#include "iparseengine.h"
#include "vantrelerror.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A Parse Engine for tests: it answers from a script instead of parsing M, and records
// every call so a test can check what the code under test asked for and in which order.
//
// Replies are looked up per entry reference (for xecute: the command text), in this order:
//   1. one-shot replies queued for the entry (queue / queueMatching), first match first,
//      each consumed when it answers; this is how a test plays a multi-line statement
//      or a "MoreToks^PARSE" continuation reply by reply;
//   2. standing replies whose argument matcher accepts the call, the latest added first;
//   3. the standing default reply of the entry (on), the latest added;
//   4. built-in answers: "w $$NewHand^PARSE" hands out 1, 2, 3 … so several wrappers
//      get their own handles; everything else answers the fallback ("" unless set).
// A reply is a text (which may itself be "ERROR:…"), a thrown VantrelError, or computed
// by a function of the call.
class ScriptedEngine : public IParseEngine
{
public:
    struct Call
    {
        bool isXecute = false;   // xecute(command) rather than call(entry, handle, args)
        QString entry;           // the entry reference, or the command text of an xecute
        int handle = 0;          // 0 for xecute
        QVariantList args;       // copies of what the caller passed, handle not included

        // Argument i (0-based) as text, with a ZeroPad-ed text reduced to its first half.
        QString text(int i) const;
    };

    class Reply
    {
    public:
        Reply(const QString &text = QString()) : m_text(text) {}          // NOLINT: implicit on purpose
        Reply(const char *text) : m_text(QString::fromUtf8(text)) {}      // NOLINT
        static Reply error(std::uint32_t number, const QString &description);
        static Reply computed(std::function<QString(const Call &)> compute);

        QString answer(const Call &call) const;   // throws the scripted error, if any

    private:
        QString m_text;
        std::optional<VantrelError> m_error;
        std::function<QString(const Call &)> m_compute;
    };

    using Matcher = std::function<bool(const QVariantList &args)>;

    ScriptedEngine() = default;

    // Standing default reply of an entry.
    ScriptedEngine &on(const QString &entry, const Reply &reply);
    // Standing reply for calls whose arguments equal `args` (see argsEqual).
    ScriptedEngine &on(const QString &entry, const QVariantList &args, const Reply &reply);
    ScriptedEngine &onMatching(const QString &entry, Matcher matcher, const Reply &reply);

    // One-shot replies, answered in the order queued.
    ScriptedEngine &queue(const QString &entry, const Reply &reply);
    ScriptedEngine &queue(const QString &entry, const QVariantList &args, const Reply &reply);
    ScriptedEngine &queueMatching(const QString &entry, Matcher matcher, const Reply &reply);

    // Answer for anything not scripted (default "").
    ScriptedEngine &fallback(const Reply &reply);

    // What connected() reports (default true).
    void setConnected(bool connected) { m_connected = connected; }

    // Number of one-shot replies of `entry` not yet consumed (all entries when empty).
    int pendingReplies(const QString &entry = QString()) const;

    const std::vector<Call> &calls() const { return m_calls; }
    std::vector<Call> callsTo(const QString &entry) const;
    // The entry of every call in order, for checking a sequence at a glance.
    QStringList entries() const;
    void clearCalls() { m_calls.clear(); }

    // Loose argument equality: numbers and Booleans compare by value (an int 7 equals a
    // qint64 7 and a double 7.0, true equals -1 as VB passes it), everything else by text.
    // An invalid QVariant in `expected` matches any argument.
    static bool argsEqual(const QVariantList &expected, const QVariantList &actual);

    // The first half of a ZeroPad-ed text when the second half is all U+0000; else the text.
    static QString unpad(const QString &padded);

    // IParseEngine
    bool connected() const override { return m_connected; }
    QString xecute(const QString &command) override;
    QString call(const QString &entryRef, int handle, const QVariantList &args) override;

private:
    struct Rule
    {
        QString entry;
        Matcher matcher;   // empty: any arguments
        Reply reply;
    };

    QString answer(const Call &call);

    std::vector<Call> m_calls;
    std::deque<Rule> m_queued;      // one-shot, FIFO
    std::vector<Rule> m_standing;   // searched from the back: later rules override earlier
    Reply m_fallback;
    int m_nextHandle = 1;
    bool m_connected = true;
};

// Builders for "Begin^PARSE" and "MoreToks^PARSE" reply texts, so lexer tests can write
// their canned replies as structure rather than as strings of numbers.
namespace ParseReply {

// "class start length attr"
QString token(int tokenClass, int start, int length, int attr = 0);
// "flags depth" followed by "\" and each token
QString lineItem(int flags, int depth, const QStringList &tokens = {});
// "state count more" followed by "^" and each line item
QString begin(int state, int count, int more, const QStringList &lineItems);
// "more" followed by "^" and each line item
QString moreToks(int more, const QStringList &lineItems);

} // namespace ParseReply

// Installs an engine as the one makeParseEngine() hands out, for the life of the object;
// a null engine takes the "engine missing" path. The default factory comes back after.
class ScopedParseEngine
{
public:
    explicit ScopedParseEngine(std::shared_ptr<IParseEngine> engine);
    ~ScopedParseEngine();
    ScopedParseEngine(const ScopedParseEngine &) = delete;
    ScopedParseEngine &operator=(const ScopedParseEngine &) = delete;
};
