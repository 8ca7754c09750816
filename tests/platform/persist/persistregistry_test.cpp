#include "persistfakes.h"
#include "persistregistry.h"

#include <gtest/gtest.h>

TEST(PersistRegistry, KeepsRegistrationOrderAndReplacesInPlace)
{
    FakeOrigin open, connect, other;
    FakeForm stack;
    FakeFormFactory factory;
    factory.forms["frmStack"] = &stack;

    PersistRegistry registry;
    registry.add("frmStack", &factory);
    registry.add("FileOpen", &open);
    registry.add("Connect", &connect);
    registry.add("FileOpen", &other);
    EXPECT_EQ(registry.keys(), (QStringList{"frmStack", "FileOpen", "Connect"}));
    EXPECT_EQ(registry.originFor("FileOpen"), &other);

    // A factory key that becomes an origin key and back.
    registry.add("frmStack", &open);
    EXPECT_EQ(registry.originFor("frmStack"), &open);
    registry.add("frmStack", &factory);
    EXPECT_EQ(registry.originFor("frmStack"), static_cast<IMementoOrigin *>(&stack));
    EXPECT_EQ(registry.keys(), (QStringList{"frmStack", "FileOpen", "Connect"}));
}

TEST(PersistRegistry, ResolvesFormKeysThroughTheDefaultInstance)
{
    FakeForm stack;
    QObject notAnOrigin;
    FakeFormFactory factory;
    factory.forms["frmStack"] = &stack;
    factory.forms["frmPlain"] = &notAnOrigin;

    PersistRegistry registry;
    for (const char *key : {"frmStack", "frmPlain", "frmUnknown"})
        registry.add(key, &factory);

    struct Case { const char *key; IMementoOrigin *origin; bool asksFactory; };
    const Case cases[] = {
        {"frmStack", &stack, true},
        {"frmPlain", nullptr, true},     // a form without saved settings
        {"frmUnknown", nullptr, true},   // the factory knows no such form
        {"frmVars", nullptr, false},     // never registered
        {"frmstack", nullptr, false},
    };
    for (const Case &c : cases) {
        factory.requests.clear();
        EXPECT_EQ(registry.originFor(c.key), c.origin) << c.key;
        if (c.asksFactory) {
            ASSERT_EQ(factory.requests.size(), 1) << c.key;
            EXPECT_EQ(factory.requests[0].first, c.key);
            EXPECT_EQ(factory.requests[0].second, QVariant(true));
        } else {
            EXPECT_TRUE(factory.requests.isEmpty()) << c.key;
        }
    }
}
