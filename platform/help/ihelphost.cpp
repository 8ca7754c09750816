#include "ihelphost.h"

#include "textbrowserhelphost.h"

namespace {

std::shared_ptr<IHelpHost> &registered()
{
    static std::shared_ptr<IHelpHost> host;
    return host;
}

} // namespace

IHelpHost &helpHost()
{
    std::shared_ptr<IHelpHost> &host = registered();
    if (!host)
        host = std::make_shared<TextBrowserHelpHost>();
    return *host;
}

void setHelpHost(std::shared_ptr<IHelpHost> host)
{
    registered() = std::move(host);
}
