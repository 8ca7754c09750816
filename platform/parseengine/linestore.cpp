#include "linestore.h"

#include <algorithm>

LineStore::Line *LineStore::findSparse(int serial)
{
    const auto it = m_sparse.find(serial);
    return it == m_sparse.end() ? nullptr : &it->second;
}

LineStore::Line *LineStore::create(int serial)
{
    ++m_count;
    if (serial > 0 && serial < DenseLimit) {
        const size_t chunk = size_t(serial) >> ChunkBits;
        if (chunk >= m_chunks.size())
            m_chunks.resize(chunk + 1);
        if (!m_chunks[chunk])
            m_chunks[chunk] = std::make_unique<Line[]>(ChunkSize);
        Line &line = m_chunks[chunk][serial & (ChunkSize - 1)];
        line.present = true;
        return &line;
    }
    return &m_sparse[serial];
}

void LineStore::erase(int serial)
{
    --m_count;
    if (serial > 0 && serial < DenseLimit)
        m_chunks[size_t(serial) >> ChunkBits][serial & (ChunkSize - 1)] = Line();
    else
        m_sparse.erase(serial);
}

bool LineStore::insertAfter(int serial, const QString &text, int length, int previous)
{
    if (serial == 0 || previous == serial || (previous != 0 && !find(previous)))
        return false;
    length = std::clamp(length, 0, int(text.size()));
    Line *line = find(serial);
    if (line) {
        unlink(serial, *line);
        setText(*line, text, length);
    } else {
        line = create(serial);
        keepText(*line, text, length);
    }
    line->reportedBlockStart = -1;
    line->previous = previous;
    if (previous == 0) {
        line->next = m_first;
        m_first = serial;
    } else {
        Line *before = find(previous);
        line->next = before->next;
        before->next = serial;
    }
    if (line->next != 0)
        find(line->next)->previous = serial;
    return true;
}

int LineStore::remove(int serial, int count)
{
    int removed = 0;
    while (removed < count && serial != 0) {
        Line *line = find(serial);
        if (!line)
            break;
        const int next = line->next;
        unlink(serial, *line);
        erase(serial);
        serial = next;
        ++removed;
    }
    return removed;
}

bool LineStore::setText(Line &line, QStringView text)
{
    if (line.text() == text)
        return false;
    line.storage = text.toString();
    line.length = int(line.storage.size());
    line.textVersion = ++m_lastTextVersion;
    line.summaryStamp = 0;
    return true;
}

void LineStore::setText(Line &line, const QString &text, int length)
{
    if (line.text() != QStringView(text.constData(), length))
        keepText(line, text, length);
}

void LineStore::keepText(Line &line, const QString &text, int length)
{
    // A ZeroPad'ed text is twice its line: kept whole, it costs no copy. Anything with
    // more to spare is cut, so that a stray huge argument does not stay alive.
    if (2 * qsizetype(length) >= text.size()) {
        line.storage = text;
        line.length = length;
    } else {
        line.storage = text.left(length);
        line.length = int(line.storage.size());
    }
    line.textVersion = ++m_lastTextVersion;
    line.summaryStamp = 0;
}

void LineStore::unlink(int serial, Line &line)
{
    if (line.previous != 0)
        find(line.previous)->next = line.next;
    else if (m_first == serial)
        m_first = line.next;
    if (line.next != 0)
        find(line.next)->previous = line.previous;
    line.previous = 0;
    line.next = 0;
}
