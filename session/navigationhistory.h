#pragma once

#include <QString>

#include <deque>

// The places the user jumped away from, newest last, for the Back commands. It lives as
// long as the program and survives sessions.
//
// Each place keeps the type of the routine it was in beside its text: the text alone
// ("label+offset^routine^namespace") would lead Back from a MAC routine to the INT
// routine of the same name.
class NavigationHistory
{
public:
    struct Place
    {
        QString text;   // label+offset "^" routine "^" namespace
        int type = 0;   // 1 INT, 2 MAC, 3 INC; 0 unknown
    };

    // An addition that brings the history to this many drops the oldest place.
    static constexpr int Limit = 100;

    void push(const QString &text, int type);
    // The newest place; an empty one when there is none.
    Place newest() const;
    Place popNewest();
    int count() const { return int(m_places.size()); }
    bool isEmpty() const { return m_places.empty(); }

private:
    std::deque<Place> m_places;   // oldest first
};
