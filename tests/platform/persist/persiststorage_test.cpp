#include "persistfakes.h"
#include "persistregistry.h"
#include "persiststorage.h"
#include "settingsdir.h"

#include <QFile>
#include <QSet>
#include <QSettings>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <stdexcept>

namespace {

const char *const Root = "Software\\Brindlecote\\Vantrel";
const char *const State = "Duzezo 2.3";

// A registry and a storage in a settings directory of their own.
struct Rig
{
    Rig() { storage.setRoot(Root); }

    ScopedSettingsDir dir;
    PersistRegistry registry;
    PersistStorage storage{registry};
};

QSet<QString> namesOf(const Memento &m)
{
    const QStringList names = m.names();
    return QSet<QString>(names.begin(), names.end());
}

// Every attribute of `saved` reads back from `got` with the typed read of the type it
// was written with: what a restore relies on.
void expectSame(const Memento &saved, const Memento &got, const QString &path = QString())
{
    EXPECT_EQ(namesOf(got), namesOf(saved)) << path.toStdString();
    for (const QString &name : saved.names()) {
        const std::string where = (path + '/' + name).toStdString();
        if (const MementoPtr child = saved.readMemento(name)) {
            const MementoPtr gotChild = got.readMemento(name);
            ASSERT_NE(gotChild, nullptr) << where;
            expectSame(*child, *gotChild, path + '/' + name);
            continue;
        }
        const QVariant value = saved.read(name);
        switch (value.typeId()) {
        case QMetaType::Bool: {
            bool b = !value.toBool();
            EXPECT_TRUE(got.readBool(name, b)) << where;
            EXPECT_EQ(b, value.toBool()) << where;
            break;
        }
        case QMetaType::Int: {
            qint32 i = 0;
            EXPECT_TRUE(got.readInt(name, i)) << where;
            EXPECT_EQ(i, value.toInt()) << where;
            break;
        }
        case QMetaType::Double: {
            double d = 0;
            EXPECT_TRUE(got.readDouble(name, d)) << where;
            EXPECT_EQ(d, value.toDouble()) << where;
            break;
        }
        case QMetaType::QByteArray: {
            QByteArray bytes;
            EXPECT_TRUE(got.readBytes(name, bytes)) << where;
            EXPECT_EQ(bytes, value.toByteArray()) << where;
            break;
        }
        case QMetaType::QString: {
            QString s;
            EXPECT_TRUE(got.readString(name, s)) << where;
            EXPECT_EQ(s, value.toString()) << where;
            break;
        }
        default:
            ASSERT_FALSE(value.isValid()) << where << " has a type this test does not compare";
            EXPECT_TRUE(got.contains(name) && got.read(name).isNull() && !got.readMemento(name)) << where;
        }
    }
}

// The settings of the main window, with every kind of value and name they use.
MementoPtr mainWindowMemento()
{
    auto m = std::make_shared<Memento>();
    m->write("ChildMaxed", true);
    m->write("BreakOnError", false);
    m->write("AutoSwitchInterval", qint32(2000));
    m->write("Lowest", std::numeric_limits<qint32>::min());
    m->write("Highest", std::numeric_limits<qint32>::max());
    m->write("DocumentTabs.Visible", false);
    m->write("CodeFont.Name", QByteArray("C\0o\0u\0r\0", 8));
    m->write("CodeFont.Size", 10.5);
    m->write("Third", 1.0 / 3);
    m->write("Tiny", std::numeric_limits<double>::denorm_min());
    m->write("Huge", std::numeric_limits<double>::infinity());
    m->write("Binary", QByteArray("\0\x01" "a\xff\n\"@,;=\x7f" "1", 12));
    m->write("NoBytes", QByteArray());
    m->write("Null", QVariant());

    const QStringList texts = {"", "x, y", "a;b", "@Layout", "@@", "  spaced  ", "line1\nline2\r\t",
                               "\"q\" \\ back", QString::fromUtf8("\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80"),
                               "true", "42", QString(QChar(1)) + "a", "%2F", "a=b", "[General]"};
    for (int i = 0; i < texts.size(); ++i)
        m->write("Text" + QString::number(i), texts[i]);

    // Names QSettings would read as paths, as its own markers, or not at all.
    const QStringList names = {"a/b", "a\\b", "/", "100%", "%2F", "%25", "%", "%%", "", "General",
                               "with space", "key=value", ";comment", "[x]", "#", QString::fromUtf8("\xC3\x84")};
    for (const QString &name : names)
        m->write(name, "named " + name);

    auto layout = std::make_shared<Memento>();
    layout->write("Geometry", QByteArray("\x01\xd9\xd0\xcb\0\x03", 6));
    layout->write("State", QByteArray("\0\0\0\xff", 4));
    m->writeMemento("@Layout", layout);

    auto pane = std::make_shared<Memento>();
    pane->write("0.Visible", true);
    pane->write("1.Visible", false);
    auto deeper = std::make_shared<Memento>();
    deeper->write("x/y", qint32(7));
    pane->writeMemento("Deeper/Still", deeper);
    m->writeMemento("PaneState", pane);
    m->writeMemento("Empty", std::make_shared<Memento>());
    m->writeMemento("", mementoOf({{"", "inside the unnamed"}}));
    return m;
}

} // namespace

TEST(PersistStorage, RoundTripsEveryKindOfAttribute)
{
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "after a restart" : "in the same run");
        Rig rig;
        FakeOrigin mainWindow, dialog, empty;
        mainWindow.toSave = mainWindowMemento();
        dialog.toSave = mementoOf({{"Recent0", "vantrel://10.0.0.1/USER"}});
        empty.toSave = std::make_shared<Memento>();
        rig.registry.add("gfrmMDI", &mainWindow);
        rig.registry.add("Dialogs/Connect%", &dialog);
        rig.registry.add("Blank", &empty);
        ASSERT_EQ(rig.storage.save(State), (QStringList{"gfrmMDI", "Dialogs/Connect%", "Blank"}));

        std::unique_ptr<ScopedSettingsDir> restarted;
        if (restart)
            restarted = rig.dir.restarted();
        EXPECT_EQ(rig.storage.restore(State), (QStringList{"gfrmMDI", "Dialogs/Connect%", "Blank"}));
        ASSERT_EQ(mainWindow.restored.size(), 1);
        expectSame(*mainWindow.toSave, mainWindow.restored[0]);
        ASSERT_EQ(dialog.restored.size(), 1);
        expectSame(*dialog.toSave, dialog.restored[0]);
        ASSERT_EQ(empty.restored.size(), 1);
        EXPECT_TRUE(empty.restored[0].isEmpty());
    }
}

TEST(PersistStorage, KeepsItsStateInTheRootsFile)
{
    struct Case { const char *root; const char *organisation; const char *application; };
    const Case cases[] = {
        {"Software\\Brindlecote\\Vantrel", "Brindlecote", "Vantrel"},
        {"Software\\Brindlecote\\Vantrel\\", "Brindlecote", "Vantrel"},
        {"Software/Other/Tool", "Other", "Tool"},
    };
    for (const Case &c : cases) {
        Rig rig;
        rig.storage.setRoot(c.root);
        FakeOrigin origin;
        origin.toSave = mementoOf({{"ChildMaxed", true}});
        rig.registry.add("gfrmMDI", &origin);
        EXPECT_EQ(rig.storage.save(State), QStringList{"gfrmMDI"}) << c.root;
        const QString file = rig.dir.iniFile(c.organisation, c.application);
        EXPECT_EQ(rig.storage.openSettings()->fileName(), file) << c.root;
        EXPECT_TRUE(QFile::exists(file)) << c.root;
    }

    // Without an application nothing is read or written, and nothing claims otherwise.
    for (const char *root : {"", "\\"}) {
        ScopedSettingsDir dir;
        PersistRegistry registry;
        PersistStorage storage(registry);
        storage.setRoot(root);
        FakeOrigin origin;
        origin.toSave = mementoOf({{"ChildMaxed", true}});
        registry.add("gfrmMDI", &origin);
        EXPECT_TRUE(storage.save(State).isEmpty()) << root;
        EXPECT_TRUE(storage.restore(State).isEmpty()) << root;
        EXPECT_EQ(origin.saveCount, 0) << root;
        EXPECT_TRUE(QDir(dir.path()).isEmpty()) << root;
    }
}

TEST(PersistStorage, RestoresOnlyWhatHasSavedState)
{
    Rig rig;
    FakeOrigin mainWindow, fileOpen, connect;
    FakeForm stack, vars;
    FakeFormFactory factory;
    factory.forms = {{"frmStack", &stack}, {"frmVars", &vars}};
    mainWindow.toSave = mementoOf({{"ChildMaxed", false}});
    stack.toSave = mementoOf({{"Edge", 4}});
    fileOpen.toSave = nullptr;   // nothing to keep
    rig.registry.add("gfrmMDI", &mainWindow);
    rig.registry.add("frmStack", &factory);
    rig.registry.add("frmVars", &factory);
    rig.registry.add("FileOpen", &fileOpen);
    ASSERT_EQ(rig.storage.save(State), (QStringList{"gfrmMDI", "frmStack", "frmVars", "FileOpen"}));
    rig.registry.add("Connect", &connect);   // registered after the last save

    const auto restarted = rig.dir.restarted();
    factory.requests.clear();
    EXPECT_EQ(rig.storage.restore(State), (QStringList{"gfrmMDI", "frmStack"}));
    EXPECT_EQ(mainWindow.restored.size(), 1);
    ASSERT_EQ(stack.restored.size(), 1);
    qint32 edge = 0;
    EXPECT_TRUE(stack.restored[0].readInt("Edge", edge));
    EXPECT_EQ(edge, 4);
    EXPECT_TRUE(vars.restored.isEmpty() && fileOpen.restored.isEmpty() && connect.restored.isEmpty());
    // A pane without saved state is not even created.
    ASSERT_EQ(factory.requests.size(), 1);
    EXPECT_EQ(factory.requests[0], qMakePair(QString("frmStack"), QVariant(true)));

    EXPECT_TRUE(rig.storage.restore("Another state").isEmpty());
}

TEST(PersistStorage, ReadsOnlyTheUsersOwnFile)
{
    Rig rig;
    // QSettings would otherwise fall back to the organisation's shared file, and a
    // state the user's save removed would come back from there.
    QFile shared(rig.dir.path() + "/Brindlecote.ini");
    ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
    shared.write("[Duzezo%202.3]\ngfrmMDI\\ChildMaxed=false\n");
    shared.close();
    FakeOrigin origin;
    rig.registry.add("gfrmMDI", &origin);
    EXPECT_TRUE(rig.storage.restore(State).isEmpty());
}

TEST(PersistStorage, SaveReplacesTheWholeSavedState)
{
    Rig rig;
    FakeOrigin origin, bystander;
    rig.registry.add("gfrmMDI", &origin);
    rig.registry.add("FileOpen", &bystander);
    origin.toSave = mementoOf({{"ChildMaxed", true}, {"Stale", 1}});
    origin.toSave->writeMemento("StaleChild", mementoOf({{"x", 1}}));
    bystander.toSave = mementoOf({{"Recent0", "kept"}});
    rig.storage.save(State);
    rig.storage.save("Other state");

    origin.toSave = mementoOf({{"ChildMaxed", false}});
    bystander.toSave = mementoOf({{"Recent0", "new"}});
    rig.storage.save(State);
    {
        const auto restarted = rig.dir.restarted();
        EXPECT_EQ(rig.storage.restore(State), (QStringList{"gfrmMDI", "FileOpen"}));
        ASSERT_EQ(origin.restored.size(), 1);
        expectSame(*origin.toSave, origin.restored[0]);
        // Another saved state is left as it was.
        EXPECT_EQ(rig.storage.restore("Other state"), (QStringList{"gfrmMDI", "FileOpen"}));
        ASSERT_EQ(bystander.restored.size(), 2);
        EXPECT_EQ(bystander.restored[1].read("Recent0"), QVariant("kept"));
    }

    origin.toSave = nullptr;
    EXPECT_EQ(rig.storage.save(State), (QStringList{"gfrmMDI", "FileOpen"}));
    const auto restarted = rig.dir.restarted();
    EXPECT_EQ(rig.storage.restore(State), QStringList{"FileOpen"});
}

TEST(PersistStorage, AnObjectThatThrowsDoesNotStopTheOthers)
{
    const std::function<void()> faults[] = {
        [] { throw std::runtime_error("broken"); },
        [] { throw 42; },
    };
    for (const auto &fault : faults) {
        Rig rig;
        FakeOrigin first, broken, last;
        FakeForm pane;
        FakeFormFactory factory;
        factory.forms["frmVars"] = &pane;
        rig.registry.add("First", &first);
        rig.registry.add("Broken", &broken);
        rig.registry.add("frmVars", &factory);
        rig.registry.add("Last", &last);
        for (FakeOrigin *o : {&first, &broken, static_cast<FakeOrigin *>(&pane), &last})
            o->toSave = mementoOf({{"Value", "old"}});
        ASSERT_EQ(rig.storage.save(State).size(), 4);

        for (FakeOrigin *o : {&first, &broken, static_cast<FakeOrigin *>(&pane), &last})
            o->toSave = mementoOf({{"Value", "new"}});
        broken.fault = fault;
        factory.fault = fault;
        EXPECT_EQ(rig.storage.save(State), (QStringList{"First", "Last"}));
        EXPECT_EQ(rig.storage.restore(State), (QStringList{"First", "Last"}));
        for (FakeOrigin *o : {&first, &last}) {
            ASSERT_EQ(o->restored.size(), 1);
            EXPECT_EQ(o->restored[0].read("Value"), QVariant("new"));
        }

        // What failed to save kept its last good state.
        broken.fault = nullptr;
        factory.fault = nullptr;
        EXPECT_EQ(rig.storage.restore(State).size(), 4);
        ASSERT_EQ(broken.restored.size(), 1);
        EXPECT_EQ(broken.restored[0].read("Value"), QVariant("old"));
        ASSERT_EQ(pane.restored.size(), 1);
        EXPECT_EQ(pane.restored[0].read("Value"), QVariant("old"));
    }
}

TEST(PersistStorage, SavesNothingWhenTheFileCannotBeWritten)
{
    Rig rig;
    // A plain file where the organisation's folder belongs.
    QFile blocker(rig.dir.path() + "/Brindlecote");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FakeOrigin origin;
    origin.toSave = mementoOf({{"ChildMaxed", true}});
    rig.registry.add("gfrmMDI", &origin);
    EXPECT_TRUE(rig.storage.save(State).isEmpty());
}
