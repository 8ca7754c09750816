#pragma once

#include "itipwindow.h"

// A tip that keeps what it is given and shows nothing: the code window's identifier
// rules work on it until the tip window proper takes its place.
class TipHolder : public ITipWindow
{
public:
    QString TipID() const override { return m_id; }
    QString Text() const override { return m_text; }
    void SetText(const QString &text, const QString &id) override;
    void NotifyMove() override { ++m_moves; }
    void ShowAt(int, int, const QString &text) override
    {
        if (!text.isEmpty())
            m_text = text;
    }
    QFont TipFont() const override { return m_font; }
    void setTipFont(const QFont &font) override { m_font = font; }
    QWidget *owner() const override { return m_owner; }
    void setOwner(QWidget *owner) override { m_owner = owner; }

    // For tests: how often the pointer was reported moving.
    int moves() const { return m_moves; }

private:
    QString m_id;
    QString m_text;
    QFont m_font;
    QWidget *m_owner = nullptr;
    int m_moves = 0;
};
