#include "panelabout.h"

#include "lumopanelids.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace LumoPanelLib {

namespace {

constexpr int VersionRevision = 0;

SysInfoHook &sysInfoHook()
{
    static SysInfoHook hook;
    return hook;
}

void showSysInfoMessage(QWidget *owner, const QString &text)
{
    QMessageBox::information(owner, libraryTitle(), text, QMessageBox::Ok);
}

} // namespace

void setSysInfoHook(SysInfoHook hook)
{
    sysInfoHook() = std::move(hook);
}

QString libraryTitle()
{
    return QString::fromLatin1(LumoPanelIds::LibraryName);
}

QString libraryVersionText()
{
    return QStringLiteral("Version %1.%2.%3")
        .arg(LumoPanelIds::LibVersionMajor)
        .arg(LumoPanelIds::LibVersionMinor)
        .arg(VersionRevision);
}

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LumoPanelLib::frmAbout"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    lblTitle->setFont(titleFont);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(
        tr("A panel that shows marked-up, wrapped and aligned text with frame and shadow."), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    Label1 = new QLabel(tr("Comes with the Vantrel debugger."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(tr("See the Vantrel help for how to get in touch."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    lblDisclaimer = new QLabel(
        tr("This component comes with Vantrel and may be used only together with it."), this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto *texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(lblDescription);
    texts->addWidget(Label1);
    texts->addWidget(Label2);
    texts->addStretch();
    texts->addWidget(lblDisclaimer);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(texts, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    Form_Load();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + libraryTitle());
    lblVersion->setText(libraryVersionText());
    lblTitle->setText(libraryTitle());
}

void frmAbout::StartSysInfo()
{
    const QString text = QStringLiteral("System Information Is Unavailable At This Time");
    if (sysInfoHook())
        sysInfoHook()(this, text);
    else
        showSysInfoMessage(this, text);
}

} // namespace LumoPanelLib
