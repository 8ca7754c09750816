// Grabs a shown SourceView with a fake lexer and a fake drawing callback and
// reads the pixels: token colours, margin marks on the right rows, wrapped rows,
// per-row colours, and annotations drawn over the text.
#include "isourcedraw.h"
#include "isourcelex.h"
#include "sourceview.h"

#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

const QColor kTokenBack(255, 255, 0);
const QColor kMarginMark(0, 0, 255);
const QColor kWrapMark(0, 200, 0);
const QColor kRowBack(0, 255, 255);

// Every line: columns 0-3 are class 5, the rest plain.
class FakeLexer : public ISourceLex
{
public:
    void BeginLineScan(SourceDocument *, int line, const QString &text, int) override
    {
        scanned.push_back(line);
        m_length = int(text.size());
        m_next = 0;
    }
    void ScanToken(SourceToken &token) override
    {
        if (m_next == 0 && m_length > 0)
            token = {5, 0, std::min(4, m_length), 0};
        else if (m_next == 1 && m_length > 4)
            token = {1, 0, m_length, 0};   // overlaps the first: colours only the rest
        else
            token = {0, m_length, 0, 0};
        ++m_next;
    }
    void EndLineScan(SourceDocument *, bool &scanNext) override { scanNext = false; }

    std::vector<int> scanned;

private:
    int m_length = 0;
    int m_next = 0;
};

class FakeDraw : public ISourceDraw
{
public:
    void PreDraw(SourceDrawRecord &) override { ++passes; }
    void PreDrawPage(SourceDrawRecord &) override {}
    void PreDrawLine(SourceDrawRecord &r) override
    {
        if (r.line == 2 && r.firstColumn == 0)
            r.painter->fillRect(QRect(2, r.top + 2, 6, r.height - 4), kMarginMark);
        if (r.firstColumn > 0)
            r.painter->fillRect(QRect(10, r.top + 2, 4, r.height - 4), kWrapMark);
        if (r.line == 4) {
            r.colourFlag = true;
            r.backColour = kRowBack;
        }
    }
    void PostDrawPage(SourceDrawRecord &) override {}
    void PostDraw(SourceDrawRecord &r) override
    {
        // An annotation over the text of line 1, column 6.
        annotationLeft = r.textLeft;
        r.painter->fillRect(QRect(annotationX, annotationY, 3, 3), Qt::black);
    }

    int passes = 0;
    int annotationLeft = -1;
    int annotationX = 0;
    int annotationY = 0;
};

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 8 && std::abs(a.green() - b.green()) < 8
           && std::abs(a.blue() - b.blue()) < 8;
}

} // namespace

TEST(SourceViewPaint, TokensMarginMarksAndWrappedRowsReachThePixels)
{
    SourceView view;
    view.resize(420, 300);
    FakeLexer lexer;
    FakeDraw draw;
    view.Settings()->SetBackColor(5, kTokenBack);
    view.Document()->SetLex(&lexer);
    view.setDrawCallback(&draw);
    const QString longLine = QString("wrapped ") + QString(120, QLatin1Char('w'));
    view.Document()->InsertImpl(0, 0,
                                "zero\r\none two three\r\ntwo\r\nthree\r\nfour\r\n" + longLine
                                    + "\r\nsix");
    view.ModifyViewOptions(SourceView::kWrap, 0);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();

    const int cw = view.CharWidth();
    const int ch = view.CharHeight();
    int x = 0, y = 0;
    view.DocToDevice(6, 1, x, y);
    draw.annotationX = x;
    draw.annotationY = y + ch / 2;
    view.viewport()->update();
    QCoreApplication::processEvents();
    const QImage image = view.grab().toImage();
    ASSERT_FALSE(image.isNull());

    // Colouring was pulled before painting, for the lines on screen.
    EXPECT_FALSE(lexer.scanned.empty());
    EXPECT_GE(draw.passes, 2);   // the margin and the text each ran a pass

    // The class-5 token's back colour fills columns 0-3, not column 5.
    view.DocToDevice(1, 3, x, y);
    EXPECT_TRUE(near(image.pixelColor(x + cw / 2, y + ch / 2), kTokenBack));
    view.DocToDevice(4, 1, x, y);
    EXPECT_FALSE(near(image.pixelColor(x + cw / 2, y + 1), kTokenBack));

    // The margin mark stands on line 2's row and on no other.
    view.DocToDevice(0, 2, x, y);
    EXPECT_TRUE(near(image.pixelColor(4, y + ch / 2), kMarginMark));
    view.DocToDevice(0, 1, x, y);
    EXPECT_FALSE(near(image.pixelColor(4, y + ch / 2), kMarginMark));

    // The long line wraps: its second row carries the wrap mark, its first does not.
    view.DocToDevice(0, 5, x, y);
    EXPECT_FALSE(near(image.pixelColor(11, y + ch / 2), kWrapMark));
    EXPECT_TRUE(near(image.pixelColor(11, y + ch + ch / 2), kWrapMark));
    int sixX = 0, sixY = 0;
    view.DocToDevice(0, 6, sixX, sixY);
    EXPECT_GE(sixY, y + 2 * ch);
    // A point on the second row maps to a column of that row.
    int column = -1, line = -1;
    view.DeviceToDoc(view.MarginWidth() * cw + cw / 2, y + ch + 1, column, line);
    EXPECT_EQ(line, 5);
    const QTextLine secondRow = view.document()->findBlockByNumber(5).layout()->lineAt(1);
    EXPECT_EQ(column, secondRow.textStart());
    int rowX = 0, rowY = 0;
    view.DocToDevice(column, 5, rowX, rowY);
    EXPECT_EQ(rowY, y + ch);

    // A row the callback coloured has its back colour across the text area.
    view.DocToDevice(10, 4, x, y);
    EXPECT_TRUE(near(image.pixelColor(x + cw / 2, y + ch / 2), kRowBack));

    // The annotation was drawn after the text, in device coordinates.
    EXPECT_EQ(draw.annotationLeft, view.MarginWidth() * cw);
    EXPECT_TRUE(near(image.pixelColor(draw.annotationX + 1, draw.annotationY + 1), Qt::black));

    view.Document()->SetLex(nullptr);
}

namespace {

// A lexer like the M lexer: it turns a label's blank into a TAB while it scans,
// and asks for the next line after line 250.
class EditingLexer : public ISourceLex
{
public:
    explicit EditingLexer(SourceView &view) : m_view(view) {}
    void BeginLineScan(SourceDocument *doc, int line, const QString &text, int) override
    {
        scanned.push_back(line);
        if (m_view.viewport()->paintingActive())
            ++scannedWhilePainting;
        m_line = line;
        if (text.size() > 4 && text.at(4) == QLatin1Char(' '))
            doc->ReplaceChar(4, line, QLatin1Char('\t'));
    }
    void ScanToken(SourceToken &token) override { token = {0, 0, 0, 0}; }
    void EndLineScan(SourceDocument *, bool &scanNext) override { scanNext = m_line == 250; }

    std::vector<int> scanned;
    int scannedWhilePainting = 0;

private:
    SourceView &m_view;
    int m_line = -1;
};

} // namespace

TEST(SourceViewPaint, ColoursOnlyLinesAboutToBeShownAndLetsTheLexerEdit)
{
    SourceView view;
    view.resize(400, 200);
    EditingLexer lexer(view);
    view.Document()->SetLex(&lexer);
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("L%1 Q").arg(i, 3, 10, QLatin1Char('0'));
    view.Document()->InsertImpl(0, 0, lines.join(QLatin1String("\r\n")));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();
    view.grab();

    ASSERT_FALSE(lexer.scanned.empty());
    EXPECT_EQ(lexer.scannedWhilePainting, 0);
    const int last = view.LastVisibleLine();
    EXPECT_LT(last, 50);
    EXPECT_LE(*std::max_element(lexer.scanned.begin(), lexer.scanned.end()), last);
    EXPECT_EQ(view.Document()->GetLine(0), "L000\tQ");
    EXPECT_EQ(view.Document()->GetLine(last + 1), QStringLiteral("L%1 Q").arg(last + 1, 3, 10, QLatin1Char('0')));
    EXPECT_FALSE(view.Document()->Modified());   // the lexer's edit is low-level

    // UpdateLines scans at once, on through the lines the lexer asks for.
    lexer.scanned.clear();
    int end = -1;
    view.Document()->UpdateLines(249, 250, end);
    EXPECT_EQ(end, 251);
    EXPECT_EQ(lexer.scanned, (std::vector<int>{249, 250, 251}));

    // UpdateViews marks a line for colouring again before the next paint.
    lexer.scanned.clear();
    view.Document()->UpdateViews(2, 1, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(lexer.scanned, (std::vector<int>{1}));
    view.Document()->SetLex(nullptr);
}
