#include "frmattach.h"

frmAttach::frmAttach(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAttach"));
    setWindowTitle(tr("Attach"));
    tmrStatus.setInterval(1000);
}
