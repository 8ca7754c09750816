#include "frmimmediate.h"
#include "sourceview.h"

#include <gtest/gtest.h>

TEST(frmImmediate, ReportCollectsTextAsGivenAndStaysReadOnly)
{
    frmImmediate pane;
    IReportPane &report = pane;
    SourceDocument *doc = pane.Report()->Document();
    EXPECT_TRUE(doc->ReadOnly());

    // Callers bring their own line ends; pieces join with nothing in between.
    report.AppendReport("Compiling ABC.INT\r\n");
    report.AppendReport("ERROR #5475");
    report.AppendReport(": line 3\r\n");
    EXPECT_EQ(doc->Text(), QString("Compiling ABC.INT\r\nERROR #5475: line 3\r\n"));
    EXPECT_TRUE(doc->ReadOnly());
    EXPECT_FALSE(doc->Modified());

    report.ClearReport();
    EXPECT_EQ(doc->Text(), QString());
    EXPECT_TRUE(doc->ReadOnly());
    report.AppendReport("again");
    EXPECT_EQ(doc->Text(), QString("again"));
}
