#pragma once

#include <QString>

// The server item location: "vantrel://" host "/" namespace. The host is the link's
// peer address; the namespace is everything after the third "/" and may itself hold
// "/" (a version-control location used as a namespace). An item's name and type
// travel beside the location, never inside it.
struct ServerLocation
{
    bool ok = false;   // false: not a location of this scheme (host and ns empty)
    QString host;
    QString ns;
};

QString MakeLocation(const QString &host, const QString &ns);

// Never fails loudly: a text that is not "vantrel:" (any case), an empty segment and a
// non-empty host, in that order, comes back with ok false.
ServerLocation ParseLocation(const QString &text);
