#include "frmcontexttip.h"

#include "iforeground.h"
#include "lumopanel.h"
#include "sourceview.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kMaxTwips = 32767;   // the panel's limits are 16-bit

int twipsCapped(double pixels)
{
    const double twips = std::round(pixels * kTwipsPerPixel);
    return twips >= kMaxTwips ? kMaxTwips : std::max(0, int(twips));
}

// The tip on the LumoPanel: tooltip background, black text, a one-pixel black line all
// round, sized to its text and the text in the middle of its height.
class LumoTipPanel : public TipPanel
{
public:
    explicit LumoTipPanel(QWidget *parent) : m_panel(new LumoPanel(parent))
    {
        m_panel->setBackColor(0x80000018u);
        m_panel->setForeColor(0);
        m_panel->setFrameStyle(LumoPanel::UserBorder);
        m_panel->setAutoResize(true);
        m_panel->setAlignment(LumoPanel::MiddleLeft);
        m_panel->setMinWidth(0);
        m_panel->setMinHeight(0);
    }
    QWidget *widget() override { return m_panel; }
    void configure(const QString &lineBreakChars, int maxWidthTwips, int maxHeightTwips) override
    {
        m_panel->setLineBreakChars(lineBreakChars);
        m_panel->setMaxWidth(maxWidthTwips);
        // A new panel's height limit is its first size, 30 pixels, which would cut
        // every tip of more than two lines.
        m_panel->setMaxHeight(maxHeightTwips);
    }
    QString caption() const override { return m_panel->Caption(); }
    void setCaption(const QString &caption) override { m_panel->setCaption(caption); }
    QFont font() const override { return m_panel->Font(); }
    void setFont(const QFont &font) override { m_panel->setPanelFont(font); }

    void cutToHeight(int maxHeight, bool textLeftOut) override
    {
        if (m_panel->height() <= maxHeight && !textLeftOut)
            return;
        // The panel's own wrap says where its lines end; the lines that fit, each closed
        // by a line break, wrap the same way again, so the cut copy is built from them
        // and the mark takes the last line's place.
        const QVector<CaptionLine> lines = m_panel->Lines();
        const qint64 room = qint64(maxHeight) * LumoPanel::TwipsPerPixel - FrameTwips;
        int fit = 0;
        for (qint64 used = 0; fit < lines.size() && used + lines.at(fit).Height <= room; ++fit)
            used += lines.at(fit).Height;
        if (fit == lines.size() && !textLeftOut)
            return;
        for (int keep = std::max(fit - 1, 0); keep >= 0; --keep) {
            QString cut;
            for (int i = 0; i < keep; ++i) {
                cut += lines.at(i).Text;
                if (!cut.endsWith(QLatin1Char('\r')))
                    cut += QLatin1Char('\r');
            }
            m_panel->setCaption(cut + CutMark);
            if (m_panel->height() <= maxHeight)
                return;
        }
    }

private:
    // The panel's frame and the gap inside it, above and below the lines together.
    static constexpr int FrameTwips = 4 * LumoPanel::TwipsPerPixel;
    LumoPanel *m_panel;   // owned by the tip window
};

// Pixels between a tip placed above the pointer and the pointer's hot spot.
constexpr int TipGapAbove = 2;

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

ContextTipDesktop withDefaults(ContextTipDesktop d)
{
    if (!d.pointer)
        d.pointer = [] { return QCursor::pos(); };
    if (!d.foregroundIsOurs) {
        d.foregroundIsOurs = [] {
            IForeground &fg = foreground();
            return fg.isOurs(fg.foregroundWindow());
        };
    }
    if (!d.windowAt)
        d.windowAt = &ContextTipDesktop::defaultWindowAt;
    if (!d.virtualDesktop) {
        d.virtualDesktop = [] {
            const QScreen *screen = QGuiApplication::primaryScreen();
            return screen ? screen->virtualGeometry() : QRect();
        };
    }
    if (!d.screenArea) {
        d.screenArea = [](const QPoint &global) {
            if (const QScreen *screen = QGuiApplication::screenAt(global))
                return screen->availableGeometry();
            const QScreen *primary = QGuiApplication::primaryScreen();
            return primary ? primary->virtualGeometry() : QRect();
        };
    }
    if (!d.availableHeight) {
        d.availableHeight = [] {
            const QScreen *screen = QGuiApplication::primaryScreen();
            return screen ? screen->availableGeometry().height() : 0;
        };
    }
    return d;
}

// How much of a text could show on the screen at all: every line of the screen's height
// full of characters one pixel wide. Text past that is left out before the panel
// measures it, so a value of millions of characters costs no more than a screenful.
int visibleCharacterBound(const QFont &font, int screenHeight, int maxWidthPixels)
{
    const int lines = std::max(screenHeight, 1) / std::max(QFontMetrics(font).height(), 1) + 1;
    return int(std::min<qint64>(qint64(lines) * std::max(maxWidthPixels, 1), INT_MAX));
}

} // namespace

const QString TipPanel::CutMark = QStringLiteral("<fc=0><b1>[\u2026]");

QWidget *ContextTipDesktop::defaultWindowAt(const QPoint &global)
{
    for (QWidget *w = QApplication::widgetAt(global); w; w = w->parentWidget()) {
        if (qobject_cast<SourceView *>(w) || w->isWindow())
            return w;
    }
    return nullptr;
}

// A code window's handle on the one tip window. The tip remembers which handle its text
// came from; the others read an empty tip and cannot clear it.
class ContextTipClient : public ITipWindow
{
public:
    explicit ContextTipClient(frmContextTip *tip) : m_tip(tip) {}
    ~ContextTipClient() override
    {
        if (m_tip)
            m_tip->release(this);
    }

    QString TipID() const override { return holds() ? m_tip->TipID() : QString(); }
    QString Text() const override { return holds() ? m_tip->Text() : QString(); }
    void SetText(const QString &text, const QString &id) override
    {
        // A window that does not hold the tip has no tip to clear.
        if (m_tip && (holds() || !text.isEmpty() || !id.isEmpty()))
            m_tip->setTextFor(this, text, id);
    }
    void NotifyMove() override
    {
        if (m_tip)
            m_tip->NotifyMove();
    }
    void ShowAt(int x, int y, const QString &text) override
    {
        if (m_tip)
            m_tip->showAtFor(this, m_owner, x, y, text);
    }
    QFont TipFont() const override { return m_tip ? m_tip->TipFont() : QFont(); }
    void setTipFont(const QFont &font) override
    {
        if (m_tip)
            m_tip->setTipFont(font);
    }
    QWidget *owner() const override { return m_owner; }
    void setOwner(QWidget *owner) override
    {
        if (!owner) {
            // The code window is going: its tip goes with it.
            if (m_tip)
                m_tip->release(this);
            m_owner = nullptr;
        } else if (!m_owner) {
            m_owner = owner;
        }
    }

private:
    bool holds() const { return m_tip && m_tip->m_client == this; }

    QPointer<frmContextTip> m_tip;
    QPointer<QWidget> m_owner;
};

frmContextTip::frmContextTip(QWidget *parent, ContextTipDesktop desktop, ContextTipTimings timings,
                             std::unique_ptr<TipPanel> panel)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_desktop(withDefaults(std::move(desktop))), m_timings(timings), m_panel(std::move(panel))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    if (!m_panel)
        m_panel = std::make_unique<LumoTipPanel>(this);
    else
        m_panel->widget()->setParent(this);
    m_panel->widget()->move(0, 0);
    m_panel->widget()->setFocusPolicy(Qt::NoFocus);

    connect(&m_tmrShowTip, &QTimer::timeout, this, &frmContextTip::tmrShowTip_Timer);
    connect(&m_tmrHideTip, &QTimer::timeout, this, &frmContextTip::tmrHideTip_Timer);
    Form_Load();
}

frmContextTip::~frmContextTip()
{
    // The panel's widget is a child and goes with this window; the adapter goes first
    // and must not touch it.
    m_tmrShowTip.stop();
    m_tmrHideTip.stop();
}

void frmContextTip::Form_Load()
{
    QString breakChars;
    breakChars.reserve(224);
    for (int c = 32; c <= 255; ++c)
        breakChars.append(QChar(c));

    const QRect desktop = m_desktop.virtualDesktop();
    m_ScreenRight = desktop.left() + desktop.width();
    m_panel->configure(breakChars, twipsCapped(0.9 * desktop.width()), twipsCapped(m_desktop.availableHeight()));

    m_Shown = false;
}

QString frmContextTip::Text() const
{
    return m_text;
}

QFont frmContextTip::TipFont() const
{
    return m_panel->font();
}

void frmContextTip::setTipFont(const QFont &font)
{
    // Qt picks fallback fonts per script itself, so there is no character set to carry.
    m_panel->setFont(font);
    // How much of a long text could show depends on the font.
    if (m_panelCut || m_leftOut)
        setCaptionSafely(m_text);
    if (m_Shown)
        place(fitNextTo(m_anchor));
}

void frmContextTip::setOwner(QWidget *owner)
{
    if (owner && !m_owner)
        m_owner = owner;
}

std::unique_ptr<ITipWindow> frmContextTip::client()
{
    return std::make_unique<ContextTipClient>(this);
}

void frmContextTip::SetText(const QString &text, const QString &id)
{
    setTextFor(nullptr, text, id);
}

void frmContextTip::setTextFor(const void *client, const QString &text, const QString &id)
{
    const QString before = m_text;
    // A tip handed over from another code window starts afresh even under an equal
    // identifier: identifiers are made per window and may repeat between them.
    const bool newClient = client != m_client;
    const bool changed = newClient || id != m_TipID || (id.isEmpty() && text != before);
    m_client = text.isEmpty() && id.isEmpty() ? nullptr : client;
    if (changed) {
        m_TipID = id;
        m_Shown = false;
        hideWindow();
        m_tmrHideTip.stop();
        const bool upOrWaiting = !before.isEmpty() || m_showInterval != 0;
        armShowTimer(!text.isEmpty() && upOrWaiting ? m_timings.nextShowMs : m_timings.firstShowMs);
    } else if (text.isEmpty()) {
        m_Shown = false;
        hideWindow();
    }
    setCaptionSafely(text);
    // The same tip with a new text: in place, fitted again next to where it was shown.
    if (m_Shown)
        place(fitNextTo(m_anchor));
}

void frmContextTip::setCaptionSafely(const QString &text)
{
    const QRect desktop = m_desktop.virtualDesktop();
    const int bound = visibleCharacterBound(m_panel->font(), m_desktop.availableHeight(), desktop.width());
    m_text = text;
    m_panelCut = false;
    m_leftOut = text.size() > bound;
    try {
        m_panel->setCaption(m_leftOut ? text.left(bound) : text);
        return;
    } catch (const VantrelError &e) {
        m_text = QStringLiteral("<fc=16711680>Unable to display context tip (") + QString::number(e.number())
                 + QLatin1Char(')');
    } catch (const std::exception &) {
        m_text = QStringLiteral("<fc=16711680>Unable to display context tip (")
                 + QString::number(VantrelError::Base) + QLatin1Char(')');
    }
    m_leftOut = false;
    m_panel->setCaption(m_text);
}

void frmContextTip::restoreWholeCaption()
{
    // A copy cut for one place is no good for another: measure the whole text again.
    if (m_panelCut)
        setCaptionSafely(m_text);
}

void frmContextTip::NotifyMove()
{
    if (m_Shown)
        return;
    const QPoint pos = m_desktop.pointer();
    // A report of the same place changes nothing while the wait runs; once a show tick
    // has found the pointer gone, coming back to that very place is a new rest.
    if (pos == m_Last && m_tmrShowTip.isActive())
        return;
    // An idle timer stays idle: only an armed wait starts again.
    if (m_showInterval != 0)
        m_tmrShowTip.start(m_showInterval);
    m_Last = pos;
}

void frmContextTip::ShowAt(int x, int y, const QString &text)
{
    showAtFor(nullptr, m_owner, x, y, text);
}

void frmContextTip::showAtFor(const void *client, QWidget *owner, int x, int y, const QString &text)
{
    if (client != m_client) {
        // Another window's tip, if any, makes way.
        m_TipID.clear();
        m_client = client;
    }
    if (!text.isEmpty())
        setCaptionSafely(text);
    else
        restoreWholeCaption();
    const QPoint global = owner ? owner->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
    place(global);
    m_Shown = true;
}

void frmContextTip::armShowTimer(int ms)
{
    m_showInterval = ms;
    m_tmrShowTip.start(ms);
}

void frmContextTip::tmrShowTip_Timer()
{
    m_tmrShowTip.stop();
    if (m_text.isEmpty()) {
        m_showInterval = 0;
        return;
    }
    // Not now: the pointer moved on, or another program has the user. The wait stays
    // armed for the next move to restart, since the code window, still holding this
    // identifier, asks for nothing new when the pointer comes back to the word.
    const QPoint pointer = m_desktop.pointer();
    if (pointer != m_Last || !m_desktop.foregroundIsOurs())
        return;
    m_showInterval = 0;
    m_HwndUnder = m_desktop.windowAt(pointer);

    m_anchor = pointer;
    place(fitNextTo(pointer));
    m_Shown = true;
    watchWindowsAround(m_HwndUnder ? m_HwndUnder.data() : m_owner.data());
    m_tmrHideTip.start(m_timings.hidePollMs);
}

QPoint frmContextTip::fitNextTo(const QPoint &pointer)
{
    restoreWholeCaption();
    const int below = pointer.y() + m_desktop.cursorHeight / 2;
    int aboveEnd = pointer.y() - TipGapAbove;
    int roomBelow = INT_MAX / 2, roomAbove = 0;
    const QRect screen = m_desktop.screenArea(pointer);
    if (screen.isValid()) {
        // Above, the tip ends just over the pointer and inside the usable screen (the
        // pointer may rest on a panel below it).
        aboveEnd = std::min(aboveEnd, screen.bottom() + 1);
        roomBelow = screen.bottom() + 1 - below;
        roomAbove = aboveEnd - screen.top();
    }
    int height = m_panel->widget()->height();
    if (height > roomBelow && height > roomAbove) {
        m_panel->cutToHeight(std::max(roomBelow, roomAbove), m_leftOut);
        m_panelCut = true;
    } else if (m_leftOut) {
        // Text left out before measuring still needs its mark.
        m_panel->cutToHeight(height, true);
        m_panelCut = true;
    }
    height = m_panel->widget()->height();
    const int y = height <= roomBelow || roomBelow >= roomAbove ? below : aboveEnd - height;
    // Shifted left to end at the desktop's edge.
    const int x = std::min(pointer.x(), m_ScreenRight - m_panel->widget()->width());
    return {x, y};
}

void frmContextTip::tmrHideTip_Timer()
{
    // A tip that is no longer up has nothing to watch; without this check a tip cleared
    // while already empty would keep this timer polling until the next change.
    if (!isVisible() || !m_Shown) {
        m_tmrHideTip.stop();
        return;
    }
    if (!m_desktop.foregroundIsOurs() || m_desktop.windowAt(m_desktop.pointer()) != m_HwndUnder.data())
        takeAway();
}

void frmContextTip::takeAway()
{
    setTextFor(nullptr, QString(), QString());
}

void frmContextTip::watchWindowsAround(QWidget *under)
{
    unwatch();
    for (QWidget *w = under; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
    }
}

void frmContextTip::unwatch()
{
    for (const QPointer<QWidget> &w : std::as_const(m_watched)) {
        if (w)
            w->removeEventFilter(this);
    }
    m_watched.clear();
}

bool frmContextTip::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
    case QEvent::WindowStateChange:
        if (m_Shown)
            takeAway();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void frmContextTip::release(const void *client)
{
    if (client && m_client == client)
        setTextFor(client, QString(), QString());
}

void frmContextTip::hideWindow()
{
    unwatch();
    hide();
}

void frmContextTip::place(const QPoint &topLeft)
{
    const QSize size = m_panel->widget()->size();
    setGeometry(QRect(topLeft, size));
    if (onWayland() && m_owner) {
        // Without absolute placement the tip can only be a pop-up of a window of ours.
        if (QWidget *top = m_owner->window(); top && top->windowHandle() && windowHandle())
            windowHandle()->setTransientParent(top->windowHandle());
    }
    if (!isVisible())
        show();
    raise();
}
