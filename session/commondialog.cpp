#include "commondialog.h"

#include <QApplication>
#include <QFontDialog>

namespace {

class QtFontBackend : public CommonDialog::FontBackend
{
public:
    int run(CommonDialog::Font &font, int, int &) override
    {
        QFont start(font.name);
        if (font.size > 0)
            start.setPointSize(font.size);
        start.setBold(font.bold);
        start.setItalic(font.italic);
        start.setUnderline(font.underline);
        start.setStrikeOut(font.strikethru);
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, start, QApplication::activeWindow());
        if (!ok)
            return 0;
        font.name = chosen.family();
        font.size = qRound(chosen.pointSizeF());
        font.bold = chosen.weight() >= QFont::Bold;
        font.italic = chosen.italic();
        font.underline = chosen.underline();
        font.strikethru = chosen.strikeOut();
        return 1;
    }
};

std::shared_ptr<CommonDialog::FontBackend> &fontBackend()
{
    static std::shared_ptr<CommonDialog::FontBackend> backend;
    return backend;
}

} // namespace

void CommonDialog::setFontBackend(std::shared_ptr<FontBackend> backend)
{
    fontBackend() = std::move(backend);
}

void CommonDialog::ShowFont()
{
    m_apiReturn = 0;
    m_extendedError = 0;
    m_action = 4;
    Font font{FontName, FontSize, FontCharset, FontBold, FontItalic, FontUnderline, FontStrikethru};
    QtFontBackend qtDialog;
    FontBackend &backend = fontBackend() ? *fontBackend() : static_cast<FontBackend &>(qtDialog);
    int error = 0;
    m_apiReturn = backend.run(font, flags, error);
    if (m_apiReturn == 1) {
        FontName = font.name;
        FontSize = font.size;
        FontCharset = font.charset;
        FontBold = font.bold;
        FontItalic = font.italic;
        FontUnderline = font.underline;
        FontStrikethru = font.strikethru;
    } else if (m_apiReturn != 0) {
        m_extendedError = error;
    }
}
