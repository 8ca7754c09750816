#pragma once

#include <QColor>
#include <QtGlobal>

// OLE colours as the server, the panes and the panel control store them:
//
//     QColor c = OleColor::toQColor(0x000000FF);      // pure red (0x00BBGGRR)
//     QColor tip = OleColor::toQColor(0x80000018);    // the palette's tooltip base
//
// A value with the top bit set is a system colour; its low bits index the table
// below, which maps each index to a role of QApplication::palette() (Active group):
//
//   index  meaning                role
//    0     scroll bar             Button
//    1     desktop                Window
//    2     active caption         Highlight
//    3     inactive caption       Window
//    4     menu                   Window
//    5     window                 Base
//    6     window frame           Shadow
//    7     menu text              WindowText
//    8     window text            Text
//    9     caption text           HighlightedText
//   10     active border          Window
//   11     inactive border        Window
//   12     MDI background         Dark
//   13     highlight              Highlight
//   14     highlighted text       HighlightedText
//   15     button face            Button
//   16     button shadow          Dark
//   17     grey text              PlaceholderText
//   18     button text            ButtonText
//   19     inactive caption text  WindowText
//   20     button highlight       Light
//   21     3-D dark shadow        Shadow
//   22     3-D light              Midlight
//   23     tooltip text           ToolTipText
//   24     tooltip background     ToolTipBase
//
// Nothing here ever throws: an index beyond the table, or a system value with
// further bits set, gives black, because a bad colour inside a redraw must not stop
// the drawing. Converting needs a QGuiApplication for system colours (the palette);
// plain colours work without one.
namespace OleColor {

constexpr quint32 SystemFlag = 0x80000000u;

// Named system colours used across the program.
constexpr quint32 ButtonFace = 0x8000000Fu;
constexpr quint32 ButtonShadow = 0x80000010u;
constexpr quint32 ButtonText = 0x80000012u;
constexpr quint32 ButtonHighlight = 0x80000014u;
constexpr quint32 Light3D = 0x80000016u;
constexpr quint32 WindowBackground = 0x80000005u;
constexpr quint32 WindowText = 0x80000008u;
constexpr quint32 TooltipBackground = 0x80000018u;
constexpr quint32 TooltipText = 0x80000017u;

// True when the value names a system colour (top bit set).
bool isSystem(quint32 ole);

// True when the value is a plain colour or a system index of the table.
bool isValid(quint32 ole);

// The colour to draw with; unknown system indices and plain values above 24 bits
// give opaque black.
QColor toQColor(quint32 ole);

// The plain value 0x00BBGGRR of a colour (alpha dropped).
quint32 fromQColor(const QColor &color);

// A signed 64-bit or floating number, as markup and bags may carry it, folded into
// an OLE colour: values beyond 32 bits saturate (and so come out black).
quint32 fromNumber(qint64 value);

} // namespace OleColor
