#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class Memento;
using MementoPtr = std::shared_ptr<Memento>;

// The saved settings of one restorable object: named attributes, each a value or a
// nested memento (a pane keeps its visibility flags under "PaneState", the main
// window its layout under "@Layout"). Names are case-sensitive and kept in the order
// they were first written; writing a name again replaces its attribute in place.
// An invalid QVariant is Null: written, it is an attribute of its own; read, it is
// also what an absent name gives.
//
// Values come back the way the settings file hands them over: the type that was
// written while the program still runs, text after a restart ("true", "30000",
// "0.1"). The typed reads accept both forms and nothing else, so a restore written
// against them behaves the same on the first run and on every later one. Each gives
// false and leaves `out` alone when the name is absent, names a nested memento, or
// holds something that is not a value of its type; the caller's current setting
// then stays, which is what a restore wants for damaged or foreign entries.
// QVariant's own conversions are too lenient for that (toBool() turns "abc" into
// true) and are not used.
class Memento
{
public:
    // Null when absent or a nested memento.
    QVariant read(const QString &name) const;
    // Null when absent or a value.
    MementoPtr readMemento(const QString &name) const;

    void write(const QString &name, const QVariant &value);
    // A null child is written as Null. A child that holds this memento, at any depth,
    // is refused (with a warning): the cycle could be neither saved nor freed.
    void writeMemento(const QString &name, MementoPtr child);

    bool contains(const QString &name) const;
    QStringList names() const;
    bool isEmpty() const { return m_attributes.isEmpty(); }

    // A bool; "true"/"false" in any case; -1, 0 or 1 as a number or as text
    // (-1 and 1 are true, the way a stored Boolean may come back as a number).
    bool readBool(const QString &name, bool &out) const;
    // A whole number in range, as a number or as decimal text ("abc", "1.5", "" and
    // "2147483648" are refused).
    bool readInt(const QString &name, qint32 &out) const;
    // A number (not a bool), or text that reads as one.
    bool readDouble(const QString &name, double &out) const;
    // A byte array, or text taken as the bytes of its UTF-16LE form (how a text
    // assigned to a byte array has always been stored).
    bool readBytes(const QString &name, QByteArray &out) const;
    // Text only; numbers are not turned into text.
    bool readString(const QString &name, QString &out) const;

private:
    struct Attribute
    {
        QString name;
        QVariant value;       // when child is null
        MementoPtr child;
    };

    const Attribute *find(const QString &name) const;
    Attribute &slot(const QString &name);
    bool holds(const Memento *other) const;

    QList<Attribute> m_attributes;   // in first-write order
};
