#pragma once

#include <optional>

// Facts about the system the program runs on that change how it behaves.
class SystemProbe
{
public:
    // True when the program is to behave as it does under Wine (another code font,
    // the saved window layout never restored, the About box says so). A native build
    // never runs under Wine, so this is False unless a test sets the override or the
    // environment variable VANTREL_ASSUME_WINE is "1" (to check those paths by hand).
    static bool isWine();

    // A set override wins over the environment; std::nullopt removes it.
    static void setWineOverride(std::optional<bool> wine);
};
