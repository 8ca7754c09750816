#include "iparseengine.h"

#include "parseengine.h"

namespace {

ParseEngineFactory &currentFactory()
{
    static ParseEngineFactory factory;
    return factory;
}

} // namespace

std::shared_ptr<IParseEngine> makeParseEngine()
{
    const ParseEngineFactory &factory = currentFactory();
    return factory ? factory() : ParseEngine::instance();
}

void setParseEngineFactory(ParseEngineFactory factory)
{
    currentFactory() = std::move(factory);
}
