#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QTextDocument;

// The undo history of a source document as its users see it: Qt's undo stack
// cut into named steps, and a journal of the edits each step made.
//
// Qt reports an undone or redone step as one change spanning all its edits,
// which would take the line data of every line in between; the journal lets
// undo and redo report each edit of the step on its own instead.
//
// The document drives it: every change it sees is recorded, every undo command
// Qt adds is noted, and an undo or redo is bracketed so that the change it
// raises can be replayed from the journal.
class UndoHistory
{
public:
    // One edit of an undone or redone step, where it applies to the lines as
    // they stand after the edits before it.
    struct Replay
    {
        int column;
        int line;
        QString removed;
        QString inserted;
    };

    explicit UndoHistory(QTextDocument *text);

    // --- steps ----------------------------------------------------------------
    int stepCount() const;
    // k = 0 is the most recent step.
    QString stepDescription(int k) const;
    QString pendingDescription() const { return m_pendingDescription; }
    // The description the next step gets.
    void setPendingDescription(const QString &description) { m_pendingDescription = description; }
    // While set, a command Qt adds extends the last step instead of starting one.
    void setJoining(bool joining) { m_joining = joining; }
    // Qt added an undo command.
    void commandAdded();
    // Qt's undo position moved (a change was made).
    void notePosition();
    // Qt's history was bypassed, so the steps no longer describe it.
    void forgetSteps();
    // An emptied document: no steps, no journal.
    void clear();

    // --- journal --------------------------------------------------------------
    // Records one change as the notifications report it: at position, removed
    // gave way to inserted.
    void record(int position, const QString &removed, const QString &inserted);
    void clearJournal();
    // Brackets an undo or redo; the change it raises is taken by takeReplay.
    void beginHistoryStep(bool redo);
    void endHistoryStep();
    bool replayPending() const { return m_historyStep != 0; }
    // The edits of the step just undone or redone, when they lead exactly from
    // lines to Qt's text; else False, and the change is taken as Qt reports it.
    bool takeReplay(const QStringList &lines, std::vector<Replay> &edits);

    // The line and column of a character position of lines.
    static bool cellOf(const QStringList &lines, int position, int &column, int &line);

private:
    struct JournalEdit
    {
        int undoPosition;   // Qt's undo position right after the edit
        int position;
        QString removed;
        QString inserted;
    };

    QTextDocument *m_text;

    // The undo stack positions at which Qt closed a step, oldest first, and the
    // description of each step.
    std::vector<int> m_stepEnds;
    QStringList m_stepDescriptions;
    int m_lastAvailable = 0;          // Qt's undo position after the last change
    QString m_pendingDescription;
    bool m_joining = false;           // the running edit extends the last step

    std::vector<JournalEdit> m_journal;
    int m_journalPosition = 0;        // Qt's undo position the journal last followed
    int m_historyStep = 0;            // -1 an undo, +1 a redo waits for its change
    bool m_inHistory = false;         // an undo or redo is running
};
