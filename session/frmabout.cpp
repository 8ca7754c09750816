#include "frmabout.h"

#include "addin.h"
#include "frmmdi.h"
#include "lumopanel.h"
#include "msgbox.h"
#include "programsettings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Vantrel"));
    if (frmMDI *window = AddIn::gfrmMDI())
        setWindowIcon(window->windowIcon());

    auto *title = new QLabel(QStringLiteral("Vantrel"), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title->setFont(big);
    m_lblVersion = new QLabel(versionText(VANTREL_VERSION_MAJOR, VANTREL_VERSION_MINOR, VANTREL_VERSION_REVISION,
                                          programSettings().isWine),
                              this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));

    m_notice = new LumoPanel(this);
    // The panel sizes itself to the notice, wrapping no wider than the box should grow;
    // the layout then keeps exactly that size, so no empty band opens below the text.
    m_notice->setAutoResize(true);
    m_notice->setMaxWidth(NoticeMaxWidthPixels * 15);
    m_notice->setObjectName(QStringLiteral("lblNotice"));
    fitNotice();

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdSysInfo->setAutoDefault(false);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    buttons->addStretch();
    auto *text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(m_lblVersion);
    text->addSpacing(8);
    text->addWidget(m_notice);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(text, 1);
    layout->addLayout(buttons);
    // As large as its contents and no larger: a box of fixed text has nothing to grow into.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::fitNotice()
{
    // Free to size itself, the panel measures the notice as it will draw it; the layout
    // then holds it at that size.
    m_notice->setMinimumSize(0, 0);
    m_notice->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_notice->setCaption(noticeText());
    // Never less than the notice's lines in the panel's font with its frame: the panel's
    // own measure can fall a few pixels short of the last line on some screens.
    const int lines = int(noticeText().count(QLatin1Char('\n'))) + 1;
    const int needed = lines * QFontMetrics(m_notice->Font()).lineSpacing() + 2 * NoticeFramePixels;
    m_notice->setFixedSize(m_notice->width(), std::max(m_notice->height(), needed));
}

void frmAbout::showEvent(QShowEvent *event)
{
    // On its screen the panel may measure its text otherwise than before (another
    // resolution): measured again, the notice is never cut.
    fitNotice();
    QDialog::showEvent(event);
}

QString frmAbout::versionText(int major, int minor, int revision, bool wine)
{
    QString text = QStringLiteral("Version %1.%2").arg(major).arg(minor);
    if (revision / 100 >= 1)
        text += QLatin1Char('.') + QString::number(revision / 100);
    if (wine)
        text += QStringLiteral(" (Wine)");
    return text;
}

QString frmAbout::noticeText()
{
    return QStringLiteral("Vantrel edits and debugs M routines on a remote M server.\n"
                          "Copyright \u00A9 Brindlecote. All rights reserved.\n"
                          "This program is protected by copyright law and international treaties.");
}

QString frmAbout::sysInfoUnavailableText()
{
    return QStringLiteral("System Information Is Unavailable At This Time");
}

void frmAbout::StartSysInfo()
{
    MsgBox(sysInfoUnavailableText(), MsgBoxStyle::Information);
}
