#include "lumopanel.h"

#include "captionmarkup.h"
#include "captionwrapper.h"
#include "panelabout.h"
#include "olecolor.h"
#include "panelpainter.h"
#include "panelsurface.h"
#include "propertybag.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int Twips = LumoPanel::TwipsPerPixel;

// The stored sizes and distances are 16-bit in every container that saves them;
// saturating keeps a wide panel or a huge value from wrapping around.
int clamp16(qint64 v)
{
    return int(std::clamp<qint64>(v, -32768, 32767));
}

int pixelsFromTwips(int twips)
{
    return int(std::lround(twips / double(Twips)));
}

// Sets a flag for a scope; whatever leaves the scope, the flag goes back.
class FlagGuard
{
public:
    explicit FlagGuard(bool &flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard &) = delete;
    FlagGuard &operator=(const FlagGuard &) = delete;

private:
    bool &m_flag;
};

int buttonBits(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftBits(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

} // namespace

LumoPanel::LumoPanel(QWidget *parent)
    : QWidget(parent), m_surface(std::make_unique<PanelSurface>())
{
    // A tip built on this panel must never take the focus from the editor.
    setFocusPolicy(Qt::NoFocus);
    // MouseMove fires without a button held, as containers expect.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    UserControl_Initialize();
    UserControl_InitProperties();
    m_knownEnabled = Enabled();
}

LumoPanel::~LumoPanel() = default;

void LumoPanel::UserControl_Initialize()
{
    m_Font = QFont();
    m_startingFont = QFont();
}

void LumoPanel::UserControl_InitProperties()
{
    QFont start(QStringLiteral("Arial"));
    start.setPointSizeF(8);
    start.setBold(false);
    start.setItalic(false);
    start.setUnderline(false);
    m_startingFont = start;
    m_Font = start;
    m_AutoRedraw = true;
    m_BorderColor = 0;
    m_BorderWidth = 1;
    m_ScaleFaktor = 1;
    m_Alignment = MiddleCenter;
    m_Caption = objectName().isEmpty() ? QStringLiteral("LumoPanel") : objectName();
    m_FrameStyle = InSetPanel;
    m_ShadowColor = OleColor::ButtonShadow;
    m_ShadowDistance = 2;
    m_MinWidth = 0;
    m_MinHeight = 0;
    m_MaxWidth = clamp16(qint64(width()) * Twips);
    m_MaxHeight = clamp16(qint64(height()) * Twips);
    m_BorderTextDistance = 3;
    m_BackStyle = Opaque;
    m_AutoRefresh = true;
    m_LineBreakChars = QStringLiteral("-");
}

// --- properties -------------------------------------------------------------------

bool LumoPanel::AutoRedraw() const { return m_AutoRedraw; }

void LumoPanel::setAutoRedraw(bool value)
{
    // The kept image is what the panel paints from, so it is kept either way.
    m_AutoRedraw = value;
    changed("AutoRedraw");
}

bool LumoPanel::AutoResize() const { return m_AutoResize; }

void LumoPanel::setAutoResize(bool value)
{
    m_AutoResize = value;
    Redraw();
    changed("AutoResize");
}

int LumoPanel::BackStyle() const { return m_BackStyle; }

void LumoPanel::setBackStyle(int value)
{
    m_BackStyle = clamp16(value);
    Redraw();
    changed("BackStyle");
}

quint32 LumoPanel::BorderColor() const { return m_BorderColor; }

void LumoPanel::setBorderColor(quint32 value)
{
    m_BorderColor = value;
    Redraw();
    changed("BorderColor");
}

int LumoPanel::BorderWidth() const { return m_BorderWidth; }

void LumoPanel::setBorderWidth(int value)
{
    m_BorderWidth = qBound(1, value, 10);
    Redraw();
    changed("BorderWidth");
}

bool LumoPanel::Enabled() const
{
    return !testAttribute(Qt::WA_ForceDisabled);
}

void LumoPanel::setPanelEnabled(bool value)
{
    const bool before = m_knownEnabled;
    setEnabled(value);
    // A change of the widget's state reports itself from changeEvent. Otherwise (the
    // same value again, or a parent that already disables the panel) report here:
    // every write of the property reports once.
    if (m_knownEnabled == before) {
        m_knownEnabled = Enabled();
        changed("Enabled");
    }
}

int LumoPanel::FrameStyle() const { return m_FrameStyle; }

void LumoPanel::setFrameStyle(int value)
{
    m_FrameStyle = value;
    Redraw();
    changed("FrameStyle");
}

int LumoPanel::MaxHeight() const { return m_MaxHeight; }

void LumoPanel::setMaxHeight(int twips)
{
    m_MaxHeight = clamp16(twips);
    changed("MaxHeight");
    Redraw();
}

int LumoPanel::MinHeight() const { return m_MinHeight; }

void LumoPanel::setMinHeight(int twips)
{
    m_MinHeight = clamp16(twips);
    changed("MinHeight");
    Redraw();
}

int LumoPanel::MaxWidth() const { return m_MaxWidth; }

void LumoPanel::setMaxWidth(int twips)
{
    m_MaxWidth = clamp16(twips);
    changed("MaxWidth");
    Redraw();
}

int LumoPanel::MinWidth() const { return m_MinWidth; }

void LumoPanel::setMinWidth(int twips)
{
    m_MinWidth = clamp16(twips);
    changed("MinWidth");
    Redraw();
}

quint32 LumoPanel::ShadowColor() const { return m_ShadowColor; }

void LumoPanel::setShadowColor(quint32 value)
{
    m_ShadowColor = value;
    Redraw();
    changed("ShadowColor");
}

int LumoPanel::ShadowDistance() const { return m_ShadowDistance; }

void LumoPanel::setShadowDistance(int value)
{
    m_ShadowDistance = qBound(1, value, 20);
    Redraw();
    changed("ShadowDistance");
}

quint32 LumoPanel::TransparentColor() const { return m_TransparentColor; }

void LumoPanel::setTransparentColor(quint32 value)
{
    m_TransparentColor = value;
    // The mask follows the colour at once, from the image as it stands: no redraw.
    if (m_BackStyle == Transparent)
        applyMask();
    changed("TransparentColor");
}

bool LumoPanel::WithShadow() const { return m_WithShadow; }

void LumoPanel::setWithShadow(bool value)
{
    m_WithShadow = value;
    Redraw();
    changed("WithShadow");
}

quint32 LumoPanel::BackColor() const { return m_BackColor; }

void LumoPanel::setBackColor(quint32 value)
{
    m_BackColor = value;
    changed("BackColor");
    Redraw();
}

quint32 LumoPanel::ForeColor() const { return m_ForeColor; }

void LumoPanel::setForeColor(quint32 value)
{
    changed("ForeColor");
    m_ForeColor = value;
    Redraw();
}

QFont LumoPanel::Font() const { return m_Font; }

void LumoPanel::setPanelFont(const QFont &font)
{
    // The given font is never adopted: only these five attributes are copied, and the
    // panel redraws once for all of them.
    m_Font.setBold(font.bold());
    if (font.pointSizeF() > 0)
        m_Font.setPointSizeF(font.pointSizeF());
    else if (font.pixelSize() > 0)
        m_Font.setPixelSize(font.pixelSize());
    m_Font.setFamily(font.family());
    m_Font.setItalic(font.italic());
    m_Font.setUnderline(font.underline());
    Redraw();
    changed("Font");
}

QPixmap LumoPanel::Picture() const { return m_Picture; }

void LumoPanel::setPicture(const QPixmap &picture)
{
    m_Picture = picture;
    changed("Picture");
    Redraw();
}

int LumoPanel::Alignment() const { return m_Alignment; }

void LumoPanel::setAlignment(int value)
{
    m_Alignment = value;
    changed("Alignment");
    Redraw();
}

QString LumoPanel::Caption() const { return m_Caption; }

void LumoPanel::setCaption(const QString &text)
{
    m_Caption = text;
    changed("Caption");
    Redraw();
    if (m_AutoRefresh)
        repaint();
}

bool LumoPanel::AutoRefresh() const { return m_AutoRefresh; }

void LumoPanel::setAutoRefresh(bool value)
{
    m_AutoRefresh = value;
    changed("AutoRefresh");
}

QString LumoPanel::LineBreakChars() const { return m_LineBreakChars; }

void LumoPanel::setLineBreakChars(const QString &chars)
{
    m_LineBreakChars = chars;
    changed("LineBreakChars");
}

int LumoPanel::BorderTextDistance() const { return m_BorderTextDistance; }

void LumoPanel::setBorderTextDistance(int pixels)
{
    m_BorderTextDistance = clamp16(pixels);
    Redraw();
    changed("BorderTextDistance");
}

const QVector<CaptionLine> &LumoPanel::Lines() const { return m_lines; }

QImage LumoPanel::image() const { return m_surface->image(); }

void LumoPanel::changed(const char *name)
{
    if (!m_loading)
        emit propertyChanged(QString::fromLatin1(name));
}

// --- methods ----------------------------------------------------------------------

void LumoPanel::Refresh()
{
    repaint();
}

void LumoPanel::ShowAboutBox()
{
    LumoPanelLib::frmAbout about(nullptr);
    about.exec();
}

// --- the property bag -------------------------------------------------------------

namespace {

quint32 toColour(const QVariant &value)
{
    // Saved as a signed 32-bit Long or as an unsigned value; both name the same colour.
    const qint64 n = PropertyBag::toLong(value);
    if (n < std::numeric_limits<qint32>::min() || n > qint64(std::numeric_limits<quint32>::max()))
        throw PropertyBagError(QStringLiteral("colour out of range"));
    return quint32(n);
}

int toInt16(const QVariant &value)
{
    return clamp16(PropertyBag::toLong(value));
}

// Runs one step of a load; a step that fails leaves its property as it was.
template <typename Step>
void guarded(Step step)
{
    try {
        step();
    } catch (const PropertyBagError &) {
    }
}

} // namespace

void LumoPanel::ReadProperties(const PropertyBag &bag, const AmbientProperties *ambient)
{
    const AmbientProperties fallback;
    const AmbientProperties &amb = ambient ? *ambient : fallback;
    {
        // One redraw at the end instead of one per key, and no change reports: a
        // container loading its own values is not changing them.
        FlagGuard loading(m_loading);

        m_Font = m_startingFont;
        m_Picture = QPixmap();
        m_ForeColor = 0;
        m_ShadowDistance = 24;
        m_ShadowColor = OleColor::ButtonShadow;
        m_WithShadow = false;
        m_Alignment = MiddleCenter;
        m_FrameStyle = InSetPanel;
        setEnabled(true);
        m_AutoRedraw = true;
        m_BackStyle = Opaque;
        m_TransparentColor = OleColor::WindowBackground;

        guarded([&] {
            const QVariant v = bag.ReadProperty(QStringLiteral("Font"), m_startingFont);
            if (!v.canConvert<QFont>())
                throw PropertyBagError(QStringLiteral("Font"));
            m_Font = v.value<QFont>();
        });
        guarded([&] {
            const QVariant v = bag.ReadProperty(QStringLiteral("Picture"), QPixmap());
            if (!v.canConvert<QPixmap>())
                throw PropertyBagError(QStringLiteral("Picture"));
            m_Picture = v.value<QPixmap>();
        });
        guarded([&] { m_ForeColor = toColour(bag.ReadProperty(QStringLiteral("ForeColor"), amb.ForeColor)); });
        guarded([&] { m_BackColor = toColour(bag.ReadProperty(QStringLiteral("BackColor"), amb.BackColor)); });
        guarded([&] { m_BorderColor = toColour(bag.ReadProperty(QStringLiteral("BorderColor"), 0)); });
        guarded([&] { m_BorderWidth = toInt16(bag.ReadProperty(QStringLiteral("BorderWidth"), 1)); });
        guarded([&] { m_ShadowDistance = toInt16(bag.ReadProperty(QStringLiteral("ShadowDistance"), 2)); });
        guarded([&] {
            m_ShadowColor = toColour(bag.ReadProperty(QStringLiteral("ShadowColor"), OleColor::ButtonShadow));
        });
        guarded([&] { m_WithShadow = PropertyBag::toBool(bag.ReadProperty(QStringLiteral("WithShadow"), false)); });
        guarded([&] { m_Alignment = PropertyBag::toInt(bag.ReadProperty(QStringLiteral("Alignment"), 5)); });
        guarded([&] { m_Caption = PropertyBag::toText(bag.ReadProperty(QStringLiteral("Caption"), QString())); });
        guarded([&] { m_FrameStyle = PropertyBag::toInt(bag.ReadProperty(QStringLiteral("FrameStyle"), 1)); });
        guarded([&] { m_AutoResize = PropertyBag::toBool(bag.ReadProperty(QStringLiteral("AutoResize"), false)); });
        guarded([&] { m_MinWidth = toInt16(bag.ReadProperty(QStringLiteral("MinWidth"))); });
        guarded([&] { m_MinHeight = toInt16(bag.ReadProperty(QStringLiteral("MinHeight"))); });
        guarded([&] { m_MaxWidth = toInt16(bag.ReadProperty(QStringLiteral("MaxWidth"))); });
        guarded([&] { m_MaxHeight = toInt16(bag.ReadProperty(QStringLiteral("MaxHeight"))); });
        guarded([&] {
            m_BorderTextDistance = toInt16(bag.ReadProperty(QStringLiteral("BorderTextDistance"), 3));
        });
        m_AutoRefresh = true;
        guarded([&] { m_AutoRefresh = PropertyBag::toBool(bag.ReadProperty(QStringLiteral("AutoRefresh"), true)); });
        m_LineBreakChars = QStringLiteral("-");
        guarded([&] {
            m_LineBreakChars = PropertyBag::toText(bag.ReadProperty(QStringLiteral("LineBreakChars"), QStringLiteral("-")));
        });
        guarded([&] { setEnabled(PropertyBag::toBool(bag.ReadProperty(QStringLiteral("Enabled"), true))); });
        guarded([&] { m_AutoRedraw = PropertyBag::toBool(bag.ReadProperty(QStringLiteral("AutoRedraw"), true)); });
        guarded([&] { m_BackStyle = toInt16(bag.ReadProperty(QStringLiteral("BackStyle"), 1)); });
        guarded([&] {
            m_TransparentColor = toColour(bag.ReadProperty(QStringLiteral("TransparentColor"), OleColor::WindowBackground));
        });
        m_ScaleFaktor = 0;
        m_knownEnabled = Enabled();
    }
    // Whatever step failed, the loaded panel shows its caption.
    Redraw();
}

void LumoPanel::WriteProperties(PropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("ShadowDistance"), m_ShadowDistance, 2);
    bag.WriteProperty(QStringLiteral("WithShadow"), m_WithShadow, false);
    bag.WriteProperty(QStringLiteral("ShadowColor"), m_ShadowColor, OleColor::ButtonShadow);
    bag.WriteProperty(QStringLiteral("BackColor"), m_BackColor, OleColor::WindowBackground);
    bag.WriteProperty(QStringLiteral("ForeColor"), m_ForeColor, OleColor::WindowText);
    bag.WriteProperty(QStringLiteral("BackStyle"), m_BackStyle, 1);
    bag.WriteProperty(QStringLiteral("TransparentColor"), m_TransparentColor, OleColor::WindowBackground);
    bag.WriteProperty(QStringLiteral("Font"), m_Font);
    bag.WriteProperty(QStringLiteral("Picture"), m_Picture);
    bag.WriteProperty(QStringLiteral("ScaleFaktor"), m_ScaleFaktor, 1);
    bag.WriteProperty(QStringLiteral("Alignment"), m_Alignment, 5);
    bag.WriteProperty(QStringLiteral("AutoRedraw"), m_AutoRedraw, true);
    bag.WriteProperty(QStringLiteral("Enabled"), Enabled(), true);
    bag.WriteProperty(QStringLiteral("Caption"), m_Caption, QString());
    bag.WriteProperty(QStringLiteral("FrameStyle"), m_FrameStyle, 1);
    bag.WriteProperty(QStringLiteral("AutoResize"), m_AutoResize, false);
    bag.WriteProperty(QStringLiteral("BorderColor"), m_BorderColor, 0u);
    bag.WriteProperty(QStringLiteral("BorderWidth"), m_BorderWidth, 1);
    bag.WriteProperty(QStringLiteral("MinWidth"), m_MinWidth);
    bag.WriteProperty(QStringLiteral("MinHeight"), m_MinHeight);
    bag.WriteProperty(QStringLiteral("MaxWidth"), m_MaxWidth);
    bag.WriteProperty(QStringLiteral("MaxHeight"), m_MaxHeight);
    bag.WriteProperty(QStringLiteral("BorderTextDistance"), m_BorderTextDistance, 3);
    bag.WriteProperty(QStringLiteral("AutoRefresh"), m_AutoRefresh, true);
    bag.WriteProperty(QStringLiteral("LineBreakChars"), m_LineBreakChars, QStringLiteral("-"));
}

// --- drawing ----------------------------------------------------------------------

void LumoPanel::Redraw()
{
    // The resize this redraw's own sizing causes arrives while it runs and is dropped.
    if (m_InRedraw || m_loading)
        return;
    FlagGuard inRedraw(m_InRedraw);

    PanelProps props;
    props.WithShadow = m_WithShadow;
    props.ShadowColor = m_ShadowColor;
    props.ShadowDistance = m_ShadowDistance;
    props.ForeColor = m_ForeColor;
    props.AutoResize = m_AutoResize;
    props.MaxWidth = m_MaxWidth;
    props.MaxHeight = m_MaxHeight;
    props.BorderWidth = m_BorderWidth;
    props.BorderColor = m_BorderColor;
    props.MinWidth = m_MinWidth;
    props.MinHeight = m_MinHeight;
    props.BorderTextDistance = m_BorderTextDistance;
    props.LineBreakChars = m_LineBreakChars;
    props.FrameStyle = m_FrameStyle;
    props.Caption = m_Caption;
    props.Alignment = m_Alignment;
    props.BackColor = m_BackColor;
    props.Picture = m_Picture;
    props.Font = m_Font;

    const QColor back = OleColor::toQColor(m_BackColor);
    const qreal dpr = devicePixelRatioF();
    if (m_surface->size() != size() || !qFuzzyCompare(m_surface->image().devicePixelRatio(), dpr))
        m_surface->resize(size(), dpr);
    m_surface->begin();
    m_surface->clear(back, m_Picture);
    m_surface->setFont(m_Font);

    const qint32 avail = availableWidth(props, clamp16(qint64(width()) * Twips));
    m_lines = CaptionWrapper::WrapCaption(CaptionMarkup::NormalizeLineBreaks(m_Caption), avail,
                                          m_LineBreakChars, *m_surface);
    qint64 total = 0;
    for (const CaptionLine &line : m_lines)
        total += line.Height;
    const qint32 totalHeight = qint32(qMin<qint64>(total, std::numeric_limits<qint32>::max()));

    if (m_AutoResize) {
        const QSize twips = autoSizeTwips(m_lines, props);
        const QSize pixels(pixelsFromTwips(twips.width()), pixelsFromTwips(twips.height()));
        if (pixels != size()) {
            resize(pixels);
            // The grown area must be cleared too, so start the picture over at the new size.
            m_surface->resize(size(), dpr);
            m_surface->clear(back, m_Picture);
        }
    }
    // The wrap left the surface font in the caption's final style; every line sets its
    // own, so printing does not depend on it.
    PanelPainter painter(*m_surface, props, m_lines, size());
    painter.printLines(totalHeight);
    painter.DrawFrame();
    m_surface->end();

    if (m_BackStyle == Transparent)
        applyMask();
    else
        clearMask();
    ++m_redrawCount;
    update();
}

void LumoPanel::applyMask()
{
    const QImage &image = m_surface->image();
    if (image.isNull() || m_BackStyle != Transparent)
        return;
    const QRgb key = OleColor::toQColor(m_TransparentColor).rgb();
    QImage logical = image;
    if (!qFuzzyCompare(image.devicePixelRatio(), 1.0)) {
        logical = image.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        logical.setDevicePixelRatio(1.0);
    }
    // QPixmap's mask modes read the other way round from QImage's: MaskInColor makes
    // the matching pixels the see-through ones.
    const QPixmap opaque = QPixmap::fromImage(logical.convertToFormat(QImage::Format_RGB32));
    setMask(opaque.createMaskFromColor(QColor(key), Qt::MaskInColor));
}

void LumoPanel::UserControl_Resize()
{
    if (!m_AutoResize) {
        // A size given by hand becomes the limit, saturated so a wide panel never
        // overflows the 16-bit value.
        m_MaxWidth = clamp16(qint64(width()) * Twips);
        m_MaxHeight = clamp16(qint64(height()) * Twips);
    }
    Redraw();
}

// --- events -----------------------------------------------------------------------

void LumoPanel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QImage &image = m_surface->image();
    painter.setClipRegion(event->region());
    if (!image.isNull())
        painter.drawImage(QPoint(0, 0), image);
}

void LumoPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

void LumoPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && Enabled() != m_knownEnabled) {
        // A parent's change reaches here too; only the panel's own flag is reported.
        m_knownEnabled = Enabled();
        changed("Enabled");
    }
}

bool LumoPanel::eventsAllowed() const
{
    return Enabled() && isEnabled();
}

void LumoPanel::mousePressEvent(QMouseEvent *event)
{
    m_pressedInside = true;
    if (eventsAllowed()) {
        const QPointF p = event->position() * Twips;
        emit MouseDown(buttonBits(event->button()), shiftBits(event->modifiers()), float(p.x()), float(p.y()));
    }
}

void LumoPanel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressedInside && rect().contains(event->position().toPoint());
    m_pressedInside = false;
    if (!eventsAllowed())
        return;
    const QPointF p = event->position() * Twips;
    emit MouseUp(buttonBits(event->button()), shiftBits(event->modifiers()), float(p.x()), float(p.y()));
    if (click)
        emit Click();
}

void LumoPanel::mouseDoubleClickEvent(QMouseEvent *)
{
    // The second press of a double click is this event alone; its release is a
    // MouseUp without a second Click.
    m_pressedInside = false;
    if (eventsAllowed())
        emit DblClick();
}

void LumoPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (!eventsAllowed())
        return;
    const QPointF p = event->position() * Twips;
    emit MouseMove(buttonBits(event->buttons()), shiftBits(event->modifiers()), float(p.x()), float(p.y()));
}
