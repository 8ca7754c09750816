#include "commondialog.h"

#include "ihelphost.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QPrintDialog>
#include <QPrinter>

#include <cmath>
#include <exception>

namespace {

// The flag bits the Qt dialogs can honour; every other bit is ignored.
constexpr int CfFixedPitchOnly = 0x4000;
constexpr int CfScalableOnly = 0x20000;
constexpr int OfnOverwritePrompt = 0x2;
constexpr int OfnFileMustExist = 0x1000;

QColor fromColorRef(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

quint32 toColorRef(const QColor &color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

// The page values go to the dialog as 16-bit numbers; out-of-range ones are held at
// the nearest end instead of wrapping round.
int word(int value)
{
    return qBound(0, value, 0xFFFF);
}

class QtDialogs : public ICommonDialogBackend
{
public:
    int chooseColor(QWidget *owner, quint32 &color, const QList<quint32> &customColors, int, int &) override
    {
        for (int i = 0; i < customColors.size() && i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, fromColorRef(customColors.at(i)));
        const QColor chosen = QColorDialog::getColor(fromColorRef(color), owner);
        if (!chosen.isValid())
            return 0;
        color = toColorRef(chosen);
        return 1;
    }

    int chooseFont(QWidget *owner, CommonDialog::Font &font, int flags, int &) override
    {
        QFont start(font.name);
        if (font.size > 0)
            start.setPointSize(font.size);
        start.setBold(font.bold);
        start.setItalic(font.italic);
        start.setUnderline(font.underline);
        start.setStrikeOut(font.strikethru);
        // A name this machine only knows as a substitute ("Courier New" drawn as another
        // monospaced family) is not in the dialog's list, which would then open on its
        // first entry and hand that back on OK. The dialog opens on the family drawn.
        // The style too: one the family does not list by that name ("Regular" where it
        // says "Book") would leave the dialog on its first style, often "Bold".
        const QString requested = font.name;
        const QFontInfo info(start);
        const QString drawn = info.family();
        start.setFamily(drawn);
        start.setStyleName(info.styleName());
        QFontDialog::FontDialogOptions options;
        if (flags & CfFixedPitchOnly)
            options |= QFontDialog::MonospacedFonts;
        if (flags & CfScalableOnly)
            options |= QFontDialog::ScalableFonts;
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, start, owner ? owner : QApplication::activeWindow(),
                                                  QString(), options);
        if (!ok)
            return 0;
        // Unchanged, the name stays as it was asked for, so OK alone changes nothing.
        font.name = chosen.family() == drawn ? requested : chosen.family();
        font.size = int(std::nearbyint(chosen.pointSizeF()));
        font.bold = chosen.weight() >= QFont::Bold;
        font.italic = chosen.italic();
        font.underline = chosen.underline();
        font.strikethru = chosen.strikeOut();
        return 1;
    }

    int chooseFile(CommonDialog::FileRequest &request, int &) override
    {
        QFileDialog dialog(request.owner, request.title, request.initDir);
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (!request.save)
            dialog.setFileMode(request.flags & OfnFileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (request.save && !(request.flags & OfnOverwritePrompt))
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!request.nameFilters.isEmpty())
            dialog.setNameFilters(request.nameFilters);
        if (!request.selectedFilter.isEmpty())
            dialog.selectNameFilter(request.selectedFilter);
        if (!request.defaultExt.isEmpty())
            dialog.setDefaultSuffix(request.defaultExt);
        if (!request.fileName.isEmpty())
            dialog.selectFile(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return 0;
        request.fileName = dialog.selectedFiles().constFirst();
        return 1;
    }

    int print(CommonDialog::PrintRequest &request, int &) override
    {
        QPrinter printer;
        printer.setFromTo(request.fromPage, request.toPage);
        printer.setCopyCount(qMax(1, request.copies));
        QPrintDialog dialog(&printer, request.owner);
        dialog.setMinMax(request.min, request.max);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
        request.fromPage = printer.fromPage();
        request.toPage = printer.toPage();
        request.min = dialog.minPage();
        request.max = dialog.maxPage();
        request.copies = printer.copyCount();
        return 1;
    }

    int help(QWidget *owner, const QString &helpFile, int) override
    {
        // Whatever was asked, the contents of the file: there is no help engine with
        // keyword or context look-ups behind the pages.
        helpHost().htmlHelp(owner, helpFile, IHelpHost::DisplayToc);
        return 1;
    }
};

std::shared_ptr<ICommonDialogBackend> &registeredBackend()
{
    static std::shared_ptr<ICommonDialogBackend> backend;
    return backend;
}

ICommonDialogBackend &backend()
{
    static QtDialogs qtDialogs;
    if (const auto &registered = registeredBackend())
        return *registered;
    return qtDialogs;
}

} // namespace

void CommonDialog::setBackend(std::shared_ptr<ICommonDialogBackend> backend)
{
    registeredBackend() = std::move(backend);
}

QStringList CommonDialog::qtNameFilters(const QString &filter)
{
    QStringList result;
    if (filter.isEmpty())
        return result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i < parts.size(); i += 2) {
        QString patterns = i + 1 < parts.size() ? parts.at(i + 1).trimmed() : QString();
        QStringList list = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : list)
            pattern = pattern.trimmed();
        if (list.isEmpty())
            list << QStringLiteral("*");
        result << parts.at(i) + QStringLiteral(" (") + list.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

void CommonDialog::cancelled(quint32 number, const QString &text) const
{
    if (CancelError)
        throw VantrelError(number, text);
}

void CommonDialog::runOperation(int action, const std::function<int(int &error)> &operation, quint32 cancelNumber,
                                const QString &cancelText)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    if (action != 0)
        m_action = action;
    try {
        int error = 0;
        m_apiReturn = operation(error);
        if (m_apiReturn != 0 && m_apiReturn != 1)
            m_extendedError = error;
    } catch (const std::exception &) {
        // Anything else that goes wrong inside ends the operation quietly, as a
        // failed dialog would, so a caller's property reads stay valid.
        return;
    }
    if (m_apiReturn == 0)
        cancelled(cancelNumber, cancelText);
}

void CommonDialog::ShowColor()
{
    runOperation(3, [this](int &error) {
        quint32 color = Color;
        const QList<quint32> custom(16, 0xFFFFFFu);
        const int result = backend().chooseColor(owner, color, custom, flags, error);
        if (result == 1)
            Color = color;
        return result;
    }, CancelPressedColor, QStringLiteral("Cancel Pressed"));
}

void CommonDialog::ShowFont()
{
    runOperation(4, [this](int &error) {
        Font font{FontName, FontSize, FontCharset, FontBold, FontItalic, FontUnderline, FontStrikethru};
        const int result = backend().chooseFont(owner, font, flags, error);
        if (result == 1) {
            FontName = font.name;
            FontSize = font.size;
            FontCharset = font.charset;
            FontBold = font.bold;
            FontItalic = font.italic;
            FontUnderline = font.underline;
            FontStrikethru = font.strikethru;
        }
        return result;
    }, CancelPressed, QString());
}

void CommonDialog::ShowOpen()
{
    showFile(false);
}

void CommonDialog::ShowSave()
{
    showFile(true);
}

void CommonDialog::showFile(bool save)
{
    // The file dialogs leave Action as it was.
    runOperation(0, [this, save](int &error) {
        FileRequest request;
        request.save = save;
        request.owner = owner;
        request.nameFilters = qtNameFilters(Filter);
        if (!request.nameFilters.isEmpty()) {
            const int index = FilterIndex >= 1 && FilterIndex <= request.nameFilters.size() ? FilterIndex : 1;
            request.selectedFilter = request.nameFilters.at(index - 1);
        }
        // The name goes to the dialog as it is: a name longer than the buffer size the
        // caller set is still the name the caller meant.
        request.fileName = FileName;
        request.initDir = InitDir;
        request.title = DialogTitle;
        request.defaultExt = DefaultExt;
        request.flags = flags;
        const int result = backend().chooseFile(request, error);
        if (result == 1) {
            FileName = request.fileName;
            FileTitle = QFileInfo(request.fileName).fileName();
        }
        return result;
    }, CancelPressed, QString());
}

void CommonDialog::ShowPrinter()
{
    runOperation(5, [this](int &error) {
        PrintRequest request;
        request.owner = owner;
        request.flags = flags;
        request.fromPage = word(FromPage);
        request.toPage = word(ToPage);
        request.min = word(Min);
        request.max = word(Max);
        request.copies = word(Copies);
        const int result = backend().print(request, error);
        if (result == 1) {
            FromPage = request.fromPage;
            ToPage = request.toPage;
            Min = request.min;
            Max = request.max;
            Copies = request.copies;
        }
        return result;
    }, CancelPressed, QString());
}

void CommonDialog::ShowHelp()
{
    m_apiReturn = 0;
    m_extendedError = 0;
    m_action = 6;
    try {
        m_apiReturn = backend().help(owner, HelpFile, HelpCommand);
    } catch (const std::exception &) {
        return;
    }
}
