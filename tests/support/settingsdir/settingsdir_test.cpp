#include "settingsdir.h"

#include <gtest/gtest.h>

namespace {

QString fileOf(QSettings::Scope scope)
{
    return QSettings(QSettings::IniFormat, scope, "VantrelTestOrg", "VantrelTestApp").fileName();
}

} // namespace

TEST(ScopedSettingsDir, RedirectsUntilItEndsAndNests)
{
    const QString userDefault = fileOf(QSettings::UserScope);
    {
        ScopedSettingsDir outer;
        const QString outerFile = outer.iniFile("VantrelTestOrg", "VantrelTestApp");
        EXPECT_EQ(fileOf(QSettings::UserScope), outerFile);
        EXPECT_TRUE(fileOf(QSettings::SystemScope).startsWith(outer.path() + '/'));
        {
            ScopedSettingsDir inner;
            EXPECT_EQ(fileOf(QSettings::UserScope), inner.iniFile("VantrelTestOrg", "VantrelTestApp"));
        }
        EXPECT_EQ(fileOf(QSettings::UserScope), outerFile);
    }
    EXPECT_EQ(fileOf(QSettings::UserScope), userDefault);
}

TEST(ScopedSettingsDir, RestartedReadsTheFileAfresh)
{
    ScopedSettingsDir dir;
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Org", "App");
        settings.setValue("Group/Flag", true);
    }
    // The same process reading the same file gets its own cached bool back...
    EXPECT_EQ(QSettings(QSettings::IniFormat, QSettings::UserScope, "Org", "App").value("Group/Flag").typeId(),
              QMetaType::Bool);
    // ...a restarted program gets the text from the file.
    const auto restarted = dir.restarted();
    const QVariant value = QSettings(QSettings::IniFormat, QSettings::UserScope, "Org", "App").value("Group/Flag");
    EXPECT_EQ(value.typeId(), QMetaType::QString);
    EXPECT_EQ(value.toString(), "true");
}
