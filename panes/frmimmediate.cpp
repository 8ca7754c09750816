#include "frmimmediate.h"

#include "imainwindow.h"
#include "sourceview.h"

#include <QTabWidget>
#include <QVBoxLayout>

frmImmediate::frmImmediate(QWidget *parent)
    : PaneForm(parent)
    , m_tabs(new QTabWidget(this))
    , m_io(new SourceView)
    , m_report(new SourceView)
{
    setObjectName(QStringLiteral("frmImmediate"));
    setWindowTitle(QStringLiteral("Immediate"));
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    m_io->setObjectName(QStringLiteral("IO"));
    m_report->setObjectName(QStringLiteral("Report"));

    // Slot 1 of the execute view's lines tells typed command lines from output.
    m_io->Document()->SetExtraData(2);
    m_io->Document()->SetPathName(QStringLiteral("Vantrel Immediate Execute Pane"));
    m_report->Document()->SetPathName(QStringLiteral("Vantrel Report Pane"));
    m_report->Document()->SetReadOnly(true);

    int tab = m_tabs->addTab(m_io, QStringLiteral("E&xecute"));
    m_tabs->setTabToolTip(tab, QStringLiteral("Xecute commands in the server process and view "
                                              "output. READs are not supported"));
    tab = m_tabs->addTab(m_report, QStringLiteral("&Report"));
    m_tabs->setTabToolTip(tab, QStringLiteral("View report text from server process, e.g. "
                                              "compilation errors"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
}

void frmImmediate::setIOBackground(const QColor &colour)
{
    m_io->SetBackColor(colour);
}

QColor frmImmediate::ioBackground() const
{
    return m_io->BackColor();
}

void frmImmediate::ClearReport()
{
    SourceDocument *doc = m_report->Document();
    doc->Initialize();
    doc->SetReadOnly(true);
}

void frmImmediate::AppendReport(const QString &text)
{
    // Loaded the way a document loads text: no undo step and no modified mark, which a
    // read-only report has no use for, and the document may stay read-only meanwhile.
    SourceDocument *doc = m_report->Document();
    const int lastLine = doc->NumLines() - 1;
    doc->InsertImpl(doc->GetLineLength(lastLine), lastLine, text);
}

void frmImmediate::ShowReport()
{
    ShowMe();
    IMainWindow *main = mainWindow();
    const bool takeFocus = !main || main->SwitchToReportOnSaveError();
    if (takeFocus)
        setFocus();
    m_tabs->setCurrentWidget(m_report);
    m_report->SetCaret(0, 0);
    if (takeFocus)
        m_report->setFocus();
}
