#include "routines.h"

#include "vantrelerror.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

// A document that remembers what the collection did to it.
class FakeDoc : public IRoutineDoc
{
public:
    void setOwner(Routines *owner) override { this->owner = owner; }
    void setMLink(IDocLink *) override {}
    QString Key() const override { return env + "^" + rtn + "^" + QString::number(typ); }
    QString Rtn() const override { return rtn; }
    QString Env() const override { return env; }
    void setRtn(const QString &v) override { rtn = v; }
    void setEnv(const QString &v) override { env = v; }
    void setTyp(int v) override { typ = v; }
    void setTarvikStatus(int) override {}
    void LoadText(const QString &t, const QString &line) override { text = t; initialLine = line; }
    bool GotoLine(const QString &loc, int c, int) override
    {
        gotoLocation = loc;
        gotoChar = c;
        return true;
    }
    bool ReadOnly() const override { return readOnly; }
    void setReadOnly(bool v) override { readOnly = v; }
    bool Visible() const override { return visible; }
    void setVisible(bool v) override { visible = v; }
    bool Frozen() const override { return frozen; }
    void setFrozen(bool v) override { frozen = v; }
    bool Modified() const override { return modified; }
    bool HoldsLock() const override { return holdsLock; }
    void setLowWaterMark(int v) override { lowWaterMark = v; }
    bool LineWrap() const override { return lineWrap; }
    void setLineWrap(bool v) override { lineWrap = v; }
    bool RichSource() const override { return richSource; }
    void setRichSource(bool v) override { richSource = v; }
    bool CloseDoc(bool abandon) override
    {
        ++closeCalls;
        lastAbandon = abandon;
        if (!abandon && refuseClose)
            return false;
        closed = true;
        return true;
    }

    Routines *owner = nullptr;
    QString rtn, env, text, initialLine, gotoLocation;
    int typ = 0, gotoChar = 0, lowWaterMark = 0, closeCalls = 0;
    bool readOnly = false, visible = true, frozen = false, modified = false, holdsLock = false;
    bool lineWrap = false, richSource = false, refuseClose = false, closed = false;
    bool lastAbandon = false;
};

struct Defaults : IViewDefaults {
    bool lineWrap() const override { return true; }
    bool richSource() const override { return true; }
};

class RoutinesTest : public ::testing::Test
{
protected:
    RoutinesTest()
        : routines([this] {
              auto doc = std::make_shared<FakeDoc>();
              made.push_back(doc);
              return doc;
          }, &defaults)
    {
    }

    std::shared_ptr<FakeDoc> add(QString rtn, QString env = "USER", int typ = 1, bool ro = false)
    {
        QString text = "X\tQ", line = "+1";
        return std::static_pointer_cast<FakeDoc>(
            routines.Add(nullptr, rtn, env, text, ro, line, typ, 0));
    }

    Defaults defaults;
    std::vector<std::shared_ptr<FakeDoc>> made;
    Routines routines;
};

TEST_F(RoutinesTest, NewRoutinesGetNamesTemplateAndWritableCaretOnLineTwo)
{
    for (int n = 1; n <= 2; ++n) {
        QString rtn, env = "USER", text, line;
        bool ro = false;
        auto doc = std::static_pointer_cast<FakeDoc>(
            routines.Add(nullptr, rtn, env, text, ro, line, 1, 0));
        const QString name = QString("Rtn%1").arg(n);
        EXPECT_EQ(rtn, name);
        EXPECT_EQ(env, "");
        EXPECT_EQ(doc->Key(), "^" + name + "^1");
        EXPECT_TRUE(QRegularExpression("^" + name + "\t; New routine created in Vantrel at .+ "
                                       "\\d\\d:\\d\\d:\\d\\d\r\n\t$").match(text).hasMatch())
            << text.toStdString();
        EXPECT_EQ(doc->text, text);
        EXPECT_EQ(doc->initialLine, "+1");
        EXPECT_EQ(line, "+1");
        EXPECT_TRUE(ro);                   // caller sees the read-only load
        EXPECT_FALSE(doc->ReadOnly());     // the document itself is writable
        EXPECT_EQ(doc->gotoLocation, "+2");
        EXPECT_EQ(doc->gotoChar, 2);
        EXPECT_TRUE(doc->LineWrap());      // no active document: the View menu defaults
        EXPECT_EQ(routines.Item(doc->Key()), doc);
    }
    EXPECT_EQ(routines.Count(), 2);
}

TEST_F(RoutinesTest, ReAddingAnOpenKeyFreezesTheOldCopyAndExtractBringsItBack)
{
    auto older = add("ABC");
    auto newer = add("ABC");
    EXPECT_TRUE(older->Frozen());
    EXPECT_EQ(routines.frozenItem("USER^ABC^1"), older);
    EXPECT_EQ(routines.Item("USER^ABC^1"), newer);
    EXPECT_EQ(routines.Count(), 1);

    EXPECT_EQ(routines.Extract("USER^ABC^1", false), newer);
    EXPECT_FALSE(older->Frozen());
    EXPECT_EQ(routines.Item("USER^ABC^1"), older);
    EXPECT_EQ(routines.frozenCount(), 0);
}

TEST_F(RoutinesTest, AddWithLiveAndFrozenCopiesLosesNoDocument)
{
    auto first = add("ABC");
    auto second = add("ABC");
    // An unmodified older copy is closed to make room.
    auto third = add("ABC");
    EXPECT_TRUE(first->closed);
    EXPECT_EQ(routines.frozenItem("USER^ABC^1"), second);
    EXPECT_EQ(routines.Item("USER^ABC^1"), third);

    // A modified older copy is kept, and the Add is refused with nothing moved.
    second->modified = true;
    EXPECT_THROW(add("ABC"), VantrelError);
    EXPECT_EQ(routines.frozenItem("USER^ABC^1"), second);
    EXPECT_EQ(routines.Item("USER^ABC^1"), third);
    EXPECT_FALSE(second->closed);
    EXPECT_FALSE(third->Frozen());
}

TEST_F(RoutinesTest, FreeHidesFiveDeepAndClosesTheOldest)
{
    std::vector<std::shared_ptr<FakeDoc>> docs;
    for (int i = 0; i < 6; ++i)
        docs.push_back(add(QString("R%1").arg(i), "USER", 1, true));
    for (int i = 0; i < 6; ++i)
        routines.Free(docs[i]->Key(), false);
    EXPECT_TRUE(docs[0]->closed);
    EXPECT_EQ(routines.Count(), 5);
    EXPECT_EQ(routines.hiddenKeys().size(), 5);
    EXPECT_EQ(routines.hiddenKeys().first(), docs[5]->Key());
    for (int i = 1; i < 6; ++i) {
        EXPECT_FALSE(docs[i]->Visible());
        EXPECT_EQ(docs[i]->lowWaterMark, 9999);
    }

    // Freeing a hidden document again moves it to the front without closing anything.
    routines.Free(docs[2]->Key(), false);
    EXPECT_EQ(routines.hiddenKeys().first(), docs[2]->Key());
    EXPECT_EQ(routines.Count(), 5);
}

TEST_F(RoutinesTest, XecuteBuffersAndDocumentsWithFrozenCopiesAreClosedNotHidden)
{
    auto xecute = add("@X");
    routines.Free(xecute->Key(), false);
    EXPECT_TRUE(xecute->closed);
    EXPECT_EQ(routines.Count(), 0);
    EXPECT_TRUE(routines.hiddenKeys().isEmpty());

    auto older = add("ABC");
    auto newer = add("ABC");
    routines.Free(newer->Key(), false);
    EXPECT_TRUE(newer->closed);
    EXPECT_EQ(routines.Item("USER^ABC^1"), older);   // the frozen copy is live again
}

TEST_F(RoutinesTest, ActiveNeverReturnsAHiddenDocument)
{
    auto doc = add("ABC");
    routines.setActive(doc.get());
    EXPECT_EQ(routines.Active(), doc);
    doc->visible = false;
    EXPECT_EQ(routines.Active(), nullptr);
    routines.setActive(doc.get());
    EXPECT_EQ(routines.activeKey(), "");

    // A new document copies the view settings of the active one.
    doc->visible = true;
    routines.setActive(doc.get());
    doc->lineWrap = false;
    doc->richSource = false;
    auto other = add("DEF");
    EXPECT_FALSE(other->LineWrap());
    EXPECT_FALSE(other->RichSource());
}

TEST_F(RoutinesTest, AnyModifiedAndAnyLocksHeldSeeFrozenCopiesOnlyWhenAsked)
{
    auto older = add("ABC");
    add("ABC");
    older->modified = true;
    older->holdsLock = true;
    EXPECT_FALSE(routines.AnyModified(false));
    EXPECT_TRUE(routines.AnyModified(true));
    EXPECT_FALSE(routines.AnyLocksHeld(false));
    EXPECT_TRUE(routines.AnyLocksHeld(true));
}

TEST_F(RoutinesTest, ReKeyMovesActiveAndHiddenKeysAndRefusesATakenKey)
{
    auto a = add("A");
    auto b = add("B");
    routines.setActive(a.get());

    a->rtn = "B";   // renamed onto an open key
    EXPECT_FALSE(routines.ReKey("USER^A^1"));
    EXPECT_EQ(routines.Item("USER^A^1"), a);
    EXPECT_EQ(routines.Item("USER^B^1"), b);

    a->rtn = "C";
    EXPECT_TRUE(routines.ReKey("USER^A^1"));
    EXPECT_EQ(routines.Item("USER^C^1"), a);
    EXPECT_EQ(routines.Item("USER^A^1"), nullptr);
    EXPECT_EQ(routines.Active(), a);

    routines.Free(b->Key(), false);
    b->rtn = "D";
    EXPECT_TRUE(routines.ReKey("USER^B^1"));
    EXPECT_EQ(routines.hiddenKeys(), QStringList{"USER^D^1"});
    EXPECT_TRUE(routines.ReKey("USER^D^1"));    // unchanged key
    EXPECT_FALSE(routines.ReKey("USER^Q^1"));   // absent key

    // The frozen copy of the old key is the live document there once its replacement left.
    auto older = add("F");
    auto newer = add("F");
    newer->rtn = "G";
    EXPECT_TRUE(routines.ReKey("USER^F^1"));
    EXPECT_EQ(routines.Item("USER^G^1"), newer);
    EXPECT_EQ(routines.Item("USER^F^1"), older);
    EXPECT_FALSE(older->Frozen());
    EXPECT_EQ(routines.frozenCount(), 0);
}

TEST_F(RoutinesTest, RemoveRefusedKeepsTheDocumentAndItsHiddenPlace)
{
    auto doc = add("ABC");
    routines.Free(doc->Key(), false);
    doc->refuseClose = true;
    EXPECT_FALSE(routines.Remove(doc->Key(), false, false));
    EXPECT_EQ(routines.Item(doc->Key()), doc);
    EXPECT_EQ(routines.hiddenKeys(), QStringList{doc->Key()});
    EXPECT_FALSE(routines.Remove("USER^NONE^1", false, false));
    EXPECT_EQ(routines.Extract("USER^NONE^1", false), nullptr);
}

TEST_F(RoutinesTest, TrimmingNeverClosesAVisibleDocumentAndStopsAtARefusal)
{
    auto shown = add("SHOWN");
    routines.Free(shown->Key(), false);
    shown->visible = true;   // shown again without leaving the hidden list
    std::vector<std::shared_ptr<FakeDoc>> docs;
    for (int i = 0; i < 5; ++i) {
        docs.push_back(add(QString("R%1").arg(i)));
        routines.Free(docs.back()->Key(), false);
    }
    EXPECT_FALSE(shown->closed);
    EXPECT_EQ(shown->closeCalls, 0);
    EXPECT_FALSE(routines.hiddenKeys().contains(shown->Key()));

    // The oldest refuses: the trim stops instead of asking forever.
    docs[0]->refuseClose = true;
    auto sixth = add("R5");
    routines.Free(sixth->Key(), false);
    EXPECT_EQ(docs[0]->closeCalls, 1);
    EXPECT_EQ(routines.hiddenKeys().size(), 6);
}

TEST_F(RoutinesTest, ShutdownClosesEveryDocumentAndFrozenCopyWithoutPrompting)
{
    auto older = add("ABC");
    auto newer = add("ABC");
    auto other = add("DEF");
    other->refuseClose = true;   // refuses only when asked; abandon never asks
    older->modified = true;
    routines.shutdown();
    EXPECT_EQ(routines.Count(), 0);
    EXPECT_EQ(routines.frozenCount(), 0);
    for (auto doc : {older, newer, other}) {
        EXPECT_TRUE(doc->closed);
        EXPECT_TRUE(doc->lastAbandon);
    }
}

} // namespace
