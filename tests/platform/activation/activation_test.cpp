#include "activation.h"

#include <gtest/gtest.h>

namespace {

const QString Clsid = QStringLiteral("{11111111-2222-3333-4444-555555555555}");

class Thing : public IDispatchObject
{
public:
    explicit Thing(QString tag) : tag(std::move(tag)) {}
    QVariant InvokeByName(const QString &member, QVariantList &args) override
    {
        if (member == "Tag")
            return tag;
        return IDispatchObject::InvokeByName(member, args);
    }
    QString tag;
};

ObjectRegistry::Creator making(const QString &tag)
{
    return [tag] { return std::make_shared<Thing>(tag); };
}

QString tagOf(const QString &name)
{
    return ObjectRegistry::createObject(name)->call(QStringLiteral("Tag")).toString();
}

TEST(ObjectRegistry, NamesLeadToTheClassAndTestsCanReplaceOrRemoveIt)
{
    ObjectRegistry::Scope scope;
    ObjectRegistry::registerClass(Clsid, "My.Thing", making("real"));
    ObjectRegistry::registerProgId("Other.Name", Clsid);
    EXPECT_EQ(tagOf("My.Thing"), "real");
    EXPECT_EQ(tagOf(Clsid.toLower()), "real");         // identities compare without case
    EXPECT_EQ(tagOf("other.name"), "real");
    {
        ObjectRegistry::Scope inner;
        ObjectRegistry::registerClass(Clsid, QString(), making("fake"));   // a fake under the real identity
        EXPECT_EQ(tagOf("My.Thing"), "fake");
        ObjectRegistry::unregister("Other.Name");                         // a name: only that name goes
        EXPECT_FALSE(ObjectRegistry::isRegistered("Other.Name"));
        EXPECT_TRUE(ObjectRegistry::isRegistered("My.Thing"));
        ObjectRegistry::unregister(Clsid);                                // the class: every name goes
        EXPECT_FALSE(ObjectRegistry::isRegistered("My.Thing"));
        EXPECT_EQ(ObjectRegistry::classIdOf("My.Thing"), "");
    }
    EXPECT_EQ(tagOf("Other.Name"), "real");              // the scope put everything back
    EXPECT_EQ(ObjectRegistry::classIdOf("My.Thing"), Clsid);
}

TEST(ObjectRegistry, CreatingAnUnknownOrRefusedClassRaisesClassNotRegistered)
{
    ObjectRegistry::Scope scope;
    ObjectRegistry::registerClass(Clsid, "Null.Thing", [] { return DispatchPtr(); });
    for (const QString name : {"No.Such", "Null.Thing"}) {
        try {
            ObjectRegistry::createObject(name);
            ADD_FAILURE() << name.toStdString();
        } catch (const ComError &error) {
            EXPECT_EQ(error.number(), DispError::ClassNotRegistered);
            EXPECT_EQ(error.description(), "Class not registered: " + name);
        }
    }
}

TEST(ComError, IsAVantrelErrorWithASource)
{
    try {
        throw ComError(0x80040200u, "Src", "text");
    } catch (const VantrelError &error) {
        EXPECT_EQ(error.number(), 0x80040200u);
        EXPECT_STREQ(error.what(), "text");
        ASSERT_NE(dynamic_cast<const ComError *>(&error), nullptr);
        EXPECT_EQ(dynamic_cast<const ComError &>(error).source(), "Src");
        EXPECT_EQ(dynamic_cast<const ComError &>(error).hresult(), -2147220992);
    }
    Thing thing("x");
    try {
        thing.call(QStringLiteral("Nope"));
        FAIL();
    } catch (const ComError &error) {
        EXPECT_EQ(error.number(), DispError::MemberNotFound);
    }
}

TEST(Values, MarkersAreTellApartAndObjectsRoundTrip)
{
    auto thing = std::make_shared<Thing>("x");
    const QVariant object = objectValue(thing);
    EXPECT_TRUE(isObjectValue(object));
    EXPECT_EQ(objectFrom(object), thing);
    EXPECT_EQ(toObjectValue(object), thing);
    EXPECT_TRUE(isParamNotFound(paramNotFound()));
    EXPECT_TRUE(isNullValue(nullValue()));
    for (const QVariant &v : {paramNotFound(), nullValue(), QVariant(0), QVariant(QStringLiteral("x"))}) {
        EXPECT_FALSE(isObjectValue(v));
        EXPECT_EQ(objectFrom(v), nullptr);
    }
    EXPECT_FALSE(isParamNotFound(nullValue()));
    EXPECT_EQ(toObjectValue(nullValue()), nullptr);
    EXPECT_THROW(toObjectValue(QStringLiteral("x")), ComError);
    EXPECT_EQ(toStringValue(nullValue()), "");
    EXPECT_THROW(toStringValue(object), ComError);
}

TEST(Values, ConversionsFollowAutomationRules)
{
    struct Row
    {
        QVariant value;
        std::optional<bool> asBool;      // nullopt: type mismatch
        std::optional<qint16> asInt16;   // nullopt: an error (mismatch or overflow)
    };
    const QList<Row> rows{
        {true, true, -1},
        {false, false, 0},
        {5, true, 5},
        {0, false, 0},
        {-32768, true, -32768},
        {32768, true, std::nullopt},
        {QStringLiteral("12"), true, 12},
        {QStringLiteral("true"), true, std::nullopt},
        {QStringLiteral("abc"), std::nullopt, std::nullopt},
        {2.5, true, 2},
        {nullValue(), std::nullopt, std::nullopt},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.value.toString().toStdString());
        if (row.asBool)
            EXPECT_EQ(toBoolValue(row.value), *row.asBool);
        else
            EXPECT_THROW(toBoolValue(row.value), ComError);
        if (row.asInt16)
            EXPECT_EQ(toInt16Value(row.value), *row.asInt16);
        else
            EXPECT_THROW(toInt16Value(row.value), ComError);
    }
    try {
        toInt16Value(40000);
        FAIL();
    } catch (const ComError &error) {
        EXPECT_EQ(error.number(), DispError::Overflow);
    }
}

} // namespace
