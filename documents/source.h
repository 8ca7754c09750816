#pragma once

#include <QString>

#include <memory>

// One item on the server (a routine or another document) picked in a server dialog or
// remembered among the recent items.
class Source
{
public:
    QString Name;
    QString Path;              // "vantrel://" host "/" namespace
    int TypeOfSource = 0;      // 1 INT, 2 MAC, 3 INC
    QString MType;             // server platform, as the link's Brand
    bool ReadOnly = false;     // open it read-only

    // Name until a display name other than "" is set.
    QString DisplayName() const { return m_displayName.isEmpty() ? Name : m_displayName; }
    void setDisplayName(const QString &name) { m_displayName = name; }

private:
    QString m_displayName;
};

using SourcePtr = std::shared_ptr<Source>;
