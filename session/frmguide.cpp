#include "frmguide.h"

#include "dialoghost.h"
#include "modhtmlhelp.h"
#include "programsettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPointer<frmGuide> &currentGuide()
{
    static QPointer<frmGuide> guide;
    return guide;
}

} // namespace

const QList<frmGuide::Topic> &frmGuide::topics()
{
    static const QList<Topic> list = {
        {"btnInteractive", QStringLiteral("Debugging an &Interactive Character-mode Application"),
         QStringLiteral("interactive.htm")},
        {"btnCSP", QStringLiteral("Debugging a &Caché Server Pages Application"), QStringLiteral("csp.htm")},
        {"btnEditing", QStringLiteral("&Editing"), QStringLiteral("editing.htm")},
        {"btnWebLink", QStringLiteral("Debugging a &WebLink Application"), QStringLiteral("weblink.htm")},
        {"btnObjects", QStringLiteral("Debugging a Caché &Objects Application"), QStringLiteral("objects.htm")},
        {"btnLoad", QStringLiteral("&Loading the Server-side Components"), QStringLiteral("loading_routines.htm")},
    };
    return list;
}

frmGuide *frmGuide::current()
{
    return currentGuide().data();
}

void frmGuide::showModal(QWidget *owner)
{
    QPointer<frmGuide> guide = new frmGuide(owner);
    guide->setModal(true);
    runModal(guide);
    // The owner may have gone while the guide was up, and the guide with it.
    delete guide.data();
}

void frmGuide::unloadCurrent()
{
    if (frmGuide *guide = current())
        guide->reject();
}

frmGuide::frmGuide(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmGuide"));
    setWindowTitle(QStringLiteral("Task Guide"));
    if (owner)
        setWindowIcon(owner->windowIcon());
    m_lblTitle = new QLabel(QStringLiteral("What task would you like help with?"), this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont heading = m_lblTitle->font();
    heading.setBold(true);
    m_lblTitle->setFont(heading);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTitle);
    for (const Topic &topic : topics()) {
        auto *button = new QPushButton(topic.caption, this);
        button->setObjectName(QLatin1String(topic.name));
        button->setAutoDefault(false);
        const QString page = topic.page;
        connect(button, &QPushButton::clicked, this, [this, page] { showTopic(page); });
        layout->addWidget(button);
        m_buttons.append(button);
    }
    auto *none = new QPushButton(QStringLiteral("&No help required"), this);
    none->setObjectName(QStringLiteral("btnNone"));
    none->setAutoDefault(false);
    connect(none, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(none);
    m_buttons.append(none);

    m_chkStartup = new QCheckBox(QStringLiteral("&Show this guide at startup"), this);
    m_chkStartup->setObjectName(QStringLiteral("chkStartup"));
    m_chkStartup->setChecked(programSettings().ShowGuideAtStartup);
    layout->addSpacing(8);
    layout->addWidget(m_chkStartup);

    currentGuide() = this;
}

frmGuide::~frmGuide()
{
    if (currentGuide() == this)
        currentGuide() = nullptr;
}

QPushButton *frmGuide::button(const QString &name) const
{
    for (QPushButton *button : m_buttons) {
        if (button->objectName() == name)
            return button;
    }
    return nullptr;
}

void frmGuide::done(int result)
{
    // Every way out comes here: a topic, "No help required", Esc and the close box
    // (both reject), and unloadCurrent.
    programSettings().ShowGuideAtStartup = m_chkStartup->isChecked();
    if (currentGuide() == this)
        currentGuide() = nullptr;
    QDialog::done(result);
}

void frmGuide::showTopic(const QString &page)
{
    modHTMLHelp::ShowHelpTopic(1, QStringLiteral("Main"), page);
    accept();
}
