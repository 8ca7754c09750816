#pragma once

// The identities the panel control was registered under, kept for reference and for
// containers that store them; nothing in Qt dispatches on them (properties are bound
// by name through the meta-object).
namespace LumoPanelIds {

constexpr const char *LibraryName = "LumoPanelControl";
constexpr const char *LibId = "{5DD56E22-5D1C-11D2-8005-004F490279A4}";
constexpr int LibVersionMajor = 1;
constexpr int LibVersionMinor = 2;
constexpr int LibLocale = 1033;
constexpr const char *ClsId = "{5DD56E24-5D1C-11D2-8005-004F490279A4}";

constexpr const char *IID_LumoPanel = "{56C3A6B9-64AB-11D4-B024-005056BD010A}";      // _LumoPanel
constexpr const char *DIID_LumoPanelEvents = "{56C3A6BA-64AB-11D4-B024-005056BD010A}"; // __LumoPanel
constexpr const char *IID_LumoPanel_v0 = "{5DD56E23-5D1C-11D2-8005-004F490279A4}";   // alias of _LumoPanel
constexpr const char *IID_LumoPanel_v1 = "{22567619-5AD2-11D3-964A-0050BAA8FBE2}";   // alias of _LumoPanel
constexpr const char *DIID_LumoPanelEvents_v0 = "{5DD56E25-5D1C-11D2-8005-004F490279A4}";
constexpr const char *DIID_LumoPanelEvents_v1 = "{2256761A-5AD2-11D3-964A-0050BAA8FBE2}";

constexpr const char *GUID_AligEnum = "{2256761B-5AD2-11D3-964A-0050BAA8FBE2}";
constexpr const char *GUID_enumTrans = "{2256761C-5AD2-11D3-964A-0050BAA8FBE2}";
constexpr const char *GUID_frameStyleEnum = "{2256761D-5AD2-11D3-964A-0050BAA8FBE2}";

// Dispatch identifiers of _LumoPanel.
namespace DispId {
constexpr int AutoRedraw = 0x68030010;
constexpr int AutoResize = 0x6803000F;
constexpr int BackStyle = 0x6803000E;
constexpr int BorderColor = 0x6803000D;
constexpr int BorderWidth = 0x6803000C;
constexpr int Enabled = 0x6803000B;   // its own, not the standard Enabled
constexpr int FrameStyle = 0x6803000A;
constexpr int MaxHeight = 0x68030009;
constexpr int MinHeight = 0x68030008;
constexpr int MaxWidth = 0x68030007;
constexpr int MinWidth = 0x68030006;
constexpr int ShadowColor = 0x68030005;
constexpr int ShadowDistance = 0x68030004;
constexpr int TransparentColor = 0x68030003;
constexpr int WithShadow = 0x68030002;
constexpr int ShowAboutBox = -552;
constexpr int BackColor = -501;
constexpr int ForeColor = -513;
constexpr int Font = -512;
constexpr int Refresh = 0x6003001C;
constexpr int Picture = 0x68030001;
constexpr int Alignment = 0x68030000;
constexpr int Caption = -518;
constexpr int AutoRefresh = 0x6803001F;
constexpr int LineBreakChars = 0x6803001E;
constexpr int BorderTextDistance = 0x6803001D;
} // namespace DispId

// Dispatch identifiers of the events (__LumoPanel).
namespace EventDispId {
constexpr int MouseMove = -606;
constexpr int MouseUp = -607;
constexpr int MouseDown = -605;
constexpr int Click = -600;
constexpr int DblClick = -601;
} // namespace EventDispId

} // namespace LumoPanelIds
