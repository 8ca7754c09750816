#pragma once

#include "ihelphost.h"

#include <QString>

#include <memory>
#include <vector>

// Records the help requests the program makes, in order, and shows nothing:
//
//   ScopedRecordingHelp help;           // installed as helpHost() while it lives
//   modHTMLHelp::ShowHelpContents(1, "");
//   EXPECT_EQ(help->requests.at(0).target, dir + "/Vantrel.chm>");
class RecordingHelpHost : public IHelpHost
{
public:
    struct Request
    {
        QWidget *caller;
        QString target;
        int command;
    };

    void htmlHelp(QWidget *caller, const QString &target, int command) override
    {
        requests.push_back({caller, target, command});
    }

    std::vector<Request> requests;
};

class ScopedRecordingHelp
{
public:
    ScopedRecordingHelp() : m_host(std::make_shared<RecordingHelpHost>()) { setHelpHost(m_host); }
    ~ScopedRecordingHelp() { setHelpHost(nullptr); }
    ScopedRecordingHelp(const ScopedRecordingHelp &) = delete;
    ScopedRecordingHelp &operator=(const ScopedRecordingHelp &) = delete;

    RecordingHelpHost *operator->() const { return m_host.get(); }
    RecordingHelpHost &host() const { return *m_host; }

private:
    std::shared_ptr<RecordingHelpHost> m_host;
};
