// The go-to box on the Edit tool bar (label completion, its keys, Enter) and the Go to
// Line dialog, over a real code window and the real command manager.

#include "codewindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "commandui.h"
#include "edgotohelper.h"
#include "frmgoto.h"
#include "routine.h"
#include "routines.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QStringList kLines = {"Start\t; a", "\tQ", "START2\tW 1", "\tQ", "Stop\tW 2",
                            "\tW 3", "\tW 4", "\tW 5", "\tQ"};

// The main window with the property the box names its helper in.
class HelperMainWindow : public QObject, public FakeMainWindow
{
    Q_OBJECT
    Q_PROPERTY(QObject *OtxCBHelper MEMBER helper)
public:
    QObject *helper = nullptr;
};

} // namespace

class GotoBoxTest : public CodeWindowTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        setMainWindow(&mainObject);
        engine->on("Pos2Cmd^PARSE", "1");
        engine->on("Pos2CEnd^PARSE", "3");
        r = open(kLines);
        w = window(*r);
        routines->setActive(r.get());

        manager = std::make_unique<CommandManager>();
        manager->load(vantrelCommandDesign());
        manager->registerChildForm(w, w);
        manager->setActiveChild(w);
        QObject::connect(manager.get(), &CommandManager::executed, [this](const QString &id) { executed << id; });
        ui = manager->command(QStringLiteral("EdGoto"))->uiObjects().value(0);
        ASSERT_NE(ui, nullptr);
        combo = ui->combo();
        helper = new EdGotoHelper(ui, combo);
        host = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(host.get());
        layout->addWidget(manager->toolBar(QStringLiteral("tlbEdit")));
        host->show();
    }
    void TearDown() override
    {
        host.reset();
        manager.reset();
        CodeWindowTest::TearDown();
    }
    void focus(bool in)
    {
        QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(combo, &event);
    }
    // An empty box with the routine's labels, as the first focus leaves it.
    void reset()
    {
        combo->clear();
        combo->setEditText(QString());
        focus(true);
        beeps = 0;
    }
    QLineEdit *edit() { return combo->lineEdit(); }

    HelperMainWindow mainObject;
    std::shared_ptr<Routine> r;
    frmCode *w = nullptr;
    std::unique_ptr<CommandManager> manager;
    std::unique_ptr<QWidget> host;
    CommandUI *ui = nullptr;
    QComboBox *combo = nullptr;
    EdGotoHelper *helper = nullptr;
    QStringList executed;
};

TEST_F(GotoBoxTest, FocusFillsTheLabelsAndNamesTheHelper)
{
    EXPECT_EQ(combo->completer(), nullptr);
    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
    focus(true);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, (QStringList{"Start", "START2", "Stop"}));
    EXPECT_EQ(combo->currentText(), QString());
    EXPECT_EQ(mainObject.helper, helper);
    focus(false);
    EXPECT_EQ(mainObject.helper, nullptr);
}

TEST_F(GotoBoxTest, CompletionAndKeys)
{
    struct Case
    {
        const char *name;
        const char *typed;
        Qt::Key key;   // pressed after typing; Qt::Key_unknown: none
        const char *typedAfter;
        const char *text, *selected;
        int cursor, beeps;
    } cases[] = {
        {"the first exact-case match", "St", Qt::Key_unknown, "", "Start", "art", 5, 0},
        {"another case passes over Start", "STA", Qt::Key_unknown, "", "START2", "RT2", 6, 0},
        {"no exact-case match: the last hit", "s", Qt::Key_unknown, "", "Stop", "top", 4, 0},
        {"typing over the completed tail", "Sto", Qt::Key_unknown, "", "Stop", "p", 4, 0},
        {"a sign keeps the completed label", "Sto+3", Qt::Key_unknown, "", "Stop+3", "", 6, 0},
        {"a minus too", "Sto-1", Qt::Key_unknown, "", "Stop-1", "", 6, 0},
        {"an offset alone", "+3", Qt::Key_unknown, "", "+3", "", 2, 0},
        {"no label: all selected and a beep", "X", Qt::Key_unknown, "", "X", "X", 1, 1},
        {"Backspace removes the completed tail", "St", Qt::Key_Backspace, "", "St", "", 2, 0},
        {"Backspace without a selection", "Stop", Qt::Key_Backspace, "", "Sto", "", 3, 0},
        {"Delete removes the tail without completing", "St", Qt::Key_Delete, "", "St", "", 2, 0},
        {"only the Delete's change goes uncompleted", "Stop", Qt::Key_Delete, "+", "Stop+", "", 5, 0},
        {"typing in the middle completes nothing", "Stop", Qt::Key_Left, "x", "Stoxp", "", 4, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        QTest::keyClicks(combo, QLatin1String(c.typed));
        if (c.key != Qt::Key_unknown)
            QTest::keyClick(combo, c.key);
        QTest::keyClicks(combo, QLatin1String(c.typedAfter));
        EXPECT_EQ(combo->currentText(), QLatin1String(c.text));
        EXPECT_EQ(edit()->selectedText(), QLatin1String(c.selected));
        EXPECT_EQ(edit()->cursorPosition(), c.cursor);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(combo->count(), 3);
    }
    EXPECT_TRUE(executed.isEmpty());
}

TEST_F(GotoBoxTest, EnterRunsTheCommandOnceAndGoesThere)
{
    reset();
    QTest::keyClicks(combo, QStringLiteral("Sto+3"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(executed, QStringList{"EdGoto"});
    EXPECT_EQ(w->SourceView1()->CaretLine(), 7);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(combo->count(), 3);

    // A place the routine does not have: a beep and the whole text selected.
    reset();
    QTest::keyClicks(combo, QStringLiteral("Sto+30"));
    QTest::keyClick(combo, Qt::Key_Enter);
    EXPECT_EQ(executed, (QStringList{"EdGoto", "EdGoto"}));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(edit()->selectedText(), "Stop+30");
    EXPECT_EQ(w->SourceView1()->CaretLine(), 7);
}

class GotoDialogTest : public CodeWindowTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        engine->on("Pos2Cmd^PARSE", "1");
        engine->on("Pos2CEnd^PARSE", "3");
        r = open({"Zeta\tW 1", "\tQ", "alpha\tW 2", "Mid\tW 3", "\tQ"});
        routines->setActive(r.get());
    }
    static QStringList items(QComboBox *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }
    std::shared_ptr<Routine> r;
};

TEST_F(GotoDialogTest, ListsGoesAndHides)
{
    frmGoto dialog;
    EXPECT_EQ(dialog.windowTitle(), "Go to Line");
    EXPECT_EQ(dialog.chkSorted()->text(), "&Sort list");
    EXPECT_TRUE(dialog.cmdGoto()->isDefault());
    dialog.show();
    EXPECT_EQ(items(dialog.cboLine(0)), (QStringList{"Zeta", "alpha", "Mid"}));
    EXPECT_EQ(items(dialog.cboLine(1)), (QStringList{"alpha", "Mid", "Zeta"}));
    EXPECT_TRUE(dialog.cboLine(0)->isVisible());
    EXPECT_FALSE(dialog.cboLine(1)->isVisible());
    EXPECT_EQ(dialog.cboLine(0)->currentText(), QString());

    dialog.chkSorted()->click();
    EXPECT_EQ(dialog.shownBox(), dialog.cboLine(1));
    EXPECT_TRUE(dialog.cboLine(1)->isVisible());
    EXPECT_FALSE(dialog.cboLine(0)->isVisible());

    dialog.cboLine(1)->setEditText(QStringLiteral("Nowhere"));
    dialog.cmdGoto()->click();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.cboLine(1)->lineEdit()->selectedText(), "Nowhere");

    dialog.cboLine(1)->setEditText(QStringLiteral("Mid"));
    dialog.cmdGoto()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(window(*r)->SourceView1()->CaretLine(), 3);
    EXPECT_EQ(dialog.cboLine(0)->count(), 0);
    EXPECT_EQ(dialog.cboLine(1)->count(), 0);

    // Shown again, it keeps the sorted list; the close box only hides it.
    dialog.show();
    EXPECT_TRUE(dialog.chkSorted()->isChecked());
    EXPECT_TRUE(dialog.cboLine(1)->isVisible());
    EXPECT_EQ(dialog.cboLine(1)->count(), 3);
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    dialog.cmdClose()->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(GotoDialogTest, GoToWithoutTheBoxOpensTheDialogModally)
{
    CommandManager manager;
    manager.load(vantrelCommandDesign());
    frmCode *w = window(*r);
    bool shownModal = false;
    QTimer::singleShot(0, [&] {
        frmGoto *dialog = frmGoto::instance();
        shownModal = dialog->isVisible() && dialog->isModal();
        dialog->reject();
    });
    bool stop = false;
    w->Handle(*manager.command(QStringLiteral("EdGoto")), nullptr, stop);
    EXPECT_TRUE(stop);
    EXPECT_TRUE(shownModal);
    EXPECT_FALSE(frmGoto::instance()->isVisible());
}

#include "edgotohelper_test.moc"
