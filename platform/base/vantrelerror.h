#pragma once

#include <QString>
#include <cstdint>
#include <exception>

// The one error type of direct-call APIs: a COM-style number and a text.
// Thrown only from calls made directly by our own code; every slot that calls
// such an API catches it, because no exception may cross the Qt event loop.
class VantrelError : public std::exception
{
public:
    // The COM error base the numbered errors are offset from.
    static constexpr std::uint32_t Base = 0x80040000u;

    VantrelError(std::uint32_t number, QString text)
        : m_number(number), m_text(std::move(text)), m_utf8(m_text.toUtf8()) {}

    std::uint32_t number() const { return m_number; }
    const QString &text() const { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    std::uint32_t m_number;
    QString m_text;
    QByteArray m_utf8;   // keeps what() valid for the error's lifetime
};
