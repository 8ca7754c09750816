#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

class IParseEngine;

// Calls into the local Parse Engine under an engine session handle of its own. Each
// routine document owns one; one more serves the start-up check and the immediate pane.
//
// Nothing here throws: a call that fails, or any call while no engine is present, answers
// a text "ERROR:" number " " description, which every caller already tests for.
class VanNgine
{
public:
    // Obtains the engine and a session handle. Without an engine, or when the engine fails
    // while starting, the wrapper is left without one, silently; when the engine refuses a
    // handle the user is told.
    VanNgine();
    // Frees the handle.
    ~VanNgine();

    VanNgine(const VanNgine &) = delete;
    VanNgine &operator=(const VanNgine &) = delete;

    // Runs entry reference `Reference` ("Begin^PARSE", …) with the handle first and copies
    // of the arguments after it.
    QString MDo0(const QString &Reference);
    QString MDo1(const QString &Reference, const QVariant &a1);
    QString MDo2(const QString &Reference, const QVariant &a1, const QVariant &a2);
    QString MDo3(const QString &Reference, const QVariant &a1, const QVariant &a2,
                 const QVariant &a3);
    QString MDo4(const QString &Reference, const QVariant &a1, const QVariant &a2,
                 const QVariant &a3, const QVariant &a4);

    // `s` followed by as many U+0000 as it has characters: the form in which the engine
    // takes line texts.
    static QString ZeroPad(const QString &s);

    // Runs an M command line and returns what it wrote.
    QString Xecute(const QString &command);

    bool Connected() const;
    // The engine's version text; "" without an engine.
    QString Version();

    // The session handle; meaningful only while an engine is present.
    int handle() const { return m_handle; }

private:
    QString callEngine(const QString &reference, const QVariantList &args);

    std::shared_ptr<IParseEngine> m_engine;   // null: none, or it failed to start
    int m_handle = 0;                         // the engine's 16-bit session handle
};
