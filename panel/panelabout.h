#pragma once

#include "lumopanel_global.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

// The panel library's own About box. It lives in the library's namespace so that it
// never meets the program's own frmAbout.
namespace LumoPanelLib {

// Shows the System Info message: (owner, text). The default shows an information
// QMessageBox with only OK; tests install a recorder. An empty function restores the
// default.
using SysInfoHook = std::function<void(QWidget *owner, const QString &text)>;
LUMOPANEL_EXPORT void setSysInfoHook(SysInfoHook hook);

// "LumoPanelControl", the library's title.
LUMOPANEL_EXPORT QString libraryTitle();
// "Version " + major "." minor "." revision of the library.
LUMOPANEL_EXPORT QString libraryVersionText();

class LUMOPANEL_EXPORT frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;

    // No registry on this system: the message that System Information cannot start.
    void StartSysInfo();

private:
    void Form_Load();
};

} // namespace LumoPanelLib
