// One session, one server: a box (any nested event loop) lets the world go on, so server
// A may drop the link under it and server B connect before it is answered. Whatever was
// due to A afterwards never reaches B, and A's end never undoes B's session.
#include "mainwindowfixture.h"

#include "frmcode.h"
#include "frmfileopen.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "itemlistview.h"
#include "mainmenus.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "mserver.h"
#include "requestclient.h"
#include "routine.h"
#include "routinenavigator.h"
#include "routines.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QListView>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <utility>

namespace {

using namespace mserver;

// Runs `action` from the event loop as soon as `ready` holds: a user who acts while a
// modal dialog (with its own event loop) is up.
void whenReady(std::function<bool()> ready, std::function<void()> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ready = std::move(ready), action = std::move(action)] {
        if (!ready())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

// How the next server finds the task, and how the last one went: through the Sentry,
// which must offer the task's port again once A's end is over, or straight to the
// task's port; A's link dies with a reset (RST) or an orderly close (FIN).
enum class Route { DirectAfterReset, SentryAfterClose };

const char *routeName(Route route)
{
    return route == Route::DirectAfterReset ? "DirectAfterReset" : "SentryAfterClose";
}

void PrintTo(Route route, std::ostream *os)
{
    *os << routeName(route);
}

// A shown, active main window, booked with the fake booking or with a Sentry of its own,
// and what the tests do in it, as a user does it.
class SessionHandoverTest : public MainWindowTest
{
public:
    frmMDI *window = nullptr;
    std::atomic<bool> boxUp{false};
    std::atomic<bool> stopped{false};   // the window shows A's session suspended

    // The routine opened for editing, as File > Open or the server's "ED" does.
    void edit(const QString &name = QStringLiteral("DEMO"))
    {
        RoutineDocPtr doc;
        bool wasReadOnly = false;
        window->navigator()->EditRoutine(name, "USER", wasReadOnly, 1, doc);
        QCoreApplication::processEvents();
    }

    void show(int level)
    {
        RoutineDocPtr doc;
        window->navigator()->ShowRoutine("DEMO", "USER", level, "+1", true, 1, doc);
    }

    // The active routine's editor takes the keys; they go in at its caret.
    QWidget *focusActive()
    {
        auto routine = Routine::from(Routines::instance().Active());
        auto *code = routine ? dynamic_cast<frmCode *>(routine->Window()) : nullptr;
        EXPECT_NE(code, nullptr);
        if (!code)
            return nullptr;
        code->SourceView1()->setFocus();
        return QApplication::focusWidget();
    }

    void typeInActive(const QString &typed)
    {
        if (QWidget *focus = focusActive())
            QTest::keyClicks(focus, typed);
    }

    void pressInActive(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        if (QWidget *focus = focusActive())
            QTest::keyClick(focus, key, modifiers);
    }

    void openDialog()
    {
        // With no routine open the keys go to the window itself.
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window, Qt::Key_O, Qt::ControlModifier);
    }

    // A menu of the bar opened with a click on its title, then one of its items clicked,
    // each where it is drawn.
    void chooseFromMenu(const QString &menuName, const QString &itemName)
    {
        QMenuBar *bar = window->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(window->menuItem(menuName)).center());
        QMenu *menu = window->menus()->menu(menuName);
        ASSERT_TRUE(pumpUntil([&] { return menu->isVisible(); }, 5000)) << menuName.toStdString();
        QAction *item = window->menuItem(itemName);
        ASSERT_TRUE(item->isEnabled()) << itemName.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    // The routine `name` open for editing twice in the current session, the older copy
    // modified and so frozen behind the newer: a third copy has no room.
    void openTwiceModified(const QString &name)
    {
        for (int i = 0; i < 2; ++i) {
            QString rtn = name, env = "USER", text = DemoLines.join("\r\n"), line = "+1";
            bool readOnly = false;
            RoutineDocPtr doc = Routines::instance().Add(window->docLink(), rtn, env, text, readOnly, line, 1, 0);
            if (i == 0)
                Routine::from(doc)->document()->SetModified(true);
        }
    }

    // The routines A's end preserved (one unless told) still hold the user's edits, unsaved.
    bool preservedStillModified(int count = 1) const
    {
        const auto &preserved = window->preservedDocuments();
        bool modified = preserved.count() == count;
        for (int i = 1; modified && i <= count; ++i)
            modified = preserved.item(i)->Modified();
        return modified;
    }

    // Whether the user was asked anything whose text holds `text`.
    bool asked(const QString &text) const
    {
        for (const auto &q : boxes->asked)
            if (q.text.contains(text))
                return true;
        return false;
    }

    std::shared_ptr<BoxWithLifePrompt> boxes = std::make_shared<BoxWithLifePrompt>();

protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        startShown(false);
    }

    void startShown(bool viaSentry)
    {
        if (viaSentry)
            useRealSentry();
        window = start("SQ0");
        ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
        showActive(window);
        window->link()->setMsPerTimeoutSecond(20);
    }

    // The main window may take the next server: the last one's end is over.
    bool free() const
    {
        return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending();
    }

    void releasePreserved()
    {
        while (window->preservedDocuments().count() > 0)
            window->releasePreservedDocument(window->preservedDocuments().item(1).get());
    }
};

// The table's fixture: its row, and the way B comes.
class BoxHandoverTest : public SessionHandoverTest, public ::testing::WithParamInterface<std::tuple<int, Route>>
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        startShown(std::get<1>(GetParam()) == Route::SentryAfterClose);
    }
};

// A place where the program waits for the user while A's session is live, and acts
// once answered.
struct BoxRow
{
    const char *id;                                   // names the row in the test's name
    QString boxText;                                  // the box under which A ends
    std::function<QList<Step>(BoxHandoverTest &)> a;  // A's part, its link accepted; the death follows
    std::function<void(BoxHandoverTest &)> act;       // what leads to the box, run from the event loop
    bool bTaken = true;                               // B is greeted while the box is up
    std::function<void(BoxHandoverTest &)> check = {};   // what else must hold once the box is answered
    bool dialog = false;                              // a modal dialog titled boxText, not a box
};

const Fields SigDemo = {"SIG", "1", "DEMO", "USER", "0", DemoLines.join("\r\n"), "CACHE"};

// DEMO opened for editing in A's session.
QList<Step> aOpensDemo(BoxHandoverTest &t, QList<Step> more = {})
{
    return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, SigDemo), expectAck()} + more
           + QList<Step>{waitUntil(t.boxUp, "box")};
}

const QList<BoxRow> &boxRows()
{
    const QString text = DemoLines.join("\r\n");
    static const QList<BoxRow> rows = {
        {"AFailedSave", "awaiting reply",
         [](BoxHandoverTest &) { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, SigDemo), expectAck(),
                                                    expect({"!SIP", "**"})}; },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.pressInActive(Qt::Key_S, Qt::ControlModifier);
         }},
        {"SimOnAReadOnlyOpen", "Read refused",
         [](BoxHandoverTest &t) { return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIM", "0", "Read refused"}),
                                                     waitUntil(t.boxUp, "box")}; },
         [](BoxHandoverTest &t) { t.show(0); }},
        {"SimOnARefresh", "Refresh refused",
         [text](BoxHandoverTest &t) {
             return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIG", "1", "DEMO", "USER", "0", text, "b1"}),
                                expectAck(),
                                answer({"SIR", "1", "DEMO", "USER", "b1"}, {"SIM", "0", "Refresh refused"}),
                                waitUntil(t.boxUp, "box")};
         },
         [](BoxHandoverTest &t) {
             t.show(0);
             t.show(0);
         }},
        {"TheNavigatorsErrorBox", "still open in the execution stack",
         [text](BoxHandoverTest &t) {
             return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "1"}, {"SIG", "1", "OTHER", "USER", "0", text, "b1"}),
                                waitUntil(t.boxUp, "box")};
         },
         [](BoxHandoverTest &t) {
             t.openTwiceModified("OTHER");
             t.show(0);
         }},
        {"EditRoutinesErrorPathAndItsSiu", "still open in the execution stack",
         [text](BoxHandoverTest &t) {
             return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "OTHER", "USER", "0", text, "b1"}),
                                waitUntil(t.boxUp, "box")};
         },
         [](BoxHandoverTest &t) {
             t.openTwiceModified("OTHER");
             t.edit();
         }},
        {"TheBrowseDialogsOpening", "Failed to get initial namespace",
         [](BoxHandoverTest &t) { return QList<Step>{expect({"+"}), answer({"NS"}, {"MSG", "No namespace"}), expectAck(),
                                                     waitUntil(t.boxUp, "box")}; },
         [](BoxHandoverTest &t) { t.openDialog(); }},
        {"TheBrowseDialogsClosing", "Failed to restore initial namespace",
         [](BoxHandoverTest &) { return QList<Step>{expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck(),
                                                    answer({"NSL"}, {"NSL", "Namespaces", ",USER,SAMPLES"}), expectAck(),
                                                    expect({"NSS", "USER"}), expect({"SIL", "**"}),
                                                    expectAck(), expectAck(), expect({"!NSS", "USER"})}; },
         [](BoxHandoverTest &t) {
             frmFileOpen *dialog = t.window->fileOpenDialog();
             // Esc, once the dialog is up and has the keys.
             whenReady([dialog] {
                 if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog)
                     return false;
                 dialog->activateWindow();
                 return QApplication::focusWidget() && dialog->isAncestorOf(QApplication::focusWidget());
             }, [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
             t.openDialog();
         }},
        {"TheStkTopHandler", "awaiting reply for Transact !SIG",
         [](BoxHandoverTest &t) { return QList<Step>{waitUntil(t.stopped, "suspended state"),
                                                     send({"STKtop", "1", "USER", "DEMO", "START", "0", "7"}),
                                                     expect({"!SIG", "1", "DEMO", "USER", "1"})}; },
         nullptr},
        {"TheAbruptEndBox", "Vantrel Server Disconnected Abruptly",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.boxUp = true;   // the script goes on once the routine is modified
         },
         false},
        // Ctrl+F8 on a line without a command asks whether to run to the next one.
        {"RunToCursorsQuestionUnedited", "Run to next suitable line?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.pressInActive(Qt::Key_F8, Qt::ControlModifier);
         }},
        {"RunToCursorsQuestionEdited", "Run to next suitable line?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.pressInActive(Qt::Key_F8, Qt::ControlModifier);
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        {"SaveChangesAtFileClose", "Do you want to save the changes?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.chooseFromMenu("mnuFile", "mnuFileClose");
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        {"LoseChangesAtFileCloseWhileRunning", "Close it anyway, and lose changes?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.window->setMState(-3);
             t.chooseFromMenu("mnuFile", "mnuFileClose");
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        // The server's own question on a save ("SIP" with a question).
        {"TheServersQuestionOnASave", "Save it anyway?",
         [](BoxHandoverTest &t) {
             return aOpensDemo(t, {answer({"SIP", "**"}, {"SIP", "3076", "Compiled with errors. Save it anyway?", "stored"})});
         },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.pressInActive(Qt::Key_S, Qt::ControlModifier);
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        {"SwitchToReadOnlyQuestion", "Do you want to switch to read-only mode?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.show(0);
         }},
        {"OpenAnotherInstanceQuestion", "Do you want to create the read-only copy?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.show(0);
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        // The server lends a routine it will not lock only for reading, and asks first.
        {"ReadOnlyOfferForALockedRoutine", "Do you want to open it read-only?",
         [](BoxHandoverTest &t) {
             return QList<Step>{answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIM", "3076", "@RO:Locked by job 99"}),
                                expectAck(), waitUntil(t.boxUp, "box")};
         },
         [](BoxHandoverTest &t) { t.edit(); }},
        // Two items chosen in the Open dialog, one the server lends only for reading.
        {"TheOpenDialogsReadOnlyItemQuestion", "only available read-only",
         [](BoxHandoverTest &t) {
             return QList<Step>{expect({"+"}), answer({"NS"}, {"NS", "USER"}), expectAck(),
                                answer({"NSL"}, {"NSL", "Namespaces", ",USER"}), expectAck(),
                                expect({"NSS", "USER"}), expect({"SIL", "1", "1", "", "*", "25"}),
                                send({"NS", "USER"}), expectAck(),
                                send({"SIL", "1", "", ",ALPHA,BETA", "\x11\x01", ""}), expectAck(),
                                waitUntil(t.boxUp, "box")};
         },
         [](BoxHandoverTest &t) {
             frmFileOpen *dialog = t.window->fileOpenDialog();
             whenReady([dialog] {
                 return dialog->isVisible() && QApplication::activeModalWidget() == dialog
                        && dialog->lvwSvr()->count() == 2;
             }, [dialog] {
                 ItemListView *list = dialog->lvwSvr();
                 QAbstractItemView *view = list->View() == ItemListView::Report
                                               ? static_cast<QAbstractItemView *>(list->treeView())
                                               : static_cast<QAbstractItemView *>(list->listView());
                 auto rectOf = [view](int row) { return view->visualRect(view->model()->index(row, 0)); };
                 QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rectOf(0).center());
                 QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rectOf(1).center());
                 QTest::mouseClick(dialog->cmdOpenEdit(), Qt::LeftButton);
             });
             t.openDialog();
         }},
        // Save All: the first save's question is up when A goes; the second routine is
        // preserved then, and not saved anywhere, nor refused with a box of its own.
        {"SaveAllsFirstQuestion", "Save it anyway?",
         [](BoxHandoverTest &t) {
             return aOpensDemo(t, {answer({"SIG", "1", "OTHER", "USER", "0"},
                                          {"SIG", "1", "OTHER", "USER", "0", DemoLines.join("\r\n"), "CACHE"}),
                                   expectAck(),
                                   answer({"SIP", "1", "DEMO", "**"},
                                          {"SIP", "3076", "Compiled with errors. Save it anyway?", "stored"})});
         },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.edit("OTHER");
             t.typeInActive("Z");
             t.chooseFromMenu("mnuFile", "mnuFileSaveAll");
         },
         true,
         [](BoxHandoverTest &t) {
             EXPECT_TRUE(t.preservedStillModified(2));
             EXPECT_FALSE(t.asked("cannot be saved"));
         }},
        // File > Print: the print dialog belongs to the code window, which A's end closes.
        {"ThePrintDialog", "Print",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.chooseFromMenu("mnuFile", "mnuFilePrint");
         },
         true, {}, true},
        {"DisconnectsSaveQuestion", "Save modified routine(s) before disconnecting?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.typeInActive("Z");
             t.chooseFromMenu("mnuServer", "mnuServerDisconnect");
         },
         true,
         [](BoxHandoverTest &t) { EXPECT_TRUE(t.preservedStillModified()); }},
        {"DisconnectsLockQuestionWhileRunning", "Continue with this disconnect anyway?",
         [](BoxHandoverTest &t) { return aOpensDemo(t); },
         [](BoxHandoverTest &t) {
             t.edit();
             t.window->setMState(-3);
             t.chooseFromMenu("mnuServer", "mnuServerDisconnect");
         }},
    };
    return rows;
}

// Every place where the program waits for the user while A's session is live, and acts
// once answered. A's link dies while the box is up; as soon as the task may take a
// server, B connects and is greeted; then the box is answered as Enter answers it. B
// hears its own greeting exchange and nothing else, and its caption, state and booking
// are intact. Where A's end is still being handled under the box (its abrupt-end box), B
// is turned away unanswered instead (and the Sentry does not offer the task), and the
// task is free once the box is answered.
TEST_P(BoxHandoverTest, NothingOfAnEndedSessionReachesTheServerThatConnectedUnderItsBox)
{
    const BoxRow &row = boxRows().at(std::get<0>(GetParam()));
    const bool viaSentry = std::get<1>(GetParam()) == Route::SentryAfterClose;
    const quint16 port = window->booking()->Port();
    std::atomic<bool> bDone{false};
    setUserPrompt(boxes);
    std::unique_ptr<MServer> b;
    const QString bJob = QStringLiteral("101");
    const int bFrames = 2 + greetingAnswer("BNS").size();
    const std::function<void()> whileUp = [&] {
        boxUp = true;
        if (row.bTaken) {
            EXPECT_TRUE(pumpUntil([&] { return free(); }, 10000)) << "A's session did not end under the box";
            if (viaSentry) {
                EXPECT_EQ(readyTaskPort(sentryPort), port) << "the Sentry does not offer the task under the box";
            }
            b = std::make_unique<MServer>(QList<Step>{
                connectTo(port),
                send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
                expectAck(),
                send({"HI2", "", bJob, "BNS"}),
                expectAck(),
            } + greetingAnswer("BNS") + QList<Step>{
                expectSilence(1500),
                waitUntil(bDone, "end of the checks"),
                close(),
            });
            b->setStepTimeoutMs(10000);
            b->start();
            EXPECT_TRUE(pumpUntil([&] { return b->received().size() >= bFrames; }, 10000))
                << b->failure().toStdString();
        } else {
            EXPECT_TRUE(pumpUntil([&] { return !window->link()->IsConnected(); }, 10000));
            if (viaSentry) {
                EXPECT_NE(readyTaskPort(sentryPort, 1000), port) << "the Sentry offers a task still ending its session";
            }
            b = std::make_unique<MServer>(QList<Step>{connectTo(port), expectClose()});
            b->setStepTimeoutMs(3000);
            b->start();
            pumpUntil([&] { return b->finished(); }, 5000);
        }
    };
    QString firstBox;   // the text of the first box, or the title of the dialog
    QTimer dialogWatch;
    if (row.dialog) {
        // Up once it is the modal window; closed with Esc, when it is still there.
        dialogWatch.setInterval(10);
        QObject::connect(&dialogWatch, &QTimer::timeout, [&] {
            const QPointer<QWidget> dialog = QApplication::activeModalWidget();
            if (!dialog || !dialog->windowTitle().contains(row.boxText))
                return;
            dialogWatch.stop();
            firstBox = dialog->windowTitle();
            whileUp();
            if (dialog) {
                QWidget *focus = QApplication::focusWidget();
                QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog.data(), Qt::Key_Escape);
            }
        });
        dialogWatch.start();
    } else {
        // The abrupt-end box names its title, not its text.
        boxes->trigger = row.bTaken ? row.boxText : QStringLiteral("To reapply the changes");
        boxes->whileUp = whileUp;
    }

    MServer a(row.a(*this) + QList<Step>{viaSentry ? close() : reset()});
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    stopped = true;
    if (row.act)
        QTimer::singleShot(0, window, [this, &row] { row.act(*this); });
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return b && (!firstBox.isEmpty() || !boxes->asked.empty()); }, 20000))
        << "no box, or B never came";
    if (firstBox.isEmpty())
        firstBox = boxes->asked.front().text;
    EXPECT_TRUE(firstBox.contains(row.bTaken ? row.boxText : QStringLiteral("To reapply"))) << firstBox.toStdString();

    if (row.bTaken) {
        // Whatever A's box, handler or dialog still had to do is done.
        ASSERT_TRUE(pumpUntil([&] { return QApplication::activeModalWidget() == nullptr; }, 10000));
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job " + bJob + " in BNS on Cach"))
            << window->windowTitle().toStdString();
        EXPECT_EQ(window->MState(), -2);
        EXPECT_TRUE(window->link()->IsConnected());
        // B has reported no stack: nothing of A's is shown as B's.
        if (frmStack *stack = window->stackPane()) {
            EXPECT_EQ(stack->Stack()->topLevelItemCount(), 0);
        }
        if (!viaSentry) {
            ASSERT_FALSE(listening.empty());
            EXPECT_FALSE(listening.back()) << "the Sentry was told the task is free while B is served";
        }
        if (row.check)
            row.check(*this);
        bDone = true;
        EXPECT_TRUE(b->wait(20000)) << b->failure().toStdString();
        EXPECT_EQ(b->received().size(), bFrames) << b->received().value(bFrames).join('|').toStdString();
    } else {
        // B was turned away unanswered; A's end then ran to its end, and the task is free.
        EXPECT_TRUE(b->wait(5000)) << b->failure().toStdString();
        EXPECT_TRUE(b->received().isEmpty()) << b->received().value(0).join('|').toStdString();
        ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000));
        // The caption is the program's own again (a preserved routine shown maximised adds its name).
        EXPECT_TRUE(window->windowTitle().startsWith("Vantrel")) << window->windowTitle().toStdString();
        EXPECT_FALSE(window->windowTitle().contains("Job")) << window->windowTitle().toStdString();
        if (viaSentry) {
            EXPECT_EQ(readyTaskPort(sentryPort), port);
        } else {
            ASSERT_FALSE(listening.empty());
            EXPECT_TRUE(listening.back());
        }
        if (row.check)
            row.check(*this);
    }
    ASSERT_TRUE(pumpUntil([&] { return free(); }, 20000));
    const std::vector<RoutineDocPtr> left = Routines::instance().documents();
    for (const RoutineDocPtr &doc : left)
        Routines::instance().Remove(doc->Key(), false, true);
    releasePreserved();
    QCoreApplication::processEvents();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxHandoverTest,
    ::testing::Combine(::testing::Range(0, int(boxRows().size())),
                       ::testing::Values(Route::DirectAfterReset, Route::SentryAfterClose)),
    [](const ::testing::TestParamInfo<std::tuple<int, Route>> &info) {
        return std::string(boxRows().at(std::get<0>(info.param)).id) + "_" + routeName(std::get<1>(info.param));
    });

// A routine edited in session A is preserved when A's link drops, and still remembers A's
// edit lock. Closed by the user while server B is served, it releases nothing on B: B's
// user may hold that very lock.
TEST_F(SessionHandoverTest, APreservedRoutineClosedUnderTheNextServerReleasesNoLockThere)
{
    std::atomic<bool> typed{false};
    std::atomic<bool> closed{false};
    MServer a({
        answer({"SIG", "1", "DEMO", "USER", "0"}, {"SIG", "1", "DEMO", "USER", "0", DemoLines.join("\r\n"), "CACHE"}),
        expectAck(),
        waitUntil(typed, "edited routine"),
        reset(),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    RoutineDocPtr doc;
    bool wasReadOnly = false;
    ASSERT_TRUE(window->navigator()->EditRoutine("DEMO", "USER", wasReadOnly, 1, doc));
    auto *code = dynamic_cast<frmCode *>(Routine::from(doc)->Window());
    ASSERT_NE(code, nullptr);
    code->SourceView1()->setFocus();
    QTest::keyClicks(code->SourceView1(), "Z");
    typed = true;
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000));
    ASSERT_TRUE(window->isPreservedDocument(doc.get()));
    ASSERT_TRUE(doc->HoldsLock());

    const QList<Step> greeting = QList<Step>{
        connectTo(taskPort),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "200", "BNS"}),
        expectAck(),
    } + greetingAnswer("BNS");
    MServer b(greeting + QList<Step>{waitUntil(closed, "the close"), expectSilence(1000), close()});
    b.setStepTimeoutMs(10000);
    b.start();
    ASSERT_TRUE(pumpUntil([&] { return b.received().size() >= greeting.size() - 3; }, 10000)) << b.failure().toStdString();

    // The window's own close, as its title bar's button does it; the user confirms.
    prompt->answers = {IUserPrompt::Answer::Yes};
    QMdiSubWindow *frame = nullptr;
    for (QWidget *w = code; w && !frame; w = w->parentWidget())
        frame = qobject_cast<QMdiSubWindow *>(w);
    ASSERT_NE(frame, nullptr);
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isPreservedDocument(doc.get()));
    closed = true;
    EXPECT_TRUE(b.wait(20000)) << b.failure().toStdString();
}

// Debug > Break, chosen from the menu bar while an immediate command's output floods in,
// stops that output: the pane says so below what came, the session is suspended again,
// and the server's process, already suspended, is not sent "BRK".
TEST_F(SessionHandoverTest, BreakFromTheMenuStopsAFloodingImmediateCommand)
{
    MServer a({
        expect({"XEC", "*", "F  W 1"}),
        connectChannel(),
        sendChannel("x"),
        streamChannel("1\r\n", -1),
        expectSilence(1000),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);

    SourceView *io = clickIntoImmediateExecute(window);
    ASSERT_EQ(QApplication::focusWidget(), io);
    QTest::keyClicks(QApplication::focusWidget(), "F  W 1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return io->Document()->NumLines() > 200; }, 20000)) << a.failure().toStdString();
    ASSERT_EQ(window->MState(), frmImmediate::ExecutingState);

    // The Debug menu from the bar, then its Break item, clicked where they are drawn.
    QMenuBar *bar = window->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(window->menuItem("mnuDebug")).center());
    QMenu *debug = window->menus()->menu("mnuDebug");
    ASSERT_TRUE(pumpUntil([&] { return debug->isVisible(); }, 5000));
    QAction *breakItem = window->menuItem("mnuDebugBreak");
    ASSERT_TRUE(breakItem->isEnabled());
    QTest::mouseClick(debug, Qt::LeftButton, {}, debug->actionGeometry(breakItem).center());

    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return window->MState() == 1; }, 10000));
    const QStringList lines = io->Document()->Text().split("\r\n");
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({"[output stopped]", ""}));
    for (const Fields &f : a.received())
        EXPECT_NE(f.value(0), "BRK");
}

// The user exits with a routine preserved from A's session and no server connected; while
// the question about the preserved routine is up, B connects and is greeted. Whatever
// the answer, the window stays for B's session: nobody asked to end it.
TEST_F(SessionHandoverTest, ExitingKeepsTheWindowForTheServerThatConnectedUnderItsQuestion)
{
    std::atomic<bool> typed{false};
    MServer a({answer({"SIG", "1", "DEMO", "USER", "0"}, SigDemo), expectAck(), waitUntil(typed, "edited routine"),
               reset()});
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    edit();
    typeInActive("Z");
    typed = true;
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000));
    ASSERT_EQ(window->preservedDocuments().count(), 1);

    std::atomic<bool> bDone{false};
    std::unique_ptr<MServer> b;
    const QList<Step> greeting = QList<Step>{
        connectTo(taskPort),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "300", "BNS"}),
        expectAck(),
    } + greetingAnswer("BNS");
    const int bFrames = 2 + greetingAnswer("BNS").size();
    setUserPrompt(boxes);
    boxes->trigger = frmMDI::preservedCloseQuestion();
    boxes->triggerAnswer = IUserPrompt::Answer::Yes;
    boxes->whileUp = [&] {
        b = std::make_unique<MServer>(greeting + QList<Step>{expectSilence(1000), waitUntil(bDone, "the checks"), close()});
        b->setStepTimeoutMs(10000);
        b->start();
        EXPECT_TRUE(pumpUntil([&] { return b->received().size() >= bFrames; }, 10000)) << b->failure().toStdString();
    };
    chooseFromMenu("mnuFile", "mnuFileExit");
    ASSERT_TRUE(pumpUntil([&] { return b && b->received().size() >= bFrames; }, 20000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(window->link()->IsConnected());
    EXPECT_EQ(window->preservedDocuments().count(), 1);
    bDone = true;
    EXPECT_TRUE(b->wait(20000)) << b->failure().toStdString();
    EXPECT_EQ(b->received().size(), bFrames) << b->received().value(bFrames).join('|').toStdString();
    releasePreserved();
}

} // namespace
