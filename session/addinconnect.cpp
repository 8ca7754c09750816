#include "addinconnect.h"

#include "addin.h"
#include "addinhost.h"
#include "frmmdi.h"
#include "frmsplash.h"
#include "msgbox.h"
#include "programsettings.h"
#include "vantrelerror.h"

#include <QSettings>

namespace {

std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Brindlecote"), QStringLiteral("Vantrel"));
}

} // namespace

AddInConnect::AddInConnect(QObject *parent) : QObject(parent) {}

void AddInConnect::Show()
{
    if (!AddIn::gfrmMDI()) {
        programSettings().ShowGuideAtStartup = true;
        programSettings().CommandCounter = true;
        auto *window = new frmMDI;
        AddIn::setGfrmMDI(window);
        window->VBInst = VBInstance;
        window->Connect = this;
        if (!AddIn::startedForServer()) {
            // An interactive start: the splash calls Show again after its start time,
            // and the main window stays disabled until the splash has gone.
            window->setEnabled(false);
            frmSplash::showSplash(this);
            return;
        }
        if (!window->ensureLoaded())
            return;
    }
    FormDisplayed = true;
    if (frmMDI *window = AddIn::gfrmMDI())
        window->Listen();
}

void AddInConnect::Hide()
{
    FormDisplayed = false;
    frmMDI *window = AddIn::gfrmMDI();
    if (!window)
        return;
    if (!window->VBInst)
        window->unloadAndEnd();
    else
        window->hide();
}

void AddInConnect::OnConnection(IAddInHost *host, int connectMode, const QVariant &, const QVariantList &)
{
    try {
        VBInstance = host;
        if (connectMode != External) {
            m_button = AddToAddInCommandBar(QStringLiteral("Vantrel"));
            if (m_button)
                QObject::connect(m_button, &ICommandBarControl::clicked, this, &AddInConnect::MenuHandler_Click);
        } else {
            Show();
        }
        if (connectMode == AfterStartup && displayOnConnect() == QLatin1String("1"))
            Show();
    } catch (const VantrelError &e) {
        MsgBox(e.text());
    }
}

void AddInConnect::OnDisconnection(int, const QVariantList &)
{
    // Each step on its own: one that fails must not keep the next from running.
    if (m_button)
        m_button->remove();
    m_button.clear();
    if (FormDisplayed) {
        setDisplayOnConnect(QStringLiteral("1"));
        FormDisplayed = false;
    } else {
        setDisplayOnConnect(QStringLiteral("0"));
    }
    if (frmMDI *window = AddIn::gfrmMDI()) {
        window->unload();
        delete window;
    }
    AddIn::setGfrmMDI(nullptr);
}

void AddInConnect::OnStartupComplete(const QVariantList &)
{
    if (displayOnConnect() == QLatin1String("1"))
        Show();
}

void AddInConnect::OnAddInsUpdate(const QVariantList &) {}

void AddInConnect::MenuHandler_Click()
{
    Show();
}

ICommandBarControl *AddInConnect::AddToAddInCommandBar(const QString &caption)
{
    if (!VBInstance)
        return nullptr;
    ICommandBar *bar = VBInstance->commandBar(QStringLiteral("Add-Ins"));
    if (!bar)
        return nullptr;
    ICommandBarControl *button = bar->addButton();
    if (button)
        button->setCaption(caption);
    return button;
}

QString AddInConnect::displayOnConnect()
{
    return userSettings()->value(QStringLiteral("Settings/DisplayOnConnect"), QStringLiteral("0")).toString();
}

void AddInConnect::setDisplayOnConnect(const QString &value)
{
    userSettings()->setValue(QStringLiteral("Settings/DisplayOnConnect"), value);
}
