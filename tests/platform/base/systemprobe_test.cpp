#include "systemprobe.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Each case starts from a clean environment and no override, whatever ran before.
class SystemProbeTest : public ::testing::Test
{
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        qunsetenv("VANTREL_ASSUME_WINE");
        SystemProbe::setWineOverride(std::nullopt);
    }
};

} // namespace

TEST_F(SystemProbeTest, WineOnlyWhenOverriddenOrAskedForByTheEnvironment)
{
    const struct {
        const char *env;             // nullptr: not set
        std::optional<bool> override;
        bool wine;
    } cases[] = {
        {nullptr, std::nullopt, false},
        {"1", std::nullopt, true},
        {"0", std::nullopt, false},
        {"", std::nullopt, false},
        {"yes", std::nullopt, false},
        {"true", std::nullopt, false},
        {nullptr, true, true},
        {nullptr, false, false},
        {"1", false, false},        // a test's override beats a developer's shell
        {"0", true, true},
    };
    for (const auto &c : cases) {
        reset();
        if (c.env)
            qputenv("VANTREL_ASSUME_WINE", c.env);
        SystemProbe::setWineOverride(c.override);
        EXPECT_EQ(SystemProbe::isWine(), c.wine)
            << "env " << (c.env ? c.env : "(unset)") << ", override "
            << (c.override ? (*c.override ? "true" : "false") : "none");
    }
}

TEST_F(SystemProbeTest, RemovingTheOverrideGoesBackToTheEnvironment)
{
    qputenv("VANTREL_ASSUME_WINE", "1");
    SystemProbe::setWineOverride(false);
    EXPECT_FALSE(SystemProbe::isWine());
    SystemProbe::setWineOverride(std::nullopt);
    EXPECT_TRUE(SystemProbe::isWine());
}
