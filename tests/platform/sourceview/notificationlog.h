#pragma once

#include "sourcedocument.h"

#include <QObject>
#include <QString>
#include <ostream>
#include <vector>

// Records a document's change notifications in the order they were raised.
struct Notification
{
    char kind;   // 'D' deleted, 'I' inserted
    int c1, l1, c2, l2;
    bool operator==(const Notification &o) const
    {
        return kind == o.kind && c1 == o.c1 && l1 == o.l1 && c2 == o.c2 && l2 == o.l2;
    }
};

inline std::ostream &operator<<(std::ostream &os, const Notification &n)
{
    return os << n.kind << "(" << n.c1 << "," << n.l1 << "," << n.c2 << "," << n.l2 << ")";
}

class NotificationLog
{
public:
    explicit NotificationLog(SourceDocument &doc)
    {
        QObject::connect(&doc, &SourceDocument::TextDeleted, &doc,
                         [this](int c1, int l1, int c2, int l2) { log.push_back({'D', c1, l1, c2, l2}); });
        QObject::connect(&doc, &SourceDocument::TextInserted, &doc,
                         [this](int c1, int l1, int c2, int l2) { log.push_back({'I', c1, l1, c2, l2}); });
    }
    std::vector<Notification> take()
    {
        std::vector<Notification> out;
        out.swap(log);
        return out;
    }
    std::vector<Notification> log;
};
