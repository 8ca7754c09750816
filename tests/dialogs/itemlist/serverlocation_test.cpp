#include "serverlocation.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerLocation, ParsesHostAndNamespaceOrRefuses)
{
    struct Case
    {
        const char *text;
        bool ok;
        const char *host;
        const char *ns;
    } cases[] = {
        {"vantrel://10.0.0.5/USER", true, "10.0.0.5", "USER"},
        {"VANTREL://h/A/B", true, "h", "A/B"},
        {"Vantrel://h/^^/vc/trunk/", true, "h", "^^/vc/trunk/"},
        {"vantrel://h/", true, "h", ""},
        {"vantrel:/h/x", false, "", ""},
        {"vantrel://h", false, "", ""},
        {"vantrel:///USER", false, "", ""},
        {"vantrel:x//h/USER", false, "", ""},
        {"file://h/USER", false, "", ""},
        {"foo", false, "", ""},
        {"", false, "", ""},
        {"/", false, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const ServerLocation location = ParseLocation(QString::fromUtf8(c.text));
        EXPECT_EQ(location.ok, c.ok);
        EXPECT_EQ(location.host, QString::fromUtf8(c.host));
        EXPECT_EQ(location.ns, QString::fromUtf8(c.ns));
    }
}

TEST(ServerLocation, MakeLocationRoundTrips)
{
    EXPECT_EQ(MakeLocation("10.0.0.5", "USER"), "vantrel://10.0.0.5/USER");
    for (const QString &ns : {QString("USER"), QString("A/B/C"), QString()}) {
        const ServerLocation location = ParseLocation(MakeLocation("host", ns));
        EXPECT_TRUE(location.ok);
        EXPECT_EQ(location.host, "host");
        EXPECT_EQ(location.ns, ns);
    }
}

} // namespace
