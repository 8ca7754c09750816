#include "sourceview.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray inflate(const QByteArray &data)
{
    QByteArray out;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return out;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    char buffer[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof(buffer);
        result = ::inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, int(sizeof(buffer) - stream.avail_out));
    }
    inflateEnd(&stream);
    return out;
}

// Every stream of the file, inflated where it is compressed.
QByteArray allStreams(const QByteArray &pdf)
{
    QByteArray out;
    qsizetype from = 0;
    while ((from = pdf.indexOf("stream", from)) >= 0) {
        qsizetype start = from + 6;
        if (pdf.mid(start, 2) == "\r\n")
            start += 2;
        else if (pdf.at(start) == '\n')
            start += 1;
        else {
            from = start;
            continue;
        }
        const qsizetype end = pdf.indexOf("endstream", start);
        if (end < 0)
            break;
        const QByteArray raw = pdf.mid(start, end - start);
        const QByteArray inflated = inflate(raw);
        out += inflated.isEmpty() ? raw : inflated;
        from = end + 9;
    }
    return out;
}

} // namespace

TEST(SourceViewPrint, PrintsTheTextToAPdfFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("routine.pdf");
    SourceView view;
    view.Document()->InsertImpl(0, 0, "QJKV\r\n\tWRITE \"hello\"\r\n\tQUIT");
    view.Document()->SetPathName("TEST.int from USER");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    ASSERT_TRUE(view.PrintText(&printer));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    ASSERT_GT(pdf.size(), 500);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // The fonts' character maps name every character printed: the marker
    // word's letters must all be there.
    const QByteArray streams = allStreams(pdf);
    EXPECT_FALSE(streams.contains("<005A>"));
    for (char c : QByteArray("QJKV")) {
        const QByteArray code = QByteArray::number(int(c), 16).rightJustified(4, '0').toUpper();
        EXPECT_TRUE(streams.contains("<" + code + ">")) << c;
    }
}
