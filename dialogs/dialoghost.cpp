#include "dialoghost.h"

#include <QDialog>

namespace {
IDialogHost *g_host = nullptr;
ModalRunner g_runner;
} // namespace

IDialogHost *dialogHost()
{
    return g_host;
}

void setDialogHost(IDialogHost *host)
{
    g_host = host;
}

int runModal(QDialog *dialog)
{
    if (g_runner)
        return g_runner(dialog);
    return dialog->exec();
}

void setModalRunner(ModalRunner runner)
{
    g_runner = std::move(runner);
}
