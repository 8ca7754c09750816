// The hover tip window: its wait, placement and taking away, stepped tick by tick on a
// panel that sizes itself by character count; the real panel's frame and size; and the
// tip in a real code window answered by a scripted server over a real link, hovered with
// the real pointer.

#include "codewindowfixture.h"

#include "eventwait.h"
#include "frmcontexttip.h"
#include "iforeground.h"
#include "lumopanel.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "mserver.h"
#include "routine.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTest>

namespace {

constexpr QRect kDesktop(0, 0, 1920, 1080);

// Seven pixels a character and sixteen a line, plus two for the frame on each side, so
// sizes are known without fonts. A caption holding "!fail" is refused as a real panel
// might refuse one it cannot draw.
class FakePanel : public TipPanel
{
public:
    FakePanel() : m_widget(new QWidget) {}   // the tip window adopts the widget

    QWidget *widget() override { return m_widget; }
    void configure(const QString &chars, int maxWidth, int maxHeight) override
    {
        breakChars = chars;
        maxWidthTwips = maxWidth;
        maxHeightTwips = maxHeight;
    }
    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) override
    {
        if (caption.contains(QLatin1String("!fail")))
            throw VantrelError(VantrelError::Base + 5, QStringLiteral("cannot draw"));
        m_caption = caption;
        longest = std::max(longest, int(caption.size()));
        int width = 0;
        const QStringList lines = caption.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            width = std::max(width, int(line.size()) * 7);
        m_widget->resize(width + 4, int(lines.size()) * 16 + 4);
    }
    QFont font() const override { return m_font; }
    void setFont(const QFont &font) override { m_font = font; }
    void cutToHeight(int maxHeight, bool textLeftOut) override
    {
        QStringList lines = m_caption.split(QLatin1Char('\n'));
        const int fit = std::max(0, (maxHeight - 4) / 16);
        if (fit >= lines.size() && !textLeftOut)
            return;
        lines = lines.mid(0, std::max(fit - 1, 0));
        lines.append(CutMark);
        setCaption(lines.join(QLatin1Char('\n')));
    }

    QString breakChars;
    int maxWidthTwips = 0, maxHeightTwips = 0;
    int longest = 0;   // the longest caption the panel was given

private:
    QWidget *m_widget;
    QString m_caption;
    QFont m_font;
};

} // namespace

// A tip window on a 1920 x 1080 desktop with the pointer, the program in front and the
// window under the pointer all in the test's hands.
class ContextTipTest : public ::testing::Test
{
protected:
    void SetUp() override { make(); }

    void make(QRect desktop = kDesktop, int availableHeight = 1040)
    {
        tip.reset();
        ContextTipDesktop d;
        d.pointer = [this] { return pointer; };
        d.foregroundIsOurs = [this] { return ours; };
        d.windowAt = [this](const QPoint &) { return under; };
        d.virtualDesktop = [desktop] { return desktop; };
        d.availableHeight = [availableHeight] { return availableHeight; };
        d.screenArea = [desktop, availableHeight](const QPoint &) {
            return QRect(desktop.topLeft(), QSize(desktop.width(), availableHeight));
        };
        auto fake = std::make_unique<FakePanel>();
        panel = fake.get();
        tip = std::make_unique<frmContextTip>(nullptr, d, ContextTipTimings{}, std::move(fake));
    }

    // Hands the tip a text, rests the pointer and lets the show timer fire.
    void showTip(const QString &text, const QString &id)
    {
        tip->SetText(text, id);
        tip->NotifyMove();
        tip->tmrShowTip_Timer();
    }
    QSize panelSize() const { return panel->widget()->size(); }

    QPoint pointer{400, 300};
    bool ours = true;
    QWidget window1, window2;
    QWidget *under = &window1;
    FakePanel *panel = nullptr;
    std::unique_ptr<frmContextTip> tip;
};

TEST_F(ContextTipTest, LoadSizesTheLimitsFromTheDesktop)
{
    struct Case
    {
        const char *name;
        QRect desktop;
        int availableHeight;
        int maxWidth, maxHeight;
    } cases[] = {
        {"one screen", kDesktop, 1040, 25920, 15600},
        {"a screen left of the primary", QRect(-1280, -200, 3200, 1280), 1040, 32767, 15600},
        {"limits are 16-bit", QRect(0, 0, 2500, 3000), 2990, 32767, 32767},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make(c.desktop, c.availableHeight);
        EXPECT_EQ(panel->maxWidthTwips, c.maxWidth);
        EXPECT_EQ(panel->maxHeightTwips, c.maxHeight);
        EXPECT_FALSE(tip->isVisible());
    }
    ASSERT_EQ(panel->breakChars.size(), 224);
    EXPECT_EQ(panel->breakChars.front(), QChar(32));
    EXPECT_EQ(panel->breakChars.back(), QChar(255));
    EXPECT_EQ(tip->TipID(), "");
    EXPECT_EQ(tip->Text(), "");
    EXPECT_FALSE(tip->isShowPending());
}

TEST_F(ContextTipTest, AFirstTipWaitsForThePointerToRest)
{
    tip->SetText("X = 1", "V1");
    EXPECT_EQ(tip->showInterval(), 1000);
    EXPECT_TRUE(tip->isShowPending());
    EXPECT_FALSE(tip->isShown());
    EXPECT_FALSE(tip->isVisible());

    // A one-pixel move restarts the wait from the new place.
    tip->NotifyMove();
    pointer += QPoint(1, 0);
    tip->NotifyMove();
    EXPECT_TRUE(tip->isShowPending());
    EXPECT_EQ(tip->showInterval(), 1000);
    tip->tmrShowTip_Timer();
    EXPECT_TRUE(tip->isShown());
    EXPECT_EQ(tip->geometry(), QRect(QPoint(401, 316), panelSize()));
    EXPECT_TRUE(tip->isHidePolling());
    EXPECT_FALSE(tip->isShowPending());
}

// A tip the show tick could not show still waits for its pointer: the code window asks
// nothing new while it holds the identifier, so the next rest on the word (even on the very
// pixel the wait began at) must bring the tip up.
TEST_F(ContextTipTest, NoTipWhileThePointerMovesOrAnotherProgramIsInFrontUntilItRestsAgain)
{
    struct Case
    {
        const char *name;
        QString text;
        bool moved, ours;
        QPoint restsAgainAt;   // relative to where the wait began
    } cases[] = {
        {"the pointer moved outside the editor and came back", "X = 1", true, true, {0, 0}},
        {"the pointer moved outside the editor and came back nearby", "X = 1", true, true, {1, 0}},
        {"another program was in front", "X = 1", false, false, {0, 1}},
        {"nothing to show", "", false, true, {1, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make();
        const QPoint start = pointer;
        tip->SetText(c.text, "V1");
        tip->NotifyMove();
        if (c.moved)
            pointer += QPoint(0, 40);
        ours = c.ours;
        tip->tmrShowTip_Timer();
        EXPECT_FALSE(tip->isShown());
        EXPECT_FALSE(tip->isVisible());
        EXPECT_FALSE(tip->isHidePolling());
        EXPECT_FALSE(tip->isShowPending());
        ours = true;

        pointer = start + c.restsAgainAt;
        tip->NotifyMove();
        const bool text = !c.text.isEmpty();
        EXPECT_EQ(tip->isShowPending(), text);
        EXPECT_EQ(tip->showInterval(), text ? 1000 : 0);
        tip->tmrShowTip_Timer();
        EXPECT_EQ(tip->isShown(), text);
        EXPECT_EQ(tip->isVisible(), text);
    }
}

TEST_F(ContextTipTest, PlacedHalfACursorBelowThePointerOrAboveItAndLeftOfTheDesktopEdge)
{
    constexpr int Above = -1;   // y: the tip's bottom two pixels above the pointer, on the usable screen
    struct Case
    {
        const char *name;
        QPoint pointer;
        QString text;
        QPoint topLeft;
    } cases[] = {
        {"room to the right", {400, 300}, "X = 1", {400, 316}},
        // 40 characters: 284 pixels, more than the 120 left of the edge.
        {"shifted to end at the edge", {1800, 300}, QString(40, 'x'), {1920 - 284, 316}},
        // The usable screen ends at 1040 (a panel of the desktop below it).
        {"just fits above the screen's bottom", {300, 1000}, "X = 1", {300, 1016}},
        {"above the pointer near the bottom", {300, 1030}, "X = 1", {300, Above}},
        {"above the pointer below the usable screen", {300, 1075}, "X = 1", {300, Above}},
        {"above and shifted in the corner", {1900, 1075}, QString(40, 'x'), {1920 - 284, Above}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make();
        pointer = c.pointer;
        showTip(c.text, "V1");
        ASSERT_TRUE(tip->isShown());
        QPoint topLeft = c.topLeft;
        if (topLeft.y() == Above)
            topLeft.setY(std::min(c.pointer.y() - 2, 1040) - panelSize().height());
        EXPECT_EQ(tip->geometry(), QRect(topLeft, panelSize()));
        EXPECT_LE(tip->geometry().bottom(), 1039);
    }
}

// A tip taller than the room on both sides of the pointer once lay over it, and the hide
// tick, seeing the pointer on the tip, took it away at once.
TEST_F(ContextTipTest, ATipTooTallForEitherSideTakesTheLargerOneCutWithAMark)
{
    const auto lines = [](int n) {
        QStringList l;
        for (int i = 0; i < n; ++i)
            l << QStringLiteral("line %1").arg(i);
        return l.join(QLatin1Char('\n'));
    };
    struct Case
    {
        const char *name;
        QPoint pointer;
        int lines;
        int top, height;       // the tip's top and height on the 1040-pixel usable screen
        bool cut;
    } cases[] = {
        // 316 to 1040 below: 45 lines of 16 fit, the last of them the mark.
        {"more room below", {400, 300}, 100, 316, 45 * 16 + 4, true},
        // 0 to 798 above: 49 lines.
        {"more room above", {400, 800}, 100, 798 - (49 * 16 + 4), 49 * 16 + 4, true},
        {"too tall for below, fits above", {400, 800}, 40, 798 - (40 * 16 + 4), 40 * 16 + 4, false},
        {"fits below", {400, 300}, 40, 316, 40 * 16 + 4, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make();
        pointer = c.pointer;
        const QString text = lines(c.lines);
        showTip(text, "V1");
        ASSERT_TRUE(tip->isShown());
        EXPECT_EQ(tip->geometry(), QRect(c.pointer.x(), c.top, panelSize().width(), c.height));
        EXPECT_FALSE(tip->geometry().contains(c.pointer));
        EXPECT_EQ(tip->isCut(), c.cut);
        EXPECT_EQ(panel->caption().endsWith(TipPanel::CutMark), c.cut);
        EXPECT_EQ(tip->Text(), text);   // what the tip holds is the whole text

        // The hide tick leaves it, and the same text again changes nothing.
        tip->tmrHideTip_Timer();
        EXPECT_TRUE(tip->isShown());
        tip->SetText(text, "V1");
        EXPECT_EQ(tip->geometry().height(), c.height);
    }
}

// A value of millions of characters: only what could show on the screen is measured.
TEST_F(ContextTipTest, AHugeTextIsMeasuredOnlyAsFarAsTheScreenCouldShow)
{
    QString text;
    for (int i = 0; i < 100000; ++i)
        text += QStringLiteral("line %1\n").arg(i, 6, 10, QLatin1Char('0'));
    showTip(text, "V1");
    ASSERT_TRUE(tip->isShown());
    EXPECT_EQ(tip->Text(), text);
    EXPECT_TRUE(tip->isCut());
    EXPECT_TRUE(panel->caption().endsWith(TipPanel::CutMark));
    EXPECT_LT(panel->longest, text.size() / 4);
    EXPECT_LE(tip->geometry().bottom(), 1039);
    EXPECT_FALSE(tip->geometry().contains(pointer));
}

TEST_F(ContextTipTest, ANewIdentifierReplacesTheTipAfterTheShortWait)
{
    showTip("X = 1", "V1");
    tip->SetText("Y = 2", "V2");
    EXPECT_FALSE(tip->isShown());
    EXPECT_FALSE(tip->isVisible());
    EXPECT_FALSE(tip->isHidePolling());
    EXPECT_EQ(tip->showInterval(), 200);
    tip->tmrShowTip_Timer();
    EXPECT_TRUE(tip->isShown());
    EXPECT_EQ(tip->Text(), "Y = 2");
    EXPECT_EQ(tip->TipID(), "V2");

    // Once nothing is up and the show timer has run down, the next tip waits the long
    // wait again; a tip still waiting counts as one that was up.
    tip->SetText("", "");
    tip->tmrShowTip_Timer();
    tip->SetText("Z = 3", "V3");
    EXPECT_EQ(tip->showInterval(), 1000);
    tip->SetText("W = 4", "V4");
    EXPECT_EQ(tip->showInterval(), 200);
}

TEST_F(ContextTipTest, TheSameIdentifierUpdatesAShownTipInPlace)
{
    showTip("X = 1", "V1");
    const QPoint topLeft = tip->pos();
    tip->SetText("X = 1234567890", "V1");
    EXPECT_TRUE(tip->isShown());
    EXPECT_EQ(tip->geometry(), QRect(topLeft, panelSize()));
    EXPECT_EQ(panelSize().width(), 14 * 7 + 4);
    EXPECT_FALSE(tip->isShowPending());

    // Without an identifier the text itself is the tip: the same text changes nothing.
    showTip("Line <b1>LBL+1", "");
    const QRect shown = tip->geometry();
    tip->SetText("Line <b1>LBL+1", "");
    EXPECT_TRUE(tip->isShown());
    EXPECT_EQ(tip->geometry(), shown);
    EXPECT_FALSE(tip->isShowPending());
    EXPECT_TRUE(tip->isHidePolling());
}

TEST_F(ContextTipTest, AShownTipIgnoresPointerMovesAndGoesWithAnEmptyText)
{
    showTip("X = 1", "V1");
    pointer += QPoint(3, 3);
    tip->NotifyMove();
    EXPECT_TRUE(tip->isShown());
    EXPECT_FALSE(tip->isShowPending());

    tip->SetText("", "");
    EXPECT_FALSE(tip->isShown());
    EXPECT_FALSE(tip->isVisible());
    EXPECT_FALSE(tip->isHidePolling());
    EXPECT_EQ(tip->Text(), "");
    EXPECT_EQ(tip->TipID(), "");
    tip->NotifyMove();
    tip->tmrShowTip_Timer();
    EXPECT_FALSE(tip->isShown());
}

TEST_F(ContextTipTest, TheHideTickTakesTheTipAwayWhenItIsNoLongerWanted)
{
    struct Case
    {
        const char *name;
        bool ours;
        QWidget *under;
        bool stays;
    } cases[] = {
        {"pointer still over its window", true, &window1, true},
        {"another program came to the front", false, &window1, false},
        {"pointer over another window of ours", true, &window2, false},
        {"pointer over another program's window", true, nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make();
        under = &window1;
        showTip("X = 1", "V1");
        ASSERT_TRUE(tip->isShown());
        ours = c.ours;
        under = c.under;
        tip->tmrHideTip_Timer();
        EXPECT_EQ(tip->isShown(), c.stays);
        EXPECT_EQ(tip->TipID(), c.stays ? "V1" : "");
        EXPECT_EQ(tip->isHidePolling(), c.stays);
        EXPECT_EQ(tip->isVisible(), c.stays);
        ours = true;
    }
}

// An idle tip is unmapped, not left as a speck of a window that window lists and other
// programs would meet; showing it again takes no focus.
TEST_F(ContextTipTest, AnIdleTipIsHiddenAndShowsAgainWithoutTakingTheFocus)
{
    EXPECT_FALSE(tip->isVisible());
    tip->SetText("X = 1", "V1");
    EXPECT_FALSE(tip->isVisible());
    tip->NotifyMove();
    tip->tmrShowTip_Timer();
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->geometry(), QRect(QPoint(400, 316), panelSize()));
    EXPECT_TRUE(tip->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(tip->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    ours = false;
    tip->tmrHideTip_Timer();
    EXPECT_FALSE(tip->isVisible());
    EXPECT_FALSE(tip->isShown());
    EXPECT_FALSE(tip->isHidePolling());
}

TEST_F(ContextTipTest, ACaptionThePanelRefusesBecomesTheErrorText)
{
    showTip("!fail", "V1");
    EXPECT_EQ(tip->Text(), QString("<fc=16711680>Unable to display context tip (%1)").arg(VantrelError::Base + 5));
    EXPECT_TRUE(tip->isShown());
    tip->SetText("X = 1", "V1");
    EXPECT_EQ(tip->Text(), "X = 1");
}

TEST_F(ContextTipTest, TheOwnerIsTakenOnce)
{
    QWidget first, second;
    tip->setOwner(&first);
    tip->setOwner(&second);
    EXPECT_EQ(tip->owner(), &first);
    tip->setOwner(nullptr);
    EXPECT_EQ(tip->owner(), &first);
}

TEST_F(ContextTipTest, ShowAtPlacesTheTipAtOnceInTheOwnersPixels)
{
    QWidget owner;
    owner.setGeometry(100, 50, 300, 200);
    owner.show();
    tip->setOwner(&owner);
    tip->ShowAt(10, 20, "hello");
    EXPECT_TRUE(tip->isShown());
    EXPECT_EQ(tip->Text(), "hello");
    EXPECT_EQ(tip->geometry(), QRect(owner.mapToGlobal(QPoint(10, 20)), panelSize()));
}

// Each code window holds its own handle on the one tip; the tip belongs to whichever
// window gave it its text last.
TEST_F(ContextTipTest, ClientsSeeAndClearOnlyTheirOwnTip)
{
    QWidget codeA, codeB;
    auto a = tip->client();
    auto b = tip->client();
    a->setOwner(&codeA);
    b->setOwner(&codeB);
    b->setOwner(&codeA);
    EXPECT_EQ(b->owner(), &codeB);

    a->SetText("X = 1", "V1");
    EXPECT_EQ(a->TipID(), "V1");
    EXPECT_EQ(b->TipID(), "");
    EXPECT_EQ(b->Text(), "");

    b->SetText("", "");                 // b's ClearTip: not b's tip
    b->setOwner(nullptr);               // b's window closing
    EXPECT_EQ(tip->Text(), "X = 1");
    EXPECT_EQ(a->Text(), "X = 1");

    b->setOwner(&codeB);
    a->NotifyMove();
    a->ShowAt(0, 0, QString());
    ASSERT_TRUE(tip->isShown());
    b->SetText("Y = 2", "V1");          // an equal identifier from another window is a new tip
    EXPECT_FALSE(tip->isShown());
    EXPECT_EQ(b->TipID(), "V1");
    EXPECT_EQ(a->TipID(), "");

    a.reset();
    EXPECT_EQ(tip->Text(), "Y = 2");
    b.reset();
    EXPECT_EQ(tip->Text(), "");
    EXPECT_EQ(tip->TipID(), "");
}

// The tip window on the real panel.
TEST(ContextTipPanel, AFramelessToolTipThatTakesNoFocusSizedToItsLines)
{
    QPoint pointer(200, 200);
    ContextTipDesktop d;
    d.pointer = [&] { return pointer; };
    d.foregroundIsOurs = [] { return true; };
    d.windowAt = [](const QPoint &) { return nullptr; };
    frmContextTip tip(nullptr, d);

    const Qt::WindowFlags flags = tip.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::ToolTip);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(tip.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(tip.focusPolicy(), Qt::NoFocus);

    auto *panel = dynamic_cast<LumoPanel *>(tip.panel()->widget());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->FrameStyle(), int(LumoPanel::UserBorder));
    EXPECT_EQ(panel->Alignment(), int(LumoPanel::MiddleLeft));
    EXPECT_TRUE(panel->AutoResize());
    EXPECT_EQ(panel->BackColor(), 0x80000018u);
    EXPECT_EQ(panel->ForeColor(), 0u);
    EXPECT_EQ(panel->MinWidth(), 0);
    EXPECT_EQ(panel->MinHeight(), 0);

    // Five lines are far taller than the 30 pixels a new panel starts with.
    tip.SetText("<b1>X<b0> = 1\r\nline two\r\nline three\r\nline four\r\nline five", "V1");
    tip.NotifyMove();
    tip.tmrShowTip_Timer();
    ASSERT_TRUE(tip.isShown());
    EXPECT_EQ(panel->Lines().size(), 5);
    EXPECT_GT(panel->height(), 30);
    EXPECT_EQ(tip.size(), panel->size());
    EXPECT_EQ(panel->pos(), QPoint(0, 0));

    // One black line all round on the tooltip background.
    const QImage image = panel->image();
    ASSERT_FALSE(image.isNull());
    const QColor tipBack = QApplication::palette().color(QPalette::Active, QPalette::ToolTipBase);
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(image.width() - 1, image.height() - 1)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(image.width() - 2, 1)), tipBack);

    // A text wider than the desktop wraps inside nine tenths of it.
    QStringList words;
    for (int i = 0; i < 800; ++i)
        words << QStringLiteral("word%1").arg(i);
    tip.SetText(words.join(' '), "V1");
    const int desktopWidth = QGuiApplication::primaryScreen()->virtualGeometry().width();
    EXPECT_LE(tip.width(), desktopWidth * 9 / 10 + 1);
    EXPECT_GT(panel->Lines().size(), 1);
    EXPECT_EQ(tip.size(), panel->size());
}

// A code window whose tips the scripted server answers over a real link; the test plays
// the message dispatcher's part, handing each "TIP" answer to the routine.
class TipSessionTest : public CodeWindowTest
{
protected:
    // The tip window the code windows show their tips in.
    void useTipWindow(std::unique_ptr<frmContextTip> tips)
    {
        tipWindow = std::move(tips);
        frmCode::setTipFactory([this] { return tipWindow->client(); });
        QObject::connect(&session, &MLink::OnMessage, [this](const QStringList &m) {
            if (m.value(0) == QLatin1String("TIP") && r)
                r->SetTip(m.value(1), m.value(2));
        });
    }
    void TearDown() override
    {
        frmCode::setTipFactory({});
        r.reset();
        CodeWindowTest::TearDown();
        tipWindow.reset();
    }

    // The server connects and the routine ABC opens in its code window.
    void openRoutineOn(mserver::MServer &server)
    {
        ASSERT_TRUE(server.startAccepted(session));
        r = openRoutine(&docLink, "ABC", QStringList{"ABC\t; header", "\tS X=Y+ZZZ", "LBL\tW Y", "\tQ"}.join("\r\n"));
        r->setVisible(true);
        w = window(*r);
    }
    bool shownWith(const QString &text)
    {
        return waitUntil([&] { return tipWindow->isShown() && tipWindow->Text() == text; }, 5000);
    }

    MLink session;
    MLinkDocLink docLink{&session};
    std::unique_ptr<frmContextTip> tipWindow;
    std::shared_ptr<Routine> r;
    frmCode *w = nullptr;
};

// Tips with the desktop played by the test: its pointer and which program is in front.
class ServerTipTest : public TipSessionTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        ContextTipDesktop d;
        d.pointer = [this] { return pointer; };
        // The program's own foreground layer, with another program's coming to the
        // front played by the test.
        d.foregroundIsOurs = [this] {
            IForeground &fg = foreground();
            return ours && fg.isOurs(fg.foregroundWindow());
        };
        // Short waits: the tests wait for states, never for times.
        useTipWindow(std::make_unique<frmContextTip>(nullptr, d, ContextTipTimings{20, 5, 20}));
    }

    void openOn(mserver::MServer &server)
    {
        openRoutineOn(server);
        w->MeX()->setGeometry(100, 100, 500, 300);
        w->MeX()->activateWindow();
        QCoreApplication::processEvents();
    }
    // The pointer rests over the character cell (column, line), 0-based; the code window
    // hears of it as the editor does.
    void hover(int column, int line)
    {
        SourceView *view = w->SourceView1();
        const QPoint p = cell(view, column, line) + QPoint(view->CharWidth() / 2, 0);
        pointer = view->viewport()->mapToGlobal(p);
        int button = 0, shift = 0, x = p.x(), y = p.y();
        emit view->MouseMove(button, shift, x, y);
    }
    static QString tipReply(const QString &request, const QString &key) { return request + QChar(0) + key; }

    QPoint pointer;
    bool ours = true;
};

TEST_F(ServerTipTest, AnswersAreShownReplacedAndUpdatedInPlace)
{
    using namespace mserver;
    const QString longer = "ZZZ = \"a much longer value than before\"";
    MServer server({
        expect({"TIP", "V2:5", "Y"}),
        send({"TIP", "V2:5", "12"}),
        expect({"TIP", "V2:7", "ZZZ"}),
        send({"TIP", "V2:7", "ZZZ = 3"}),
        expect({"PING"}),   // the test has seen the first answer shown
        send({"TIP", "V2:7", longer}),
    });
    openOn(server);
    engine->on("Pos2Tip^PARSE", tipReply("=Y", "V2:5"));
    hover(5, 1);
    ASSERT_TRUE(shownWith("12"));
    const QPoint below = pointer + QPoint(0, 16);
    EXPECT_EQ(tipWindow->pos(), below);
    EXPECT_EQ(tipWindow->size(), tipWindow->panel()->widget()->size());

    engine->on("Pos2Tip^PARSE", tipReply("=ZZZ", "V2:7"));
    hover(8, 1);
    EXPECT_FALSE(tipWindow->isShown());
    ASSERT_TRUE(shownWith("ZZZ = 3"));
    const QRect first = tipWindow->geometry();
    LinkSession(session).Send({"PING"});

    ASSERT_TRUE(shownWith(longer));
    EXPECT_EQ(tipWindow->pos(), first.topLeft());
    EXPECT_GT(tipWindow->width(), first.width());
    EXPECT_EQ(tipWindow->size(), tipWindow->panel()->widget()->size());
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// A routine keeps the session it was loaded in: once that server has gone, the value the
// pointer rests on is asked of nobody, least of all the server that connected next.
TEST_F(ServerTipTest, ARoutineOfAnEndedSessionAsksTheNextServerNothing)
{
    using namespace mserver;
    MServer a({expect({"PING"}), close()});
    openOn(a);
    LinkSession(session).Send({"PING"});
    ASSERT_TRUE(a.wait()) << a.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !session.IsConnected(); }, 5000));

    MServer b({expect({"PING"})});
    ASSERT_TRUE(b.startAccepted(session));
    engine->on("Pos2Tip^PARSE", tipReply("=Y", "V2:5"));
    hover(5, 1);
    ASSERT_TRUE(shownWith("Y"));
    // What B hears first is this, not a question about A's routine.
    LinkSession(session).Send({"PING"});
    EXPECT_TRUE(b.wait()) << b.failure().toStdString();
}

TEST_F(ServerTipTest, TheTipGoesWithinOneHideTickWhenWantedNoLonger)
{
    using namespace mserver;
    MServer server({
        expect({"TIP", "V2:5", "Y"}),
        send({"TIP", "V2:5", "12"}),
        expect({"TIP", "V2:5", "Y"}),
        send({"TIP", "V2:5", "12"}),
        expect({"TIP", "V2:5", "Y"}),
        send({"TIP", "V2:5", "12"}),
    });
    openOn(server);
    engine->on("Pos2Tip^PARSE", tipReply("=Y", "V2:5"));
    QWidget other;
    other.setGeometry(700, 100, 200, 200);
    other.show();
    QCoreApplication::processEvents();

    struct Case
    {
        const char *name;
        std::function<void()> change;
        bool stays;
    } cases[] = {
        {"the focus moves to another window of ours", [&] { other.activateWindow(); other.setFocus(); }, false},
        {"the pointer moves from the text into the margin", [&] { pointer = w->SourceView1()->viewport()->mapToGlobal(QPoint(2, 5)); }, true},
        {"another program comes to the front", [&] { ours = false; }, false},
        {"the pointer moves to another window", [&] { pointer = other.mapToGlobal(QPoint(50, 50)); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!tipWindow->isShown()) {
            w->MeX()->activateWindow();
            QCoreApplication::processEvents();
            hover(5, 1);
            ASSERT_TRUE(shownWith("12"));
        }
        c.change();
        QCoreApplication::processEvents();
        tipWindow->tmrHideTip_Timer();
        EXPECT_EQ(tipWindow->isShown(), c.stays);
        EXPECT_EQ(tipWindow->Text(), c.stays ? "12" : "");
        ours = true;
    }
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// The tip in a code window on the real desktop: the pointer is the real one, moved as the
// user moves it, and the window under it is found as the hide tick finds it.
class HoverTipTest : public TipSessionTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        // The pointer's moves reach the window a little after the pointer: the wait before
        // a tip shows is long enough for them to settle. The hide tick never comes by
        // itself, so only what the test does takes a tip away (the tests step the tick
        // where they need it).
        ContextTipDesktop d;
        // The program's own foreground layer; another program coming to the front is
        // played by the test.
        d.foregroundIsOurs = [this] {
            IForeground &fg = foreground();
            return ours && fg.isOurs(fg.foregroundWindow());
        };
        useTipWindow(std::make_unique<frmContextTip>(nullptr, d, ContextTipTimings{200, 200, 600000}));
    }

    void openOn(mserver::MServer &server, const QRect &geometry)
    {
        openRoutineOn(server);
        // Code windows open maximised; this one stands where the test puts it.
        w->MeX()->showNormal();
        w->MeX()->setGeometry(geometry);
        activate();
        engine->on("Pos2Tip^PARSE", QStringLiteral("=Y") + QChar(0) + QStringLiteral("V2:5"));
    }
    // A tip shows only while a window of ours is in front.
    void activate()
    {
        w->MeX()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w->MeX()->window()));
    }
    // The middle of "Y" on the second line, in the text area's pixels.
    QPoint overY() const
    {
        SourceView *view = w->SourceView1();
        // The editor's positions count the margin in; the text area starts after it.
        return cell(view, 5, 1) + QPoint(view->CharWidth() / 2 - view->MarginWidth() * view->CharWidth(), 0);
    }
    // The user moves the mouse over "Y" on the second line and lets it rest there.
    void hoverY()
    {
        SourceView *view = w->SourceView1();
        QTest::mouseMove(view->viewport(), overY() - QPoint(view->CharWidth(), 0));
        QTest::mouseMove(view->viewport(), overY());
    }

    bool ours = true;   // false: another program has the user's input
};

// The user rests the pointer on a variable while another program has come to the front:
// the server answers, the wait runs out and no tip shows. Back in this program the pointer
// rests on the same word again, nudged and back to the very pixel: the answered tip shows,
// and the server is not asked twice.
TEST_F(HoverTipTest, AnAnsweredTipShowsWhenThePointerRestsOnItsWordAgain)
{
    using namespace mserver;
    MServer server({
        expect({"TIP", "V2:5", "Y"}),
        send({"TIP", "V2:5", "12"}),
        expect({"PING"}),   // nothing else came first: no second request
    });
    openOn(server, QRect(100, 100, 500, 300));
    EXPECT_FALSE(tipWindow->isVisible());
    ours = false;
    hoverY();
    ASSERT_TRUE(waitUntil([&] { return tipWindow->Text() == "12" && !tipWindow->isShowPending(); }, 5000));
    EXPECT_FALSE(tipWindow->isShown());
    EXPECT_FALSE(tipWindow->isVisible());

    ours = true;
    SourceView *view = w->SourceView1();
    QTest::mouseMove(view->viewport(), overY() + QPoint(1, 0));
    QTest::mouseMove(view->viewport(), overY());
    ASSERT_TRUE(shownWith("12"));
    EXPECT_TRUE(tipWindow->isVisible());
    EXPECT_FALSE(tipWindow->geometry().contains(QCursor::pos()));
    LinkSession(session).Send({"PING"});
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// Long values once covered the pointer: the hide tick found the pointer on the tip and
// took it away within a tick, so they flashed or never showed.
TEST_F(HoverTipTest, ALongValueShowsBesideThePointerCutToTheScreenWithAMark)
{
    using namespace mserver;
    const auto value = [](int n) {
        QString v = QStringLiteral("Y=\"");
        while (v.size() < n)
            v += QStringLiteral("value %1 ").arg(v.size());
        return v.left(n);
    };
    const QList<int> sizes{5000, 20000, 1000000};
    bool cut = false;
    QList<Step> script;
    for (int n : sizes) {
        script << expect({"TIP", "V2:5", "Y"}) << send({"TIP", "V2:5", value(n)});
    }
    MServer server(script);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Mid-screen: neither the room above the word nor the room below holds the values.
    openOn(server, QRect(screen.left() + 100, screen.center().y() - 40, 500, 300));
    for (int n : sizes) {
        SCOPED_TRACE(n);
        hoverY();
        ASSERT_TRUE(shownWith(value(n)));
        const QRect tip = tipWindow->geometry();
        EXPECT_FALSE(tip.contains(QCursor::pos()));
        EXPECT_TRUE(screen.contains(tip));
        auto *panel = dynamic_cast<LumoPanel *>(tipWindow->panel()->widget());
        ASSERT_NE(panel, nullptr);
        ASSERT_FALSE(panel->Lines().isEmpty());
        // Whole where one side holds it, else ending in the mark.
        if (tipWindow->isCut())
            EXPECT_TRUE(panel->Lines().constLast().Text.endsWith(QStringLiteral("[\u2026]")));
        else
            EXPECT_EQ(panel->Caption(), value(n));
        EXPECT_EQ(tipWindow->size(), panel->size());

        // It stays while the pointer rests on the word.
        tipWindow->tmrHideTip_Timer();
        EXPECT_TRUE(tipWindow->isShown());

        cut = cut || tipWindow->isCut();

        // Past the line's end (a row the tip never covers) and back for the next value.
        SourceView *view = w->SourceView1();
        QTest::mouseMove(view->viewport(), cell(view, 9, 1) + QPoint((6 - view->MarginWidth()) * view->CharWidth(), 0));
        ASSERT_TRUE(waitUntil([&] { return !tipWindow->isShown(); }, 5000));
    }
    EXPECT_TRUE(cut);   // a million characters fill any screen
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

// A still pointer over a window that moves is over other text: the tip of the old text
// must not stay behind.
TEST_F(HoverTipTest, TheTipGoesWhenTheWindowMovesChangesSizeOrIsDeactivated)
{
    using namespace mserver;
    QList<Step> script;
    for (int i = 0; i < 4; ++i)
        script << expect({"TIP", "V2:5", "Y"}) << send({"TIP", "V2:5", "12"});
    MServer server(script);
    openOn(server, QRect(100, 100, 500, 300));
    QWidget other;
    other.setGeometry(650, 100, 100, 100);
    other.show();
    QCoreApplication::processEvents();

    struct Case
    {
        const char *name;
        std::function<void(QWidget *)> change;
    } cases[] = {
        {"moved by a few pixels", [](QWidget *window) { window->move(window->pos() + QPoint(6, 4)); }},
        {"made larger", [](QWidget *window) { window->resize(window->size() + QSize(30, 20)); }},
        {"another window comes to the front", [&](QWidget *) { other.activateWindow(); }},
        {"minimised", [](QWidget *window) { window->showMinimized(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        w->MeX()->showNormal();
        activate();
        hoverY();
        ASSERT_TRUE(shownWith("12"));
        c.change(w->MeX()->window());
        // As soon as the window system reports the change; the hide tick never comes.
        EXPECT_TRUE(waitUntil([&] { return !tipWindow->isShown(); }, 5000));
        EXPECT_EQ(tipWindow->Text(), "");
        EXPECT_FALSE(tipWindow->isVisible());
    }
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}
