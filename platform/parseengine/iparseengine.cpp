#include "iparseengine.h"

namespace {

ParseEngineFactory &currentFactory()
{
    static ParseEngineFactory factory;
    return factory;
}

std::shared_ptr<IParseEngine> defaultEngine()
{
    // The in-process engine is not linked in yet.
    return nullptr;
}

} // namespace

std::shared_ptr<IParseEngine> makeParseEngine()
{
    const ParseEngineFactory &factory = currentFactory();
    return factory ? factory() : defaultEngine();
}

void setParseEngineFactory(ParseEngineFactory factory)
{
    currentFactory() = std::move(factory);
}
