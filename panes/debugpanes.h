#pragma once

#include <QString>

#include <memory>

struct StackLevel;
using StackLevelPtr = std::shared_ptr<StackLevel>;

// What the session's message dispatcher drives in the variables pane. The server's
// variable rows arrive one message each between a request (Update) and "VARend"
// (UpdateFinished); names, flags and values are the message's fields already converted.
class IVarsPane
{
public:
    virtual ~IVarsPane() = default;
    // Asks the server for a level's variables (key ""), or for the descendants of one row.
    virtual void Update(int level, const QString &key) = 0;
    virtual void AddVar(const QString &Root, const QString &NameTip, const QString &ShortName,
                        const QString &Follows, int SubscriptLevel, bool IsFormal, bool IsPrivate,
                        bool IsTruePrivate, bool IsDefined, bool HasDescendants,
                        const QString &RawValue, int Format, const QString &Value, int PropCount) = 0;
    virtual void UpdateVar(const QString &Root, const QString &ShortName, int SubscriptLevel,
                           bool IsFormal, bool IsPrivate, bool IsTruePrivate, bool IsDefined,
                           bool HasDescendants, const QString &RawValue, int Format,
                           const QString &Value, int PropCount) = 0;
    virtual void UpdateVarValue(const QString &Root, const QString &Value, int Format) = 0;
    virtual void RemoveVar(const QString &Root) = 0;
    virtual void UpdateFinished() = 0;
    // The server can list private variables (a second list).
    virtual void setPrivateSupported(bool supported) = 0;
    virtual void Clear() = 0;
};

// What the dispatcher drives in the stack pane.
class IStackLevels
{
public:
    virtual ~IStackLevels() = default;
    // Files a reported level; a top level drops the deeper ones the stack no longer has.
    virtual void Update(const StackLevelPtr &level, bool treatAsTop) = 0;
    // Shows a level's routine at its place; activate brings its window forward.
    virtual void ShowLevel(int levelNumber, bool activate) = 0;
    virtual void ResetStack() = 0;
};
