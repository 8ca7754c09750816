#pragma once

#include <array>
#include <cstdint>

// What each 32-bit value of a line's data means. Every writer and reader of the
// line data (lexer, routine document, code window, margin painter) uses these
// names, so the meaning of a bit is written down once.
namespace LineData {

// A line carries this many values; a document may use fewer (ExtraData).
constexpr int kSlotCount = 3;
using Slots = std::array<std::int32_t, kSlotCount>;

// Slots of a code window's document (the immediate views use 0 and 1 only).
constexpr int kControlSlot = 0;   // the editor control's own state: bookmark, blocks
constexpr int kFlagSlot = 1;      // the flag word below
constexpr int kSerialSlot = 2;    // the line's serial inside the Parse Engine

// Slot 0: the control's own bits.
constexpr std::int32_t kBookmark = 0x2;
constexpr std::int32_t kBlockBody = 0x4;        // inside a collapsible block
constexpr std::int32_t kBlockHeader = 0x8;      // starts a collapsible block
constexpr std::int32_t kBlockCollapsed = 0x10;  // with kBlockHeader: the block is collapsed
constexpr std::int32_t kBlockBits = kBlockBody | kBlockHeader | kBlockCollapsed;

// Slot 1: the flag word.
constexpr std::int32_t kStackLevel = 0x1;
constexpr std::int32_t kExecPoint = 0x2;
constexpr std::int32_t kBreakpoint = 0x4;
constexpr std::int32_t kCaretLine = 0x8;
constexpr std::int32_t kEom = 0x10000;
constexpr std::int32_t kContinues = 0x20000;
constexpr std::int32_t kContinuation = 0x40000;
constexpr std::int32_t kBlockStart = 0x80000;
constexpr std::int32_t kDepthMask = 0xF00000;
constexpr int kDepthShift = 20;
constexpr std::int32_t kReparsePrev = 0x1000000;
constexpr std::int32_t kStateCarry = 0x2000000;
constexpr std::int32_t kRescanNext = 0x4000000;
constexpr std::int32_t kStateMask = 0x7FFF0000;
// The part of the parser state handed on to the next statement, after >> 16.
constexpr std::int32_t kCarriedStateMask = 0x2F0;

inline int depthOf(std::int32_t flags) { return (flags & kDepthMask) >> kDepthShift; }

// The one rule for changing a flag word: set first, then clear.
inline std::int32_t applyFlags(std::int32_t old, std::int32_t set, std::int32_t clear)
{
    return (old | set) & ~clear;
}

} // namespace LineData
