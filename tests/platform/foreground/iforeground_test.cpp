#include "iforeground.h"
#include "portableforeground.h"

#include <gtest/gtest.h>

namespace {

class FakeForeground : public IForeground
{
public:
    quint64 foregroundWindow() override { return 42; }
    qint64 processOf(quint64) override { return 7; }
    bool isOurs(quint64) override { return false; }
    bool activate(QWidget *) override { return false; }
    bool activateForeign(quint64) override { return true; }
};

} // namespace

TEST(Foreground, InstalledReplacesThePlatformDefaultUntilNullRestoresIt)
{
    IForeground *platformDefault = &foreground();
    // Tests run offscreen, where no window system tells about other programs.
    EXPECT_NE(dynamic_cast<PortableForeground *>(platformDefault), nullptr);

    auto fake = std::make_shared<FakeForeground>();
    setForeground(fake);
    EXPECT_EQ(&foreground(), fake.get());
    EXPECT_EQ(foreground().foregroundWindow(), 42u);

    setForeground(nullptr);
    EXPECT_EQ(&foreground(), platformDefault);   // the same object: chosen once
}
