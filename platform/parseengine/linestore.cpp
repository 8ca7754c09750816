#include "linestore.h"

LineStore::Line *LineStore::find(int serial)
{
    const auto it = m_lines.find(serial);
    return it == m_lines.end() ? nullptr : &it->second;
}

const LineStore::Line *LineStore::find(int serial) const
{
    const auto it = m_lines.find(serial);
    return it == m_lines.end() ? nullptr : &it->second;
}

bool LineStore::insertAfter(int serial, const QString &text, int previous)
{
    if (serial == 0 || previous == serial || (previous != 0 && !find(previous)))
        return false;
    Line *existing = find(serial);
    if (existing) {
        unlink(serial, *existing);
        setText(*existing, text);
    }
    Line &line = existing ? *existing : m_lines[serial];
    if (!existing)
        line.text = text;
    line.reportedBlockStart = -1;
    line.previous = previous;
    if (previous == 0) {
        line.next = m_first;
        m_first = serial;
    } else {
        Line &before = m_lines[previous];
        line.next = before.next;
        before.next = serial;
    }
    if (line.next != 0)
        m_lines[line.next].previous = serial;
    return true;
}

int LineStore::remove(int serial, int count)
{
    int removed = 0;
    while (removed < count && serial != 0) {
        auto it = m_lines.find(serial);
        if (it == m_lines.end())
            break;
        const int next = it->second.next;
        unlink(serial, it->second);
        m_lines.erase(it);
        serial = next;
        ++removed;
    }
    return removed;
}

bool LineStore::setText(Line &line, const QString &text)
{
    if (line.text == text)
        return false;
    line.text = text;
    line.parsed.reset();
    line.parsedStamp = 0;
    return true;
}

void LineStore::unlink(int serial, Line &line)
{
    if (line.previous != 0)
        m_lines[line.previous].next = line.next;
    else if (m_first == serial)
        m_first = line.next;
    if (line.next != 0)
        m_lines[line.next].previous = line.previous;
    line.previous = 0;
    line.next = 0;
}
