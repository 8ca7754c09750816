#pragma once

#include "docservices.h"
#include "paneform.h"

class QTabWidget;
class SourceView;

// The immediate pane: the execute view IO, where command lines typed by the developer
// run in the suspended process and their output comes back, and the read-only report
// view, which collects the server's reports and the parse errors of routine documents.
// It has no grid, so no column settings.
class frmImmediate : public PaneForm, public IReportPane
{
    Q_OBJECT
public:
    explicit frmImmediate(QWidget *parent = nullptr);

    SourceView *IO() const { return m_io; }
    SourceView *Report() const { return m_report; }
    QTabWidget *TabStrip1() const { return m_tabs; }

    // The execute view's background tells whether commands can be typed.
    void setIOBackground(const QColor &colour);
    QColor ioBackground() const;

    // IReportPane
    void ClearReport() override;
    // Appends the text as it is; callers bring their own line ends.
    void AppendReport(const QString &text) override;
    // Brings the report forward at its start, with the focus when the program's setting
    // says a report should take it.
    void ShowReport();

private:
    QTabWidget *m_tabs;      // tab "X" shows IO, tab "R" shows Report
    SourceView *m_io;
    SourceView *m_report;
};
