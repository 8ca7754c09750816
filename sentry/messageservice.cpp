#include "messageservice.h"

#include "statustexts.h"

#include <QMessageBox>

#include <cstdio>

namespace {

QMessageBox::Icon boxIcon(MessageService::Icon icon)
{
    switch (icon) {
    case MessageService::Critical: return QMessageBox::Critical;
    case MessageService::Warning: return QMessageBox::Warning;
    case MessageService::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

class DialogMessageService : public MessageService
{
public:
    void inform(const QString &title, const QString &text, Icon icon) override
    {
        QMessageBox box(boxIcon(icon), title, StatusTexts::forDisplay(text), QMessageBox::Ok);
        box.exec();
    }

    bool askYesNo(const QString &title, const QString &text, Icon icon, bool noIsDefault) override
    {
        QMessageBox box(boxIcon(icon), title, StatusTexts::forDisplay(text), QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(noIsDefault ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }
};

class ConsoleMessageService : public MessageService
{
public:
    void inform(const QString &title, const QString &text, Icon) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(StatusTexts::forDisplay(text)));
    }

    bool askYesNo(const QString &title, const QString &text, Icon icon, bool noIsDefault) override
    {
        inform(title, text, icon);
        return !noIsDefault;
    }
};

} // namespace

std::unique_ptr<MessageService> MessageService::create()
{
    if (!qEnvironmentVariableIsEmpty("VANTREL_SENTRY_QUIET"))
        return std::make_unique<ConsoleMessageService>();
    return std::make_unique<DialogMessageService>();
}
