#include "systemprobe.h"

#include <QByteArray>

namespace {

std::optional<bool> &wineOverride()
{
    static std::optional<bool> wine;
    return wine;
}

} // namespace

bool SystemProbe::isWine()
{
    if (wineOverride())
        return *wineOverride();
    return qgetenv("VANTREL_ASSUME_WINE") == "1";
}

void SystemProbe::setWineOverride(std::optional<bool> wine)
{
    wineOverride() = wine;
}
