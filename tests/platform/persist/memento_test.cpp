#include "memento.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

TEST(Memento, KeepsFirstWriteOrderAndOneAttributePerName)
{
    Memento m;
    m.write("ColWid0", 1200.0);
    m.write("PaneState", true);
    m.write("Edge", 4);
    m.writeMemento("PaneState", std::make_shared<Memento>());   // value -> memento, in place
    m.write("ColWid0", 900.0);
    EXPECT_EQ(m.names(), (QStringList{"ColWid0", "PaneState", "Edge"}));

    EXPECT_TRUE(m.read("PaneState").isNull());
    EXPECT_NE(m.readMemento("PaneState"), nullptr);
    EXPECT_EQ(m.readMemento("Edge"), nullptr);
    EXPECT_EQ(m.read("ColWid0"), QVariant(900.0));

    m.write("PaneState", false);   // memento -> value
    EXPECT_EQ(m.readMemento("PaneState"), nullptr);
    EXPECT_EQ(m.read("PaneState"), QVariant(false));

    // Null is an attribute of its own, unlike an absent name; names are case-sensitive.
    m.write("Null", QVariant());
    m.writeMemento("NoChild", nullptr);
    for (const char *name : {"Null", "NoChild"}) {
        EXPECT_TRUE(m.contains(name)) << name;
        EXPECT_TRUE(m.read(name).isNull()) << name;
    }
    EXPECT_FALSE(m.contains("edge"));
    EXPECT_TRUE(m.read("edge").isNull());
    EXPECT_EQ(m.readMemento("edge"), nullptr);
}

TEST(Memento, RefusesToHoldItself)
{
    auto top = std::make_shared<Memento>();
    auto middle = std::make_shared<Memento>();
    auto bottom = std::make_shared<Memento>();
    top->writeMemento("Middle", middle);
    middle->writeMemento("Bottom", bottom);

    top->writeMemento("Self", top);
    bottom->writeMemento("Top", top);
    EXPECT_FALSE(top->contains("Self"));
    EXPECT_FALSE(bottom->contains("Top"));

    // Sharing a child in two places is no cycle.
    top->writeMemento("AlsoBottom", bottom);
    EXPECT_EQ(top->readMemento("AlsoBottom"), bottom);
}

TEST(Memento, TypedReadsAcceptOnlyTheirOwnKind)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        QVariant value;
        std::optional<bool> asBool;
        std::optional<qint32> asInt;
        std::optional<double> asDouble;
        std::optional<QString> asString;
        std::optional<QByteArray> asBytes;   // text also reads as bytes: see the next test
    };
    const Case cases[] = {
        // what the program writes, as long as it runs
        {true, true, {}, {}, {}, {}},
        {false, false, {}, {}, {}, {}},
        {qint32(42), {}, 42, 42.0, {}, {}},
        {qint32(-1), true, -1, -1.0, {}, {}},
        {qint32(0), false, 0, 0.0, {}, {}},
        {qint16(5), {}, 5, 5.0, {}, {}},
        {qint64(1) << 40, {}, {}, 1099511627776.0, {}, {}},
        {4000000000u, {}, {}, 4e9, {}, {}},
        {1.0, true, 1, 1.0, {}, {}},
        {3.0, {}, 3, 3.0, {}, {}},
        {10.25, {}, {}, 10.25, {}, {}},
        {3e9, {}, {}, 3e9, {}, {}},
        {inf, {}, {}, inf, {}, {}},
        {QByteArray("C\0o", 3), {}, {}, {}, {}, QByteArray("C\0o", 3)},
        {QByteArray(), {}, {}, {}, {}, QByteArray()},
        {QStringList{"a", "b"}, {}, {}, {}, {}, {}},
        {QVariant(), {}, {}, {}, {}, {}},
        // what a settings file gives back after a restart, and damaged entries
        {"true", true, {}, {}, "true", {}},
        {"FALSE", false, {}, {}, "FALSE", {}},
        {"TrUe", true, {}, {}, "TrUe", {}},
        {"-1", true, -1, -1.0, "-1", {}},
        {"1", true, 1, 1.0, "1", {}},
        {"0", false, 0, 0.0, "0", {}},
        {"2", {}, 2, 2.0, "2", {}},
        {"abc", {}, {}, {}, "abc", {}},
        {"", {}, {}, {}, "", {}},
        {"1.5", {}, {}, 1.5, "1.5", {}},
        {"1.0", {}, {}, 1.0, "1.0", {}},
        {"1e3", {}, {}, 1000.0, "1e3", {}},
        {"12abc", {}, {}, {}, "12abc", {}},
        {"0x10", {}, {}, {}, "0x10", {}},
        {"2147483647", {}, 2147483647, 2147483647.0, "2147483647", {}},
        {"-2147483648", {}, std::numeric_limits<qint32>::min(), -2147483648.0, "-2147483648", {}},
        {"2147483648", {}, {}, 2147483648.0, "2147483648", {}},
        {"inf", {}, {}, inf, "inf", {}},
    };
    for (const Case &c : cases) {
        Memento m;
        m.write("v", c.value);
        const std::string label = (c.value.isValid() ? c.value.typeName() : "Null") + std::string(" ")
                                  + c.value.toString().toStdString();

        bool b = false;
        const bool gotBool = m.readBool("v", b);
        EXPECT_EQ(gotBool ? std::optional<bool>(b) : std::nullopt, c.asBool) << label;
        qint32 i = 0;
        const bool gotInt = m.readInt("v", i);
        EXPECT_EQ(gotInt ? std::optional<qint32>(i) : std::nullopt, c.asInt) << label;
        double d = 0;
        const bool gotDouble = m.readDouble("v", d);
        EXPECT_EQ(gotDouble ? std::optional<double>(d) : std::nullopt, c.asDouble) << label;
        QString s;
        const bool gotString = m.readString("v", s);
        EXPECT_EQ(gotString ? std::optional<QString>(s) : std::nullopt, c.asString) << label;
        if (c.value.typeId() != QMetaType::QString) {
            QByteArray bytes;
            const bool gotBytes = m.readBytes("v", bytes);
            EXPECT_EQ(gotBytes ? std::optional<QByteArray>(bytes) : std::nullopt, c.asBytes) << label;
        }
    }
}

TEST(Memento, RefusedReadsLeaveTheSettingAlone)
{
    Memento m;
    m.write("Word", "abc");
    m.writeMemento("Child", std::make_shared<Memento>());
    for (const char *name : {"Word", "Child", "Absent"}) {
        bool b = true;
        qint32 i = 7;
        double d = 2.5;
        EXPECT_FALSE(m.readBool(name, b)) << name;
        EXPECT_FALSE(m.readInt(name, i));
        EXPECT_FALSE(m.readDouble(name, d));
        EXPECT_EQ(b, true);
        EXPECT_EQ(i, 7);
        EXPECT_EQ(d, 2.5);
    }
    for (const char *name : {"Child", "Absent"}) {
        QString s = "kept";
        QByteArray bytes = "kept";
        EXPECT_FALSE(m.readString(name, s)) << name;
        EXPECT_FALSE(m.readBytes(name, bytes)) << name;
        EXPECT_EQ(s, "kept");
        EXPECT_EQ(bytes, "kept");
    }
}

TEST(Memento, ReadsTextAsItsUtf16LeBytes)
{
    struct Case { QString text; const char *hex; };
    const Case cases[] = {
        {"Ab", "41 00 62 00"},
        {QString::fromUtf8("\xE2\x82\xAC"), "ac 20"},            // U+20AC
        {QString::fromUtf8("\xF0\x9F\x98\x80"), "3d d8 00 de"},  // U+1F600, a surrogate pair
        {"", ""},
    };
    for (const Case &c : cases) {
        Memento m;
        m.write("CodeFont.Name", c.text);
        QByteArray bytes = "kept";
        ASSERT_TRUE(m.readBytes("CodeFont.Name", bytes)) << c.hex;
        EXPECT_EQ(bytes.toHex(' '), QByteArray(c.hex));
    }
}
