#pragma once

#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

// The narrow interface of the local Parse Engine: it runs M command lines and M entry
// references on behalf of engine session handles. Results are text; a failure is either
// a text beginning with "ERROR:" or a thrown VantrelError (number + text), which the
// wrapper turns into such a text.
class IParseEngine
{
public:
    virtual ~IParseEngine() = default;

    // False when the engine is present but can no longer serve calls.
    virtual bool connected() const = 0;

    // Runs an M command line ("w $$NewHand^PARSE", "W $S", "w $$^VERSION") and returns
    // what it wrote.
    virtual QString xecute(const QString &command) = 0;

    // Runs the entry reference ("Begin^PARSE", "SetTable^PName", a tip-key entry …) for
    // the given session handle with copies of the caller's arguments.
    virtual QString call(const QString &entryRef, int handle, const QVariantList &args) = 0;
};

using ParseEngineFactory = std::function<std::shared_ptr<IParseEngine>()>;

// The process-wide way to obtain the engine. Returns null when no engine is available.
std::shared_ptr<IParseEngine> makeParseEngine();

// Replaces the factory (tests install scripted engines, or one that returns null to take
// the "engine missing" path); an empty factory restores the default.
void setParseEngineFactory(ParseEngineFactory factory);
