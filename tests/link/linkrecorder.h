#pragma once

#include "itransactui.h"
#include "mlink.h"

#include <QStringList>

// Writes every notification of a link, and the transaction UI calls, into one
// log, so tests can check what was raised and in which order.
struct LinkRecorder : ITransactUi
{
    QStringList log;

    explicit LinkRecorder(MLink &link)
    {
        link.setTransactUi(this);
        QObject::connect(&link, &MLink::BeforeClose, [this] { log << "BeforeClose"; });
        QObject::connect(&link, &MLink::OnClose, [this] { log << "OnClose"; });
        QObject::connect(&link, &MLink::OnConnect, [this] { log << "OnConnect"; });
        QObject::connect(&link, &MLink::OnConnectFailed,
                         [this](const QString &m) { log << "OnConnectFailed:" + m; });
        QObject::connect(&link, &MLink::OnMessage,
                         [this](const QStringList &m) { log << "OnMessage:" + m.join('|'); });
    }
    void begin() override { log << "begin"; }
    void end() override { log << "end"; }

    int count(const QString &entry) const { return int(log.count(entry)); }
    QStringList messages() const { return log.filter(QStringLiteral("OnMessage:")); }
};
