#pragma once

#include <QFont>
#include <QString>

class QWidget;

// The hover tip of a code window as the window drives it. The window asks for a tip
// under the pointer and remembers what it asked under an identifier; an answer that
// arrives later is shown only while the tip still carries that identifier, so an answer
// for a place the pointer has left is dropped.
class ITipWindow
{
public:
    virtual ~ITipWindow() = default;

    // The identifier of the tip asked for last; "" for none.
    virtual QString TipID() const = 0;
    virtual QString Text() const = 0;
    // Empty text and identifier hide the tip.
    virtual void SetText(const QString &text, const QString &id) = 0;
    // The pointer moved: the show delay starts again.
    virtual void NotifyMove() = 0;
    // Shows the tip at once at (x, y) in the owner's pixels (global pixels without an
    // owner); a non-empty text first becomes the tip's text.
    virtual void ShowAt(int x, int y, const QString &text) = 0;
    virtual QFont TipFont() const = 0;
    virtual void setTipFont(const QFont &font) = 0;
    // The code window the tip belongs to; null once it has let go.
    virtual QWidget *owner() const = 0;
    virtual void setOwner(QWidget *owner) = 0;
};
