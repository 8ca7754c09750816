#include "panelabout.h"
#include "lumopanel.h"
#include "modlumopanel.h"
#include "propertybag.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<LumoPanel> newPanel(QSize size = QSize(100, 30))
{
    auto panel = std::make_unique<LumoPanel>();
    panel->resize(size);
    return panel;
}

} // namespace

TEST(LumoPanel, NewInstanceDefaults)
{
    QWidget parent;
    LumoPanel panel(&parent);   // a child starts at 100 x 30 px
    EXPECT_EQ(panel.Font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(panel.Font().pointSizeF(), 8);
    EXPECT_FALSE(panel.Font().bold() || panel.Font().italic() || panel.Font().underline());
    EXPECT_EQ(panel.BorderColor(), 0u);
    EXPECT_EQ(panel.BorderWidth(), 1);
    EXPECT_EQ(panel.ScaleFaktor(), 1);
    EXPECT_EQ(panel.Alignment(), 5);
    EXPECT_EQ(panel.FrameStyle(), 1);
    EXPECT_EQ(panel.ShadowColor(), 0x80000010u);
    EXPECT_EQ(panel.ShadowDistance(), 2);
    EXPECT_EQ(panel.MinWidth(), 0);
    EXPECT_EQ(panel.MinHeight(), 0);
    EXPECT_EQ(panel.MaxWidth(), 1500);
    EXPECT_EQ(panel.MaxHeight(), 450);
    EXPECT_EQ(panel.BorderTextDistance(), 3);
    EXPECT_EQ(panel.BackStyle(), 1);
    EXPECT_TRUE(panel.AutoRefresh());
    EXPECT_EQ(panel.LineBreakChars(), QStringLiteral("-"));
    EXPECT_FALSE(panel.WithShadow());
    EXPECT_FALSE(panel.AutoResize());
    EXPECT_EQ(panel.ForeColor(), 0u);
    EXPECT_EQ(panel.BackColor(), 0x8000000Fu);
    EXPECT_EQ(panel.TransparentColor(), 0x80000005u);
    EXPECT_TRUE(panel.Enabled());
    EXPECT_TRUE(panel.AutoRedraw());
    EXPECT_EQ(panel.Caption(), QStringLiteral("LumoPanel"));
    EXPECT_EQ(panel.redrawCount(), 0);
    EXPECT_EQ(panel.focusPolicy(), Qt::NoFocus);
}

// Every row of the property table, written late-bound by name.
TEST(LumoPanel, LetTableRedrawsAndReports)
{
    struct Row { const char *name; QVariant value; QVariant readBack; bool redraws; bool reports; };
    const Row rows[] = {
        {"AutoRedraw", false, false, false, true},
        {"AutoResize", true, true, true, true},
        {"BackStyle", 0, 0, true, true},
        {"BorderColor", 255u, 255u, true, true},
        {"BorderWidth", 4, 4, true, true},
        {"BorderWidth", 0, 1, true, true},
        {"BorderWidth", 11, 10, true, true},
        {"Enabled", false, false, false, true},
        {"FrameStyle", 3, 3, true, true},
        {"MaxHeight", 900, 900, true, true},
        {"MinHeight", 100, 100, true, true},
        {"MaxWidth", 40000, 32767, true, true},     // 16-bit: saturates
        {"MinWidth", -40000, -32768, true, true},
        {"ShadowColor", 0xFFu, 0xFFu, true, true},
        {"ShadowDistance", 5, 5, true, true},
        {"ShadowDistance", 0, 1, true, true},
        {"ShadowDistance", 25, 20, true, true},
        {"TransparentColor", 0xFFu, 0xFFu, false, true},
        {"WithShadow", true, true, true, true},
        {"BackColor", 0xFFFFFFu, 0xFFFFFFu, true, true},
        {"ForeColor", 0xFFu, 0xFFu, true, true},
        {"Alignment", 0, 0, true, true},
        {"Caption", QStringLiteral("x"), QStringLiteral("x"), true, true},
        {"AutoRefresh", false, false, false, true},
        {"LineBreakChars", QStringLiteral(" "), QStringLiteral(" "), false, true},
        {"BorderTextDistance", 5, 5, true, true},   // reported like every other redrawing write
    };
    for (const Row &row : rows) {
        auto panel = newPanel();
        QSignalSpy changed(panel.get(), &LumoPanel::propertyChanged);
        const int before = panel->redrawCount();
        ASSERT_TRUE(panel->setProperty(row.name, row.value)) << row.name;
        EXPECT_EQ(panel->property(row.name), row.readBack) << row.name;
        EXPECT_EQ(panel->redrawCount() > before, row.redraws) << row.name;
        ASSERT_EQ(changed.count(), row.reports ? 1 : 0) << row.name;
        if (row.reports) {
            EXPECT_EQ(changed.first().first().toString(), QString::fromLatin1(row.name));
        }
    }
}

TEST(LumoPanel, FontSetCopiesFiveAttributesAndRedrawsOnce)
{
    auto panel = newPanel();
    QSignalSpy changed(panel.get(), &LumoPanel::propertyChanged);
    QFont given(QStringLiteral("DejaVu Sans Mono"));
    given.setPointSizeF(12);
    given.setBold(true);
    given.setItalic(true);
    given.setUnderline(true);
    given.setStrikeOut(true);
    given.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    const int before = panel->redrawCount();
    panel->setPanelFont(given);
    const QFont f = panel->Font();
    EXPECT_EQ(f.family(), given.family());
    EXPECT_EQ(f.pointSizeF(), 12);
    EXPECT_TRUE(f.bold() && f.italic() && f.underline());
    EXPECT_FALSE(f.strikeOut());
    EXPECT_EQ(f.letterSpacing(), 0);
    EXPECT_EQ(panel->redrawCount(), before + 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().toString(), QStringLiteral("Font"));

    // Like every redrawing write, the same font again still redraws once and reports.
    panel->setPanelFont(given);
    EXPECT_EQ(panel->redrawCount(), before + 2);
    EXPECT_EQ(changed.count(), 2);
}

TEST(LumoPanel, CaptionSizesSynchronouslyAndALaterResizeEventKeepsIt)
{
    LumoPanel panel;   // hidden: its resize events are posted until it is shown
    panel.setAutoResize(true);
    panel.setMaxWidth(30000);
    panel.setMaxHeight(30000);
    panel.setCaption(QStringLiteral("first line\r\nsecond, a longer line"));
    const QVector<CaptionLine> lines = panel.Lines();
    ASSERT_EQ(lines.size(), 2);
    const int wide = qMax(lines[0].Width, lines[1].Width);
    const QSize sized(qRound((wide + 90) / 15.0), qRound((lines[0].Height + lines[1].Height + 60) / 15.0));
    EXPECT_EQ(panel.size(), sized);
    panel.show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.size(), sized);
}

TEST(LumoPanel, ResizeByHandSetsTheLimitsAndNeverOverflows)
{
    auto panel = newPanel();
    panel->show();
    panel->resize(200, 40);
    EXPECT_EQ(panel->MaxWidth(), 3000);
    EXPECT_EQ(panel->MaxHeight(), 600);
    panel->resize(3000, 2500);   // beyond 2184 px: saturates
    EXPECT_EQ(panel->MaxWidth(), 32767);
    EXPECT_EQ(panel->MaxHeight(), 32767);

    auto sizing = newPanel();
    sizing->setAutoResize(true);
    sizing->setMaxWidth(1234);
    sizing->setMaxHeight(999);
    sizing->show();
    sizing->resize(300, 300);
    EXPECT_EQ(sizing->MaxWidth(), 1234);
    EXPECT_EQ(sizing->MaxHeight(), 999);
}

TEST(LumoPanel, MouseEventsOnlyWhileEnabled)
{
    auto panel = newPanel(QSize(100, 40));
    panel->show();
    QSignalSpy down(panel.get(), &LumoPanel::MouseDown);
    QSignalSpy up(panel.get(), &LumoPanel::MouseUp);
    QSignalSpy click(panel.get(), &LumoPanel::Click);
    QSignalSpy dbl(panel.get(), &LumoPanel::DblClick);
    QSignalSpy move(panel.get(), &LumoPanel::MouseMove);

    QTest::mouseClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down.first(), (QList<QVariant>{1, 0, 150.0f, 75.0f}));
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.first(), (QList<QVariant>{1, 0, 150.0f, 75.0f}));
    EXPECT_EQ(click.count(), 1);

    QTest::mouseClick(panel.get(), Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(2, 3));
    EXPECT_EQ(down.last(), (QList<QVariant>{2, 3, 30.0f, 45.0f}));

    QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    EXPECT_EQ(dbl.count(), 1);
    QTest::mouseMove(panel.get(), QPoint(20, 20));
    QCoreApplication::processEvents();

    panel->setPanelEnabled(false);
    const int counts[] = {int(down.count()), int(up.count()), int(click.count()), int(dbl.count()),
                          int(move.count())};
    QTest::mouseClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    QTest::mouseMove(panel.get(), QPoint(30, 30));
    QCoreApplication::processEvents();
    const int after[] = {int(down.count()), int(up.count()), int(click.count()), int(dbl.count()),
                         int(move.count())};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(after[i], counts[i]) << i;
}

TEST(LumoPanel, EnabledIsThePanelsOwnFlag)
{
    QWidget parent;
    auto *panel = new LumoPanel(&parent);
    QSignalSpy changed(panel, &LumoPanel::propertyChanged);
    parent.setEnabled(false);
    EXPECT_TRUE(panel->Enabled());
    EXPECT_EQ(changed.count(), 0);
    panel->setPanelEnabled(false);
    EXPECT_FALSE(panel->Enabled());
    EXPECT_EQ(changed.count(), 1);
}

TEST(PropertyBag, WritesOnlyWhatDiffersFromTheWriteDefaults)
{
    auto panel = newPanel();
    panel->setCaption(QString());
    PropertyBag bag;
    panel->WriteProperties(bag);
    const QStringList stored = bag.keys();
    // Always stored.
    for (const char *key : {"Font", "MinWidth", "MinHeight", "MaxWidth", "MaxHeight"})
        EXPECT_TRUE(stored.contains(QString::fromLatin1(key))) << key;
    // Equal to their write defaults: left out.
    for (const char *key : {"Caption", "LineBreakChars", "ShadowDistance", "WithShadow", "ShadowColor",
                            "BackStyle", "TransparentColor", "ScaleFaktor", "Alignment", "AutoRedraw",
                            "Enabled", "FrameStyle", "AutoResize", "BorderColor", "BorderWidth",
                            "BorderTextDistance", "AutoRefresh"})
        EXPECT_FALSE(stored.contains(QString::fromLatin1(key))) << key;
    // The write default of BackColor is the window colour; a new panel has button face.
    EXPECT_EQ(bag.value(QStringLiteral("BackColor")).toUInt(), 0x8000000Fu);
    EXPECT_EQ(bag.value(QStringLiteral("ForeColor")).toUInt(), 0u);

    panel->setForeColor(0x80000008u);
    PropertyBag again;
    panel->WriteProperties(again);
    EXPECT_FALSE(again.contains(QStringLiteral("ForeColor")));
}

TEST(PropertyBag, RoundTripAndLoadedInstanceStoresScaleFaktorZero)
{
    auto source = newPanel();
    source->setCaption(QStringLiteral("<b1>Hello<b0> world"));
    source->setAlignment(LumoPanel::TopRight);
    source->setFrameStyle(LumoPanel::UserBorder);
    source->setBorderWidth(3);
    source->setWithShadow(true);
    source->setShadowDistance(7);
    source->setForeColor(0xFFu);
    source->setLineBreakChars(QStringLiteral("-/"));
    source->setMinWidth(100);
    PropertyBag bag;
    source->WriteProperties(bag);

    auto loaded = newPanel();
    const int before = loaded->redrawCount();
    loaded->ReadProperties(bag);
    EXPECT_EQ(loaded->redrawCount(), before + 1);   // ends with one redraw
    for (const char *name : {"Caption", "Alignment", "FrameStyle", "BorderWidth", "WithShadow",
                             "ShadowDistance", "ForeColor", "LineBreakChars", "MinWidth", "MaxWidth",
                             "MaxHeight", "Font", "BackColor"})
        EXPECT_EQ(loaded->property(name), source->property(name)) << name;
    EXPECT_EQ(loaded->ScaleFaktor(), 0);
    PropertyBag resaved;
    loaded->WriteProperties(resaved);
    EXPECT_EQ(resaved.value(QStringLiteral("ScaleFaktor")).toInt(), 0);
    EXPECT_TRUE(resaved.contains(QStringLiteral("ScaleFaktor")));
}

TEST(PropertyBag, BadOrMissingValuesKeepWhatTheStepStartedWith)
{
    auto panel = newPanel();
    panel->setMaxWidth(2222);
    PropertyBag bag;
    bag.setValue(QStringLiteral("ShadowDistance"), QStringLiteral("abc"));   // reset value 24 stays
    bag.setValue(QStringLiteral("BorderWidth"), 0);                         // unclamped from a bag
    bag.setValue(QStringLiteral("Alignment"), QStringLiteral("x"));
    bag.setValue(QStringLiteral("BackStyle"), QStringLiteral("opaque?"));   // the last redraw step fails
    bag.setValue(QStringLiteral("Caption"), QStringLiteral("loaded"));
    const int before = panel->redrawCount();
    panel->ReadProperties(bag);
    EXPECT_EQ(panel->ShadowDistance(), 24);
    EXPECT_EQ(panel->BorderWidth(), 0);
    EXPECT_EQ(panel->Alignment(), 5);
    EXPECT_EQ(panel->MaxWidth(), 2222);          // a missing size key has no default
    EXPECT_EQ(panel->Font().family(), QStringLiteral("Arial"));   // the starting font
    EXPECT_EQ(panel->redrawCount(), before + 1);
    EXPECT_EQ(panel->Caption(), QStringLiteral("loaded"));
    ASSERT_FALSE(panel->Lines().isEmpty());
    EXPECT_TRUE(panel->Lines().first().Text.endsWith(QStringLiteral("loaded")));

    // Without "ForeColor" and "BackColor", the container's ambient colours are taken.
    AmbientProperties ambient;
    ambient.ForeColor = 0x123456u;
    ambient.BackColor = 0x654321u;
    panel->ReadProperties(PropertyBag(), &ambient);
    EXPECT_EQ(panel->ForeColor(), 0x123456u);
    EXPECT_EQ(panel->BackColor(), 0x654321u);
}

TEST(PropertyBag, ReadDefaultsAndFailures)
{
    PropertyBag bag;
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("X"), 5).toInt(), 5);
    EXPECT_THROW(bag.ReadProperty(QStringLiteral("X")), PropertyBagError);
    bag.WriteProperty(QStringLiteral("X"), 5, 5);
    EXPECT_FALSE(bag.contains(QStringLiteral("X")));
    bag.WriteProperty(QStringLiteral("C"), 0x80000010u, qint64(0x80000010u));
    EXPECT_FALSE(bag.contains(QStringLiteral("C")));
    EXPECT_THROW(PropertyBag::toInt(QStringLiteral("abc")), PropertyBagError);
    EXPECT_EQ(PropertyBag::toInt(QStringLiteral(" 12 ")), 12);
    EXPECT_TRUE(PropertyBag::toBool(QStringLiteral("True")));
    EXPECT_THROW(PropertyBag::toBool(QStringLiteral("maybe")), PropertyBagError);
}

TEST(modLumoPanel, VarMax)
{
    using modLumoPanel::VarMax;
    const QVariant null;
    EXPECT_EQ(VarMax(null, 5), QVariant(5));
    EXPECT_EQ(VarMax(3, null), QVariant(3));
    EXPECT_EQ(VarMax(3, 5), QVariant(5));
    EXPECT_EQ(VarMax(5, 3), QVariant(5));
    EXPECT_FALSE(VarMax(null, null).isValid());
}

TEST(LumoPanelAbout, CaptionVersionAndSystemInfo)
{
    QList<QString> shown;
    LumoPanelLib::setSysInfoHook([&](QWidget *, const QString &text) { shown << text; });
    {
        LumoPanelLib::frmAbout about;
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About LumoPanelControl"));
        EXPECT_EQ(about.lblVersion->text(), QStringLiteral("Version 1.2.0"));
        EXPECT_EQ(about.cmdSysInfo->text(), QStringLiteral("&System Info..."));
        about.cmdSysInfo->click();
    }
    EXPECT_EQ(shown, QList<QString>{QStringLiteral("System Information Is Unavailable At This Time")});

    // ShowAboutBox runs the box modally; OK ends it.
    bool sawBox = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<LumoPanelLib::frmAbout *>(QApplication::activeModalWidget());
        sawBox = box != nullptr;
        if (box)
            box->cmdOK->click();
    });
    auto panel = newPanel();
    panel->ShowAboutBox();
    EXPECT_TRUE(sawBox);
    LumoPanelLib::setSysInfoHook({});
}
