#pragma once

#include "captionline.h"
#include "lumopanel_global.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <QWidget>

#include <memory>

class PropertyBag;
class PanelSurface;

// The container's ambient colours, read when a loaded bag has no "BackColor" or
// "ForeColor". Without a container the usual defaults apply.
struct LUMOPANEL_EXPORT AmbientProperties
{
    quint32 BackColor = 0x8000000Fu;  // button face
    quint32 ForeColor = 0x80000012u;  // button text
};

// A panel that paints a caption written in a small markup ("<b1>" "<b0>" "<i1>"
// "<i0>" "<u1>" "<u0>" "<fc=n>"), wrapped to its width, with an optional shadow, one
// of twelve alignments, a frame, a background picture and optional self-sizing:
//
//     auto *tip = new LumoPanel(window);
//     tip->setAutoResize(true);
//     tip->setMaxWidth(9000);                          // twips (15 per pixel)
//     tip->setCaption(QStringLiteral("<b1>X<b0> = 5"));
//     QSize now = tip->size();                         // already sized to the text
//
// Units: MaxWidth, MaxHeight, MinWidth and MinHeight are twips (15 per device-
// independent pixel, on every screen); BorderWidth, ShadowDistance and
// BorderTextDistance are pixels. Colours are OLE colours (0x00BBGGRR, or a system
// colour when the top bit is set); see OleColor.
//
// Every property is a Q_PROPERTY under its own name, so containers may also set it
// late-bound: panel->setProperty("Caption", text). The typed setters are the same
// code. A write that the property table marks as redrawing runs the whole redraw
// synchronously inside the setter, self-sizing included, so callers may read the
// size right after; a write that reports a change emits propertyChanged(name).
// The panel paints only from its kept image; Enabled changes nothing in the picture
// and only stops the five events. The panel never takes the focus.
//
// The widget's own QWidget::font() is never used for drawing: the caption font is
// Font()/setPanelFont(), which copies Bold, Size, Name, Italic and Underline only.
class LUMOPANEL_EXPORT LumoPanel : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("Description", "LumoPanelControl")

    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw)
    Q_PROPERTY(bool AutoResize READ AutoResize WRITE setAutoResize)
    Q_PROPERTY(int BackStyle READ BackStyle WRITE setBackStyle)
    Q_PROPERTY(quint32 BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(int BorderWidth READ BorderWidth WRITE setBorderWidth)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setPanelEnabled)
    Q_PROPERTY(int FrameStyle READ FrameStyle WRITE setFrameStyle)
    Q_PROPERTY(int MaxHeight READ MaxHeight WRITE setMaxHeight)
    Q_PROPERTY(int MinHeight READ MinHeight WRITE setMinHeight)
    Q_PROPERTY(int MaxWidth READ MaxWidth WRITE setMaxWidth)
    Q_PROPERTY(int MinWidth READ MinWidth WRITE setMinWidth)
    Q_PROPERTY(quint32 ShadowColor READ ShadowColor WRITE setShadowColor)
    Q_PROPERTY(int ShadowDistance READ ShadowDistance WRITE setShadowDistance)
    Q_PROPERTY(quint32 TransparentColor READ TransparentColor WRITE setTransparentColor)
    Q_PROPERTY(bool WithShadow READ WithShadow WRITE setWithShadow)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(QFont Font READ Font WRITE setPanelFont)
    Q_PROPERTY(QPixmap Picture READ Picture WRITE setPicture)
    Q_PROPERTY(int Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(bool AutoRefresh READ AutoRefresh WRITE setAutoRefresh)
    Q_PROPERTY(QString LineBreakChars READ LineBreakChars WRITE setLineBreakChars)
    Q_PROPERTY(int BorderTextDistance READ BorderTextDistance WRITE setBorderTextDistance)

public:
    enum AligEnum {
        TopLeft = 0, TopCenter = 1, TopRight = 2, TopBlock = 3,
        MiddleLeft = 4, MiddleCenter = 5, MiddleRight = 6, MiddleBlock = 7,
        BottomLeft = 8, BottomCenter = 9, BottomRight = 10, BottomBlock = 11
    };
    Q_ENUM(AligEnum)
    enum enumTrans { Transparent = 0, Opaque = 1 };
    Q_ENUM(enumTrans)
    enum frameStyleEnum {
        None = 0, InSetPanel = 1, OutSetPanel = 2, InsetLine = 3, OutSetLine = 4,
        DeepInsetPanel = 5, UserBorder = 6
    };
    Q_ENUM(frameStyleEnum)

    // Twips per device-independent pixel, both directions.
    static constexpr int TwipsPerPixel = 15;

    // A new instance: the defaults of a panel just placed in a container (no redraw).
    explicit LumoPanel(QWidget *parent = nullptr);
    ~LumoPanel() override;

    bool AutoRedraw() const;
    void setAutoRedraw(bool value);
    bool AutoResize() const;
    void setAutoResize(bool value);
    int BackStyle() const;
    void setBackStyle(int value);
    quint32 BorderColor() const;
    void setBorderColor(quint32 value);
    int BorderWidth() const;
    void setBorderWidth(int value);           // clamped to 1..10
    // The panel's own flag, not isEnabled(): a disabled parent does not change it.
    bool Enabled() const;
    void setPanelEnabled(bool value);         // same as QWidget::setEnabled
    int FrameStyle() const;
    void setFrameStyle(int value);
    int MaxHeight() const;
    void setMaxHeight(int twips);             // stored as 16-bit: saturates at ±32767
    int MinHeight() const;
    void setMinHeight(int twips);
    int MaxWidth() const;
    void setMaxWidth(int twips);
    int MinWidth() const;
    void setMinWidth(int twips);
    quint32 ShadowColor() const;
    void setShadowColor(quint32 value);
    int ShadowDistance() const;
    void setShadowDistance(int value);        // clamped to 1..20
    quint32 TransparentColor() const;
    void setTransparentColor(quint32 value);  // recomputes the mask, no redraw
    bool WithShadow() const;
    void setWithShadow(bool value);
    quint32 BackColor() const;
    void setBackColor(quint32 value);
    quint32 ForeColor() const;
    void setForeColor(quint32 value);
    QFont Font() const;                       // the panel's own font
    void setPanelFont(const QFont &font);     // copies Bold, Size, Name, Italic, Underline
    QPixmap Picture() const;
    void setPicture(const QPixmap &picture);
    int Alignment() const;
    void setAlignment(int value);
    QString Caption() const;
    void setCaption(const QString &text);     // redraws and resizes before returning
    bool AutoRefresh() const;
    void setAutoRefresh(bool value);
    QString LineBreakChars() const;
    void setLineBreakChars(const QString &chars);   // takes effect at the next redraw
    int BorderTextDistance() const;
    void setBorderTextDistance(int pixels);

    // Persisted only: 1 in a new instance, 0 in one loaded from a bag.
    int ScaleFaktor() const { return m_ScaleFaktor; }

    // Loads from a container's bag: resets, then reads every key with each step
    // guarded, and ends with a redraw. ambient == nullptr: the usual defaults.
    void ReadProperties(const PropertyBag &bag, const AmbientProperties *ambient = nullptr);
    // Saves to a container's bag; values equal to their write defaults are left out.
    void WriteProperties(PropertyBag &bag) const;

    // What the last redraw wrapped the caption into (for tests and measuring callers).
    const QVector<CaptionLine> &Lines() const;
    // The kept image the panel paints from (device pixels).
    QImage image() const;
    // How many redraws have run to completion since construction.
    int redrawCount() const { return m_redrawCount; }

public slots:
    // Repaints at once from the kept image; the layout is not recomputed.
    void Refresh();
    // The library's About box, modal and without owner.
    void ShowAboutBox();

signals:
    // Button bits: 1 left, 2 right, 4 middle. Shift bits: 1 Shift, 2 Ctrl, 4 Alt.
    // x and Y in twips. Emitted only while Enabled.
    void MouseMove(int Button, int Shift, float x, float Y);
    void MouseUp(int Button, int Shift, float x, float Y);
    void MouseDown(int Button, int Shift, float x, float Y);
    void Click();
    void DblClick();
    // The container's change notification; name as in the property table.
    void propertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void UserControl_Initialize();
    void UserControl_InitProperties();
    void UserControl_Resize();
    void Redraw();
    void applyMask();
    void changed(const char *name);
    bool eventsAllowed() const;

    std::unique_ptr<PanelSurface> m_surface;  // kept image, print position, surface font
    QVector<CaptionLine> m_lines;             // the last redraw's wrapped caption

    bool m_WithShadow = false;
    quint32 m_ShadowColor = 0;
    int m_ShadowDistance = 0;
    quint32 m_ForeColor = 0;                  // every text pass starts from it
    QFont m_startingFont;                     // what a bag without "Font" falls back to
    bool m_AutoResize = false;
    int m_MaxWidth = 0;
    int m_MaxHeight = 0;
    int m_BorderWidth = 0;
    quint32 m_BorderColor = 0;
    int m_MinWidth = 0;
    int m_MinHeight = 0;
    int m_BorderTextDistance = 0;
    bool m_AutoRefresh = false;
    QString m_LineBreakChars;
    int m_FrameStyle = 0;
    QString m_Caption;
    int m_ScaleFaktor = 0;
    int m_Alignment = 0;
    QFont m_Font;                             // the panel font every redraw starts from

    // Kept "on the surface" in the original; plain fields here.
    bool m_AutoRedraw = true;
    int m_BackStyle = 1;
    quint32 m_TransparentColor = 0x80000005u;
    quint32 m_BackColor = 0x8000000Fu;
    QPixmap m_Picture;

    bool m_InRedraw = false;                  // turns away the resize the sizing causes
    int m_redrawCount = 0;
    bool m_pressedInside = false;             // a release after a press here is a Click
    bool m_loading = false;                   // ReadProperties: no redraws, no reports
    bool m_knownEnabled = true;               // the own flag last reported
};
