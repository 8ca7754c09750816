#include "formfactory.h"
#include "frmbreakpoints.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "panedock.h"

#include <QMainWindow>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char *const PaneNames[] = {"frmStack", "frmImmediate", "frmVars", "frmBreakpoints"};

struct FactoryTest : ::testing::Test
{
    QMainWindow main;
    FormFactory factory{&main};
};

} // namespace

TEST_F(FactoryTest, MetadataTrueGivesTheDefaultPaneInItsDock)
{
    for (const char *name : PaneNames) {
        QObject *first = factory.CreateInstance(name, true);
        ASSERT_TRUE(first) << name;
        EXPECT_STREQ(first->metaObject()->className(), name);
        EXPECT_EQ(factory.CreateInstance(name, true), first) << name;

        auto *pane = qobject_cast<PaneForm *>(first);
        ASSERT_TRUE(pane && pane->dock()) << name;
        EXPECT_EQ(pane->dock()->objectName(), QString::fromLatin1(name));
        EXPECT_EQ(pane->dock()->parentWidget(), &main) << name;
        EXPECT_EQ(main.dockWidgetArea(pane->dock()), Qt::NoDockWidgetArea) << name;
    }
    EXPECT_EQ(factory.stackPane(), factory.CreateInstance("frmStack", true));
    EXPECT_EQ(factory.varsPane(), factory.CreateInstance("frmVars", true));
    EXPECT_EQ(factory.immediatePane(), factory.CreateInstance("frmImmediate", true));
    EXPECT_EQ(factory.breakpointsPane(), factory.CreateInstance("frmBreakpoints", true));
}

TEST_F(FactoryTest, MetadataFalseOrNullGivesANewBarePaneEachTime)
{
    for (const char *name : PaneNames) {
        for (const QVariant &metadata : {QVariant(false), QVariant(), QVariant(0)}) {
            std::unique_ptr<QObject> first(factory.CreateInstance(name, metadata));
            std::unique_ptr<QObject> second(factory.CreateInstance(name, metadata));
            ASSERT_TRUE(first && second) << name;
            EXPECT_NE(first.get(), second.get()) << name;
            EXPECT_NE(first.get(), factory.CreateInstance(name, true)) << name;
            EXPECT_STREQ(first->metaObject()->className(), name);
            EXPECT_FALSE(qobject_cast<PaneForm *>(first.get())->dock()) << name;
            EXPECT_FALSE(first->parent()) << name;
        }
    }
}

TEST_F(FactoryTest, FrmMDIIsAlwaysTheOneMainWindow)
{
    for (const QVariant &metadata : {QVariant(true), QVariant(false), QVariant()})
        EXPECT_EQ(factory.CreateInstance("frmMDI", metadata), &main);
}

TEST_F(FactoryTest, UnknownNamesGiveNothing)
{
    for (const char *name : {"frmCode", "", "frmstack", "gfrmMDI"}) {
        EXPECT_EQ(factory.CreateInstance(name, true), nullptr) << name;
        EXPECT_EQ(factory.CreateInstance(name, false), nullptr) << name;
    }
    for (const char *name : {"frmMDI", "frmCode", ""})
        EXPECT_FALSE(factory.GetMetadata(name, &main).isValid()) << name;
}

TEST_F(FactoryTest, GetMetadataTellsDefaultInstances)
{
    EXPECT_EQ(factory.GetMetadata("gfrmMDI", &main), QVariant(true));
    QMainWindow other;
    EXPECT_EQ(factory.GetMetadata("gfrmMDI", &other), QVariant(false));

    for (const char *name : PaneNames) {
        // Asking first makes the default instance.
        const qsizetype docks = main.findChildren<PaneDock *>().size();
        EXPECT_EQ(factory.GetMetadata(name, nullptr), QVariant(false)) << name;
        EXPECT_EQ(main.findChildren<PaneDock *>().size(), docks + 1) << name;
        QObject *pane = factory.CreateInstance(name, true);
        EXPECT_EQ(factory.GetMetadata(name, pane), QVariant(true)) << name;
        std::unique_ptr<QObject> bare(factory.CreateInstance(name, false));
        EXPECT_EQ(factory.GetMetadata(name, bare.get()), QVariant(false)) << name;
    }
}

TEST(FormFactory, DeletesBarePanesNobodyTookOver)
{
    QMainWindow main;
    QPointer<QObject> left, deleted, adopted;
    QWidget adopter;
    {
        FormFactory factory(&main);
        left = factory.CreateInstance("frmVars", false);
        deleted = factory.CreateInstance("frmVars", false);
        adopted = factory.CreateInstance("frmStack", false);
        delete deleted.data();
        qobject_cast<QWidget *>(adopted.data())->setParent(&adopter);
    }
    EXPECT_TRUE(left.isNull());
    EXPECT_FALSE(adopted.isNull());
}
