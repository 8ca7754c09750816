#include "modfileopen.h"

#include "dialoghost.h"
#include "frmfileopen.h"
#include "imainwindow.h"
#include "mlink.h"
#include "msgbox.h"
#include "serverlocation.h"
#include "sources.h"

#include <QScopedValueRollback>

namespace {

frmFileOpen *g_openDialog = nullptr;
bool g_dialogRunning = false;   // the Open dialog is up: a second File Open does nothing

MLink *sessionLink()
{
    IMainWindow *window = mainWindow();
    return window ? window->link() : nullptr;
}

QString connectedHost()
{
    MLink *link = sessionLink();
    return link ? link->HostIP() : QString();
}

// The session current now; none without a main window.
LinkSession currentSession()
{
    MLink *link = sessionLink();
    return link ? LinkSession(*link) : LinkSession();
}

// Opens one item of the list; false when it did not open (reported already where the
// reason is ours, by the host's own messages where it is the server's).
bool openOne(Source &item)
{
    const ServerLocation location = ParseLocation(item.Path);
    if (!location.ok) {
        // A location we cannot read, whatever its fault, is one we do not know how to open.
        MsgBox(QStringLiteral("Don't know how to open\r") + item.Path + QLatin1Char('/') + item.Name,
               MsgBoxStyle::Critical);
        return false;
    }
    if (location.host != connectedHost()) {
        MsgBox(QStringLiteral("No connection exists to ") + location.host, MsgBoxStyle::Information);
        return false;
    }
    IDialogHost *host = dialogHost();
    if (!host)
        return false;
    QString displayName;
    bool opened = false;
    if (item.ReadOnly) {
        opened = host->ShowRoutine(item.Name, location.ns, item.TypeOfSource, displayName);
    } else {
        bool wasReadOnly = false;
        opened = host->EditRoutine(item.Name, location.ns, wasReadOnly, item.TypeOfSource, displayName);
        item.ReadOnly = wasReadOnly;
    }
    if (opened)
        item.setDisplayName(displayName);
    return opened;
}

} // namespace

namespace modFileOpen {

void setOpenDialog(frmFileOpen *dialog)
{
    g_openDialog = dialog;
}

frmFileOpen *openDialog()
{
    return g_openDialog;
}

bool FileOpen()
{
    if (g_dialogRunning)
        return false;
    Sources chosen;
    bool readOnly = false;
    // The dialog and its questions run event loops: items chosen from a server whose
    // session ended meanwhile are not looked for on the next one.
    const LinkSession asked = currentSession();
    if (g_openDialog) {
        const QScopedValueRollback<bool> running(g_dialogRunning, true);
        g_openDialog->DoIt(chosen, readOnly);
    }
    if (asked.lapsed())
        return true;
    OpenSources(&chosen);
    return true;
}

void OpenSources(Sources *items)
{
    if (!items)
        return;
    // Opening an item may ask the user (a routine already open for editing, a server's
    // offer to read a locked one): the rest of the list belongs to the session it was
    // asked in, not to one that came under the box.
    const LinkSession asked = currentSession();
    int i = 1;
    while (i <= items->Count()) {
        if (asked.lapsed()) {
            while (items->Count() >= i)
                items->Remove(i);
            break;
        }
        const SourcePtr item = items->Item(i);
        if (item && openOne(*item))
            ++i;
        else
            items->Remove(i);
    }
    if (items->Count() > 0 && g_openDialog)
        g_openDialog->AddToRecent(*items);
}

} // namespace modFileOpen
