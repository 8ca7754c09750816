// Drives a real SourceView through thousands of random edits and checks, after
// each one, the text, the line data and the change notifications against a
// plain model of the control's rules.
#include "notificationlog.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <array>
#include <gtest/gtest.h>

namespace {

using Slots = std::array<int, 3>;

// The control's rules, written out with nothing but vectors.
struct Model
{
    std::vector<QString> lines{QString()};
    std::vector<Slots> data{Slots{}};

    // Removes `text` starting at (c, l); the text must be there.
    Notification remove(int c, int l, const QString &text)
    {
        const int breaks = int(text.count('\n'));
        const int l2 = l + breaks;
        const int c2 = breaks == 0 ? c + int(text.size()) : int(text.size() - text.lastIndexOf('\n') - 1);
        const QString merged = lines[size_t(l)].left(c) + lines[size_t(l2)].mid(c2);
        if (c == 0 && l2 > l)
            data[size_t(l)] = data[size_t(l2)];   // the old line l2 survives
        data.erase(data.begin() + l + 1, data.begin() + l2 + 1);
        lines.erase(lines.begin() + l + 1, lines.begin() + l2 + 1);
        lines[size_t(l)] = merged;
        return {'D', c, l, c2, l2};
    }

    Notification insert(int c, int l, const QString &text)
    {
        const QStringList pieces = text.split('\n');
        const int k = int(pieces.size()) - 1;
        const QString before = lines[size_t(l)].left(c);
        const QString after = lines[size_t(l)].mid(c);
        std::vector<QString> replacement;
        for (int i = 0; i <= k; ++i)
            replacement.push_back((i == 0 ? before : QString()) + pieces[i] + (i == k ? after : QString()));
        lines.erase(lines.begin() + l);
        lines.insert(lines.begin() + l, replacement.begin(), replacement.end());
        // New lines start with zeros: above the old line at column 0, below it otherwise.
        data.insert(data.begin() + (c == 0 ? l : l + 1), size_t(k), Slots{});
        const int c2 = k == 0 ? c + int(text.size()) : int(pieces[k].size());
        return {'I', c, l, c2, l + k};
    }

    // Replacing text by the same text changes nothing, and nothing is reported.
    void replace(int c, int l, const QString &removed, const QString &inserted,
                 std::vector<Notification> &expected)
    {
        if (removed == inserted)
            return;
        if (!removed.isEmpty())
            expected.push_back(remove(c, l, removed));
        if (!inserted.isEmpty())
            expected.push_back(insert(c, l, inserted));
    }

    QString textBetween(int c1, int l1, int c2, int l2) const
    {
        if (l1 == l2)
            return lines[size_t(l1)].mid(c1, c2 - c1);
        QString out = lines[size_t(l1)].mid(c1);
        for (int l = l1 + 1; l < l2; ++l)
            out += '\n' + lines[size_t(l)];
        return out + '\n' + lines[size_t(l2)].left(c2);
    }
};

// One undo step: at (c, l), `removed` was taken out and `inserted` put in.
struct Step
{
    int c, l;
    QString removed;
    QString inserted;
};

class RandomEdits
{
public:
    explicit RandomEdits(quint32 seed) : m_rng(seed), m_doc(m_view.Document()), m_log(*m_doc)
    {
        m_doc->SetExtraData(3);
        m_view.resize(400, 300);
    }

    void run(int edits)
    {
        for (int i = 0; i < edits; ++i) {
            std::vector<Notification> expected;
            const int choice = int(m_rng.bounded(100));
            m_history += QString::number(choice) + ' ';
            if (choice < 25)
                typeText(expected);
            else if (choice < 37)
                pressEnter(expected);
            else if (choice < 50)
                paste(expected);
            else if (choice < 60)
                deleteRange(expected);
            else if (choice < 70)
                typeOverSelection(expected);
            else if (choice < 80)
                undo(expected);
            else if (choice < 87)
                redo(expected);
            else if (choice < 92)
                overtype(expected);
            else
                setData();
            ASSERT_NO_FATAL_FAILURE(check(expected, i));
        }
    }

private:
    int randomLine() { return int(m_rng.bounded(quint32(m.lines.size()))); }
    int randomColumn(int line) { return int(m_rng.bounded(quint32(m.lines[size_t(line)].size() + 1))); }
    QString randomText(int maxLines)
    {
        static const char alphabet[] = "abcXYZ ;.\t";
        QString out;
        const int lines = int(m_rng.bounded(quint32(maxLines)));
        for (int l = 0; l <= lines; ++l) {
            if (l > 0)
                out += '\n';
            const int len = int(m_rng.bounded(5u));
            for (int i = 0; i < len; ++i)
                out += QLatin1Char(alphabet[m_rng.bounded(quint32(sizeof(alphabet) - 1))]);
        }
        return out;
    }
    void push(const Step &step)
    {
        m_undo.push_back(step);
        m_redo.clear();
    }
    // An edit other than typing put `inserted` in place of `removed` at (c, l): the model
    // follows, the edit is one undo step, and the next typing starts a step of its own.
    void edited(int c, int l, const QString &removed, const QString &inserted,
                std::vector<Notification> &expected)
    {
        m.replace(c, l, removed, inserted, expected);
        push({c, l, removed, inserted});
        m_lastTypingEnd = {-1, -1};
    }
    // A random non-empty range, ordered.
    bool randomRange(int &c1, int &l1, int &c2, int &l2)
    {
        l1 = randomLine();
        l2 = std::min(l1 + int(m_rng.bounded(3u)), int(m.lines.size()) - 1);
        c1 = randomColumn(l1);
        c2 = randomColumn(l2);
        if (l1 == l2 && c2 < c1)
            std::swap(c1, c2);
        return !(l1 == l2 && c1 == c2);
    }

    void typeText(std::vector<Notification> &expected)
    {
        const int l = randomLine();
        const int c = randomColumn(l);
        m_view.SetCaret(c, l);
        const int count = 1 + int(m_rng.bounded(3u));
        QString typed;
        for (int i = 0; i < count; ++i) {
            const char ch = "abcxyz.;"[m_rng.bounded(8u)];
            QTest::keyClick(&m_view, ch);
            expected.push_back(m.insert(c + i, l, QString(QLatin1Char(ch))));
            typed += QLatin1Char(ch);
        }
        // Typing where the previous typing stopped continues its step.
        if (m_lastTypingEnd == std::make_pair(c, l) && !m_undo.empty())
            m_undo.back().inserted += typed;
        else
            push({c, l, QString(), typed});
        m_redo.clear();
        m_lastTypingEnd = {c + count, l};
    }

    void pressEnter(std::vector<Notification> &expected)
    {
        const int l = randomLine();
        const int c = m_rng.bounded(2u) ? 0 : randomColumn(l);
        m_view.SetCaret(c, l);
        QTest::keyClick(&m_view, Qt::Key_Return);
        edited(c, l, QString(), "\n", expected);
    }

    void paste(std::vector<Notification> &expected)
    {
        int c1, l1, c2, l2;
        const bool selection = m_rng.bounded(2u) && randomRange(c1, l1, c2, l2);
        if (!selection) {
            l1 = l2 = randomLine();
            c1 = c2 = randomColumn(l1);
        }
        QString text = randomText(4);
        if (text.isEmpty())
            text = "p";
        QString clipboard = text;
        clipboard.replace('\n', "\r\n");   // the clipboard of other programs
        QGuiApplication::clipboard()->setText(clipboard);
        m_view.SetSelection(c1, l1, c2, l2);
        m_view.ExecuteCommand(SourceView::CmdPaste);
        edited(c1, l1, m.textBetween(c1, l1, c2, l2), text, expected);
    }

    void deleteRange(std::vector<Notification> &expected)
    {
        int c1, l1, c2, l2;
        if (!randomRange(c1, l1, c2, l2))
            return;
        m_view.SetSelection(c2, l2, c1, l1);   // backwards selections too
        m_view.ExecuteCommand(SourceView::CmdDelete);
        edited(c1, l1, m.textBetween(c1, l1, c2, l2), QString(), expected);
    }

    void typeOverSelection(std::vector<Notification> &expected)
    {
        int c1, l1, c2, l2;
        if (!randomRange(c1, l1, c2, l2))
            return;
        m_view.SetSelection(c1, l1, c2, l2);
        QTest::keyClick(&m_view, 'q');
        edited(c1, l1, m.textBetween(c1, l1, c2, l2), "q", expected);
    }

    void overtype(std::vector<Notification> &expected)
    {
        const int l = randomLine();
        const int c = randomColumn(l);
        m_view.SetOvertype(true);
        m_view.SetCaret(c, l);
        QTest::keyClick(&m_view, 'o');
        m_view.SetOvertype(false);
        // At the end of a line overtype inserts; elsewhere it replaces one character.
        edited(c, l, m.lines[size_t(l)].mid(c, 1), "o", expected);
    }

    void undo(std::vector<Notification> &expected) { replay(true, expected); }
    void redo(std::vector<Notification> &expected) { replay(false, expected); }

    // Undo takes the last step off the undo stack and reverses it; redo takes it back off
    // the redo stack and does it again.
    void replay(bool back, std::vector<Notification> &expected)
    {
        std::vector<Step> &from = back ? m_undo : m_redo;
        std::vector<Step> &to = back ? m_redo : m_undo;
        ASSERT_EQ(back ? m_doc->CanUndo() : m_doc->CanRedo(), !from.empty());
        if (from.empty())
            return;
        const Step step = from.back();
        from.pop_back();
        if (back) {
            m_doc->Undo();
            m.replace(step.c, step.l, step.inserted, step.removed, expected);
        } else {
            m_doc->Redo();
            m.replace(step.c, step.l, step.removed, step.inserted, expected);
        }
        to.push_back(step);
        m_lastTypingEnd = {-1, -1};
    }

    void setData()
    {
        const int l = randomLine();
        const int slot = 1 + int(m_rng.bounded(2u));
        const int value = int(m_rng.bounded(1000000u)) + 1;
        m_doc->SetLineData(l, slot, value);
        m.data[size_t(l)][size_t(slot)] = value;
    }

    void check(const std::vector<Notification> &expected, int step)
    {
        SCOPED_TRACE(testing::Message() << "edit " << step << " choices " << m_history.toStdString());
        ASSERT_EQ(m_log.take(), expected);
        ASSERT_EQ(m_doc->NumLines(), int(m.lines.size()));
        ASSERT_EQ(m_view.document()->blockCount(), int(m.lines.size()));
        for (int l = 0; l < m_doc->NumLines(); ++l) {
            ASSERT_EQ(m_doc->GetLine(l), m.lines[size_t(l)]) << "line " << l;
            ASSERT_EQ(m_view.document()->findBlockByNumber(l).text(), m.lines[size_t(l)]) << "line " << l;
            for (int s = 1; s < 3; ++s)
                ASSERT_EQ(m_doc->GetLineData(l, s), m.data[size_t(l)][size_t(s)])
                    << "line " << l << " slot " << s;
        }
        ASSERT_EQ(m_doc->UndoStepCount(), int(m_undo.size()));
    }

    QRandomGenerator m_rng;
    SourceView m_view;
    SourceDocument *m_doc;
    NotificationLog m_log;
    Model m;
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    std::pair<int, int> m_lastTypingEnd{-1, -1};
    QString m_history;   // the choices so far, for the failure message
};

} // namespace

TEST(SourceViewEdits, RandomEditsKeepLineDataAndNotificationsExact)
{
    for (quint32 seed : {1u, 7u, 4242u}) {
        SCOPED_TRACE(seed);
        RandomEdits edits(seed);
        edits.run(1500);
        if (HasFatalFailure())
            return;
    }
}

namespace {

// Steps made of several edits at random places (as a key whose handlers edit
// more than one line, or Replace All), undone and redone at random: every edit
// of a step is reported on its own, so the line data follow each of them.
class RandomGroupedSteps
{
public:
    explicit RandomGroupedSteps(quint32 seed) : m_rng(seed), m_log(m_doc)
    {
        m_doc.SetExtraData(3);
        m_doc.InsertImpl(0, 0, "a\nbb\nccc\ndddd\ne");
        m.lines = {"a", "bb", "ccc", "dddd", "e"};
        m.data.assign(5, Slots{});
        m_log.take();
    }

    void run(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            std::vector<Notification> expected;
            const int choice = int(m_rng.bounded(10u));
            if (choice < 5)
                groupedStep(expected);
            else if (choice < 7)
                undo(expected);
            else if (choice < 9)
                redo(expected);
            else
                setData();
            SCOPED_TRACE(testing::Message() << "step " << i << " choice " << choice);
            ASSERT_EQ(m_log.take(), expected);
            ASSERT_EQ(m_doc.NumLines(), int(m.lines.size()));
            for (int l = 0; l < m_doc.NumLines(); ++l) {
                ASSERT_EQ(m_doc.GetLine(l), m.lines[size_t(l)]) << "line " << l;
                for (int s = 1; s < 3; ++s)
                    ASSERT_EQ(m_doc.GetLineData(l, s), m.data[size_t(l)][size_t(s)]) << "line " << l;
            }
        }
    }

private:
    struct Edit
    {
        int c, l;
        QString removed, inserted;
    };

    void groupedStep(std::vector<Notification> &expected)
    {
        std::vector<Edit> edits;
        bool anyEdit = false;   // replacing text by the same text is still an undo step
        m_doc.beginUndoGroup("Group");
        const int count = 1 + int(m_rng.bounded(3u));
        for (int i = 0; i < count; ++i) {
            int l1 = int(m_rng.bounded(quint32(m.lines.size())));
            int l2 = std::min(l1 + int(m_rng.bounded(2u)), int(m.lines.size()) - 1);
            int c1 = int(m_rng.bounded(quint32(m.lines[size_t(l1)].size() + 1)));
            int c2 = int(m_rng.bounded(quint32(m.lines[size_t(l2)].size() + 1)));
            if (l1 == l2 && c2 < c1)
                std::swap(c1, c2);
            const QString text = m_rng.bounded(3u) == 0 ? QString()
                                 : m_rng.bounded(2u) ? QStringLiteral("x\ny")
                                                     : QStringLiteral("z");
            const QString removed = m.textBetween(c1, l1, c2, l2);
            int a = l1, b = l2;
            m_doc.InsertOverwrite(c1, a, c2, b, text);
            m.replace(c1, l1, removed, text, expected);
            anyEdit = anyEdit || !removed.isEmpty() || !text.isEmpty();
            if (removed != text)
                edits.push_back({c1, l1, removed, text});
        }
        m_doc.endUndoGroup();
        if (anyEdit) {
            m_undo.push_back(edits);
            m_redo.clear();
        }
    }

    void undo(std::vector<Notification> &expected)
    {
        if (m_undo.empty())
            return;
        const std::vector<Edit> edits = m_undo.back();
        m_undo.pop_back();
        m_doc.Undo();
        for (auto it = edits.rbegin(); it != edits.rend(); ++it)
            m.replace(it->c, it->l, it->inserted, it->removed, expected);
        m_redo.push_back(edits);
    }

    void redo(std::vector<Notification> &expected)
    {
        if (m_redo.empty())
            return;
        const std::vector<Edit> edits = m_redo.back();
        m_redo.pop_back();
        m_doc.Redo();
        for (const Edit &e : edits)
            m.replace(e.c, e.l, e.removed, e.inserted, expected);
        m_undo.push_back(edits);
    }

    void setData()
    {
        const int l = int(m_rng.bounded(quint32(m.lines.size())));
        const int value = int(m_rng.bounded(1000000u)) + 1;
        m_doc.SetLineData(l, 1, value);
        m.data[size_t(l)][1] = value;
    }

    QRandomGenerator m_rng;
    SourceDocument m_doc;
    NotificationLog m_log;
    Model m;
    std::vector<std::vector<Edit>> m_undo;
    std::vector<std::vector<Edit>> m_redo;
};

} // namespace

TEST(SourceDocumentEdits, UndoAndRedoOfStepsWithSeveralEditsFollowEachEdit)
{
    for (quint32 seed : {3u, 11u, 2024u}) {
        SCOPED_TRACE(seed);
        RandomGroupedSteps steps(seed);
        steps.run(600);
        if (HasFatalFailure())
            return;
    }
}
