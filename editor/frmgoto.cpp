#include "frmgoto.h"

#include "frmcode.h"
#include "imainwindow.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPointer<frmGoto> g_instance;

} // namespace

frmGoto::frmGoto(QWidget *parent)
    : QDialog(parent)
    , m_chkSorted(new QCheckBox(QStringLiteral("&Sort list"), this))
    , m_cmdGoto(new QPushButton(QStringLiteral("Go"), this))
    , m_cmdClose(new QPushButton(QStringLiteral("Close"), this))
{
    setWindowTitle(QStringLiteral("Go to Line"));
    IMainWindow *main = mainWindow();
    if (auto *mainWidget = dynamic_cast<QWidget *>(main))
        setWindowIcon(mainWidget->windowIcon());

    auto *boxes = new QHBoxLayout;
    for (QComboBox *&box : m_cboLine) {
        box = new QComboBox(this);
        box->setEditable(true);
        // A reference typed here is a place to go to, not a new item; and the box does
        // not complete on its own.
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->setMinimumWidth(180);
        if (main)
            box->setFont(main->dialogFont());
        boxes->addWidget(box);
    }
    m_cboLine[1]->hide();

    m_cmdGoto->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_chkSorted);
    buttons->addStretch();
    buttons->addWidget(m_cmdGoto);
    buttons->addWidget(m_cmdClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(buttons);

    connect(m_chkSorted, &QCheckBox::clicked, this, &frmGoto::chkSorted_Click);
    connect(m_cmdGoto, &QPushButton::clicked, this, &frmGoto::cmdGoto_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

frmGoto *frmGoto::instance()
{
    if (!g_instance)
        g_instance = new frmGoto(dynamic_cast<QWidget *>(mainWindow()));
    return g_instance;
}

QComboBox *frmGoto::shownBox() const
{
    return m_cboLine[m_chkSorted->isChecked() ? 1 : 0];
}

void frmGoto::showEvent(QShowEvent *event)
{
    QStringList labels;
    if (auto routine = Routine::from(frmCode::routineCollection().Active())) {
        if (routine->lexer()) {
            for (const auto &entry : routine->Labels().entries())
                labels << entry.first;
        }
    }
    QStringList sorted = labels;
    // As a sorted list box orders them: case aside, and equal ones in routine order.
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    m_cboLine[0]->addItems(labels);
    m_cboLine[1]->addItems(sorted);
    for (QComboBox *box : m_cboLine) {
        // The first item added became the box's text; the box starts empty.
        box->setCurrentIndex(-1);
        box->clearEditText();
    }
    chkSorted_Click();
    QDialog::showEvent(event);
}

void frmGoto::hideEvent(QHideEvent *event)
{
    for (QComboBox *box : m_cboLine)
        box->clear();
    QDialog::hideEvent(event);
}

void frmGoto::chkSorted_Click()
{
    QComboBox *shown = shownBox();
    for (QComboBox *box : m_cboLine)
        box->setVisible(box == shown);
    shown->setFocus(Qt::OtherFocusReason);
}

void frmGoto::cmdGoto_Click()
{
    QComboBox *box = shownBox();
    auto routine = Routine::from(frmCode::routineCollection().Active());
    bool reached = false;
    try {
        reached = routine && routine->GotoLine(box->currentText(), 1, -1);
    } catch (const std::exception &e) {
        qWarning("frmGoto: %s", e.what());
    }
    if (reached) {
        accept();
        return;
    }
    frmCode::Beep();
    if (QLineEdit *line = box->lineEdit())
        line->selectAll();
    box->setFocus(Qt::OtherFocusReason);
}
