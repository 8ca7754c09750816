#include "sourcefolding.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <utility>

SourceFolding::SourceFolding(QTextDocument *text, std::vector<LineData::Slots> &data)
    : m_text(text), m_data(data)
{
}

bool SourceFolding::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return false;
    m_enabled = enabled;
    if (!enabled) {
        for (LineData::Slots &s : m_data)
            s[LineData::kControlSlot] &= ~LineData::kBlockBits;
    }
    markDirty();
    m_visibilityDirty = true;
    return true;
}

void SourceFolding::markDirty()
{
    m_blocksDirty = true;
    // Only a collapsed block hides lines; without one there is nothing to redo.
    if (m_anyHidden || (m_enabled && m_anyCollapsed))
        m_visibilityDirty = true;
}

void SourceFolding::settleBlockBits()
{
    if (m_blocksDirty)
        refreshBlockBits();
}

void SourceFolding::reset()
{
    m_blocksDirty = true;
    m_anyHidden = m_anyCollapsed = m_visibilityDirty = false;
}

void SourceFolding::refreshBlockBits()
{
    m_blocksDirty = false;
    if (!m_enabled)
        return;
    // Open blocks as (header line, header depth); a line ends every block whose
    // depth is not below its own.
    std::vector<std::pair<int, int>> open;
    for (int line = 0; line < lineCount(); ++line) {
        LineData::Slots &s = m_data[size_t(line)];
        const std::int32_t flags = s[LineData::kFlagSlot];
        const int depth = LineData::depthOf(flags);
        while (!open.empty() && depth <= open.back().second)
            open.pop_back();
        std::int32_t bits = open.empty() ? 0 : LineData::kBlockBody;
        if (flags & LineData::kBlockStart) {
            bits |= LineData::kBlockHeader | (s[0] & LineData::kBlockCollapsed);
            open.emplace_back(line, depth);
        }
        s[0] = (s[0] & ~LineData::kBlockBits) | bits;
    }
}

bool SourceFolding::applyVisibility()
{
    if (!m_visibilityDirty)
        return false;
    m_visibilityDirty = false;
    settleBlockBits();
    bool changed = false;
    bool anyHidden = false;
    bool anyCollapsed = false;
    std::vector<std::pair<int, bool>> open;   // depth, collapsed
    QTextBlock block = m_text->firstBlock();
    for (int line = 0; line < lineCount() && block.isValid(); ++line, block = block.next()) {
        const LineData::Slots &s = m_data[size_t(line)];
        bool hidden = false;
        if (m_enabled) {
            const int depth = LineData::depthOf(s[LineData::kFlagSlot]);
            while (!open.empty() && depth <= open.back().first)
                open.pop_back();
            hidden = std::any_of(open.begin(), open.end(),
                                 [](const std::pair<int, bool> &o) { return o.second; });
            if (s[0] & LineData::kBlockHeader) {
                open.emplace_back(depth, (s[0] & LineData::kBlockCollapsed) != 0);
                anyCollapsed = anyCollapsed || open.back().second;
            }
        }
        anyHidden = anyHidden || hidden;
        if (block.isVisible() == hidden) {
            block.setVisible(!hidden);
            m_text->markContentsDirty(block.position(), block.length());
            changed = true;
        }
    }
    m_anyHidden = anyHidden;
    m_anyCollapsed = anyCollapsed;
    return changed;
}

bool SourceFolding::isLineHidden(int line) const
{
    const QTextBlock block = m_text->findBlockByNumber(line);
    return block.isValid() && !block.isVisible();
}

int SourceFolding::blockEnd(int header) const
{
    const int depth = LineData::depthOf(m_data[size_t(header)][LineData::kFlagSlot]);
    int line = header + 1;
    while (line < lineCount()
           && LineData::depthOf(m_data[size_t(line)][LineData::kFlagSlot]) > depth)
        ++line;
    return line - 1;
}

int SourceFolding::headerOf(int line)
{
    if (!m_enabled || line < 0 || line >= lineCount())
        return -1;
    settleBlockBits();
    for (int k = line; k >= 0; --k) {
        if ((m_data[size_t(k)][0] & LineData::kBlockHeader) && blockEnd(k) >= line)
            return k;
    }
    return -1;
}

int SourceFolding::collapse(int line)
{
    const int header = headerOf(line);
    if (header < 0 || (m_data[size_t(header)][0] & LineData::kBlockCollapsed))
        return -1;
    m_data[size_t(header)][0] |= LineData::kBlockCollapsed;
    m_visibilityDirty = true;
    return header;
}

int SourceFolding::expand(int line)
{
    if (!m_enabled || line < 0 || line >= lineCount())
        return -1;
    settleBlockBits();
    for (int k = line; k >= 0; --k) {
        std::int32_t &s0 = m_data[size_t(k)][0];
        if ((s0 & LineData::kBlockHeader) && (s0 & LineData::kBlockCollapsed)
            && blockEnd(k) >= line) {
            s0 &= ~LineData::kBlockCollapsed;
            m_visibilityDirty = true;
            return k;
        }
    }
    return -1;
}

bool SourceFolding::collapseAll()
{
    if (!m_enabled)
        return false;
    settleBlockBits();
    for (LineData::Slots &s : m_data) {
        if (s[0] & LineData::kBlockHeader)
            s[0] |= LineData::kBlockCollapsed;
    }
    m_visibilityDirty = true;
    return true;
}

void SourceFolding::expandAll()
{
    for (LineData::Slots &s : m_data)
        s[0] &= ~LineData::kBlockCollapsed;
    m_visibilityDirty = true;
}
