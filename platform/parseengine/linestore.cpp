#include "linestore.h"

LineStore::Line *LineStore::find(int serial)
{
    if (serial > 0 && serial < DenseLimit) {
        const size_t chunk = size_t(serial) >> ChunkBits;
        if (chunk >= m_chunks.size() || !m_chunks[chunk])
            return nullptr;
        Line &line = m_chunks[chunk][serial & (ChunkSize - 1)];
        return line.present ? &line : nullptr;
    }
    const auto it = m_sparse.find(serial);
    return it == m_sparse.end() ? nullptr : &it->second;
}

const LineStore::Line *LineStore::find(int serial) const
{
    return const_cast<LineStore *>(this)->find(serial);
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

bool LineStore::insertAfter(int serial, const QString &text, int previous)
{
    if (serial == 0 || previous == serial || (previous != 0 && !find(previous)))
        return false;
    Line *line = find(serial);
    if (line) {
        unlink(serial, *line);
        if (line->text != text) {
            line->text = text;
            line->summaryStamp = 0;
        }
    } else {
        line = create(serial);
        line->text = text;
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
    if (QStringView(line.text) == text)
        return false;
    line.text = text.toString();
    line.summaryStamp = 0;
    return true;
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
