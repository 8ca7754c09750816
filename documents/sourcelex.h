#pragma once

#include "isourcelex.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <algorithm>
#include <list>
#include <utility>
#include <vector>

class VanNgine;

// One token of a line as the source view colours it.
struct ProxySourceToken
{
    int TokenType = 0;    // token class; 0 ends the line
    int Start = 0;        // 0-based column
    int Length = 0;
    int Attributes = 0;   // 0..15
};

// What the lexer keeps of one editor line.
struct CodeLine
{
    std::vector<ProxySourceToken> ParseTokens;   // none for an empty line
    bool Parsed = false;                         // ParseTokens hold the line's parse
    int LineLength = 0;                          // length of the text that was parsed
    QString Label;                               // "" for none or a duplicate
    QString Duplicate;                           // the label in the text of a duplicate: it
                                                 // becomes the label once the first one goes
    bool TextStale = false;                      // edited while lines were moving: the
                                                 // engine and label get it afterwards
};

// Label name to 1-based line, in line order (walked backwards to find the label above a line).
class LabelIndex
{
public:
    bool contains(const QString &label) const { return m_lines.contains(label); }
    int line(const QString &label) const { return m_lines.value(label, 0); }
    int count() const { return int(m_order.size()); }
    const std::vector<std::pair<QString, int>> &entries() const { return m_order; }

    void add(const QString &label, int line);
    void remove(const QString &label);
    void rename(const QString &from, const QString &to);

private:
    std::vector<std::pair<QString, int>> m_order;
    QHash<QString, int> m_lines;
};

// The colouring and label engine of one code window. It answers the source view's scan
// calls from a per-line token cache filled by the Parse Engine, parses on demand only the
// painted lines that have no tokens, drains a queue of further lines one per timer tick,
// keeps the engine's copy of the text in step under line serials, and keeps the label
// index of the routine.
class SourceLex : public QObject, public ISourceLex
{
    Q_OBJECT

public:
    explicit SourceLex(QObject *parent = nullptr);
    ~SourceLex() override;

    void Attach(SourceDocument *document);
    void Detach();
    SourceDocument *document() const { return m_doc; }
    void InitializeDoc();

    // Set once; null clears. A second set throws VantrelError, even with the same object.
    void setVanNgine(VanNgine *engine);
    VanNgine *vanNgine() const { return m_engine; }

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool CanEnable() const;

    const LabelIndex &Labels();
    int lenLABEL() const { return m_lenLabel; }

    void TimerTick();
    void QueueLineForParse(int line, bool forceToEnd, bool forceRepaint);
    void CheckLineSync(int line);
    // The text with every label's closing blank already the TAB that CheckLineSync would
    // put there line by line: a routine loaded this way costs no edit per line.
    QString withLabelTabs(const QString &text) const;
    void OnLinesInserted(int fromLine, int toLine);
    void OnLinesDeleted(int fromLine, int toLine);
    // The window calls this for lines whose text changed in place: their tokens go, the
    // engine gets their new text under the same serial and their label is read again.
    void FlushCache(int fromLine, int toLine);

    // Scan calls of the source view, one line at a time.
    void BeginLineScan(SourceDocument *document, int line, const QString &lineText,
                       int reserved) override;
    void ScanToken(SourceToken &token) override;
    int GetLineIndex() override;
    void SetLineIndex(int column) override;
    void EndLineScan(SourceDocument *document, bool &scanNextLine) override;
    int GetDesiredCase() override { return 0; }
    int GetProperties() override { return 0; }

    // Inspection for the window and tests.
    int codeLineCount() const { return int(m_codeLines.size()); }
    const CodeLine &codeLine(int line) const { return m_codeLines.at(line); }
    const std::vector<int> &serials() const { return m_serials; }
    std::vector<int> queuedLines() const;
    bool hasQueuedLines() const { return !m_queue.empty(); }
    int queuedLineCount() const { return int(m_queue.size()); }
    // A tick is under way (it may have run an event loop): another one returns at once.
    bool tickRunning() const { return m_tickBusy; }
    bool labelIndexBuilt() const { return m_labelsBuilt; }

signals:
    void EnableTimer(bool enable);
    void LabelsChanged();
    void LabelRevised(int line, const QString &oldLabel, const QString &newLabel);

private:
    struct QueueEntry
    {
        int line;
        bool forceRepaint;
    };

    void ParseLine(int line, int &first, int &last, bool &changed);
    void ParseLineCore(int line, int &first, int &last, bool &changed);
    bool parseStatementLine(QStringView item, int line, quint32 &lineFlags);
    void reportParseError(const QString &text);

    quint32 flags(int line) const;
    void setFlags(int line, quint32 value);
    int serialOf(int line) const;
    void flushTokens(int line);
    void flushAndQueue(int line);
    void dropLabelIndexes();
    QString labelOf(const QString &text, int *spaceToReplace) const;
    void replaceSpaceWithTab(int line, int column);
    void reviveFormerDuplicate(const QString &label, int exceptLine);
    void refreshLine(int line);
    void refreshStaleLines();

    SourceDocument *m_doc = nullptr;   // the editor document, host of line data and repaints
    VanNgine *m_engine = nullptr;      // the routine's engine; not owned
    bool m_enabled = false;            // colouring on
    std::vector<CodeLine> m_codeLines; // one per editor line
    std::vector<int> m_serials;        // each line's name inside the engine
    int m_serialCounter = 0;           // never restarts: the engine keeps old serials alive
    std::list<QueueEntry> m_queue;     // lines waiting for the parse timer, front first
    // Each queued line's place in m_queue, whatever number a caller passes: a long routine
    // queues tens of thousands of lines, and every queue and tick finds its line here.
    QHash<int, std::list<QueueEntry>::iterator> m_queued;
    LabelIndex m_labels;               // valid only while m_labelsBuilt
    QHash<QString, int> m_duplicates;  // label -> 1-based line of its indexed occurrence
    bool m_labelsBuilt = false;        // dropped on line inserts/deletes, rebuilt on demand
    int m_lenLabel = 8;                // longest label the engine accepts
    int m_staleLines = 0;              // lines marked TextStale

    int m_scanLine = -1;               // line being scanned
    quint32 m_scanFlags = 0;           // its flag word at BeginLineScan
    std::vector<ProxySourceToken> m_scanTokens;
    int m_scanCursor = 0;              // tokens delivered so far
    int m_plainLength = 0;             // negated once the plain token has gone out

    bool m_tickBusy = false;           // a tick waits on the engine
    bool m_parseBusy = false;          // a parse waits on the engine
    bool m_repaintInProgress = false;  // a tick repaints: flushes it raises are ignored
};
