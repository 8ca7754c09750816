#pragma once

#include <QString>

class IDocLink;
class Routines;

// The slice of a routine document that the open-routine collection works with.
// `Routine` implements it; the collection's own tests supply light fakes.
class IRoutineDoc
{
public:
    virtual ~IRoutineDoc() = default;

    // Set once by the collection right after creation.
    virtual void setOwner(Routines *owner) = 0;
    virtual void setMLink(IDocLink *link) = 0;

    virtual QString Key() const = 0;
    virtual QString Rtn() const = 0;
    virtual QString Env() const = 0;
    virtual void setRtn(const QString &rtn) = 0;
    virtual void setEnv(const QString &env) = 0;
    virtual void setTyp(int typ) = 0;
    virtual void setTarvikStatus(int status) = 0;

    virtual void LoadText(const QString &text, const QString &initialLine) = 0;
    virtual bool GotoLine(const QString &location, int charPos, int selLength) = 0;

    virtual bool ReadOnly() const = 0;
    virtual void setReadOnly(bool value) = 0;
    virtual bool Visible() const = 0;
    virtual void setVisible(bool value) = 0;
    virtual bool Frozen() const = 0;
    virtual void setFrozen(bool value) = 0;
    virtual bool Modified() const = 0;
    virtual bool HoldsLock() const = 0;
    virtual void setLowWaterMark(int value) = 0;
    virtual bool LineWrap() const = 0;
    virtual void setLineWrap(bool value) = 0;
    virtual bool RichSource() const = 0;
    virtual void setRichSource(bool value) = 0;

    // True when the document may go; may prompt the user unless abandon is set.
    virtual bool CloseDoc(bool abandon) = 0;
};
