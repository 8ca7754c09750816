#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class ICommonDialogBackend;

// The common dialogs run from a set of properties: the caller sets them, calls a show
// operation and reads the results back. Tools → Font runs the font dialog this way:
//
//   CommonDialog dialog;
//   dialog.flags = 65;
//   dialog.FontName = "Courier New";
//   dialog.FontSize = 10;
//   dialog.ShowFont();
//   if (dialog.APIReturn() == 1)           // 0 cancelled; any other value failed,
//       use(dialog.FontName, dialog.FontSize);   // ExtendedError() says why
//
// Every show operation first clears APIReturn and ExtendedError. A confirmed dialog
// (1) writes its results into the properties; a failed one (any other non-zero
// result) sets ExtendedError and leaves them alone; a cancelled one (0) does nothing
// unless CancelError is set, when the operation throws VantrelError: 0x8004037E
// "Cancel Pressed" from ShowColor, 2001 with no text from the others. Any other
// failure inside an operation ends it quietly.
//
// The dialogs themselves are a backend: Qt's dialogs in the program, a scripted one
// in tests. Qt's font dialog offers no character set; it keeps the one it was given.
class CommonDialog
{
public:
    static constexpr quint32 CancelPressedColor = 0x8004037Eu;
    static constexpr quint32 CancelPressed = 2001;

    // A font in and out of the dialog.
    struct Font
    {
        QString name;
        int size = 0;          // points
        int charset = 0;
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strikethru = false;
    };

    // An open or save dialog's request; the backend writes the chosen path into fileName.
    struct FileRequest
    {
        bool save = false;
        QWidget *owner = nullptr;
        QStringList nameFilters;   // Qt's "description (pattern pattern)" form
        QString selectedFilter;    // the one FilterIndex names; empty for none
        QString fileName;          // in: the start name; out: the chosen path
        QString initDir;
        QString title;
        QString defaultExt;
        int flags = 0;
    };

    // A print dialog's request: page range, its limits and the copies, in and out.
    struct PrintRequest
    {
        QWidget *owner = nullptr;
        int flags = 0;
        int fromPage = 0;
        int toPage = 0;
        int min = 0;
        int max = 0;
        int copies = 0;
    };

    // Null restores Qt's dialogs.
    static void setBackend(std::shared_ptr<ICommonDialogBackend> backend);
    // "Text|*.txt|All|*.*" → {"Text (*.txt)", "All (*.*)"}; the patterns of one entry,
    // separated by ";", become Qt's space-separated list. A description without a
    // pattern gets "*".
    static QStringList qtNameFilters(const QString &filter);

    bool CancelError = false;
    int flags = 0;
    QPointer<QWidget> owner;   // the owner window of the dialogs; may be null

    quint32 Color = 0;         // 0x00BBGGRR

    QString FontName;
    int FontSize = 0;
    int FontCharset = 0;
    bool FontBold = false;
    bool FontItalic = false;
    bool FontUnderline = false;
    bool FontStrikethru = false;

    QString FileName;          // passed as it is, never padded or cut
    QString FileTitle;         // FileName without its folder, after a confirmed dialog
    QString Filter;
    int FilterIndex = 0;       // 1-based; 0 or out of range selects the first filter
    QString DefaultExt;
    QString DialogTitle;
    QString InitDir;
    int MaxFileSize = 0;       // below 1 means 255

    int FromPage = 0;
    int ToPage = 0;
    int Min = 0;
    int Max = 0;
    int Copies = 0;
    bool PrinterDefault = false;

    QString HelpFile;
    int HelpCommand = 0;
    QString HelpKey;
    QString HelpContext;

    // 3 colour, 4 font, 5 print, 6 help; the file dialogs leave it; 0 before any ran.
    int Action() const { return m_action; }
    // The last dialog's result (1 confirmed, 0 cancelled).
    int APIReturn() const { return m_apiReturn; }
    // The failure code of the last dialog; 0 unless it failed.
    int ExtendedError() const { return m_extendedError; }
    // The file name size in force: MaxFileSize, or 255 below 1. Names are not cut to it.
    int effectiveMaxFileSize() const { return MaxFileSize < 1 ? 255 : MaxFileSize; }

    void ShowColor();
    void ShowFont();
    void ShowOpen();
    void ShowSave();
    void ShowPrinter();
    void ShowHelp();

private:
    void showFile(bool save);
    // The cancel rule: throws when CancelError is set.
    void cancelled(quint32 number, const QString &text) const;
    // Resets the results, sets Action (0 leaves it), runs the dialog (which reads its
    // choice back on 1 and returns the result) and applies the cancel rule.
    void runOperation(int action, const std::function<int(int &error)> &operation, quint32 cancelNumber,
                      const QString &cancelText);

    int m_action = 0;
    int m_apiReturn = 0;
    int m_extendedError = 0;
};

// The dialogs behind CommonDialog. Each runs one dialog and returns its result: 1 when
// the user confirmed (the in-and-out values then hold the choice), 0 when cancelled,
// any other value a failure with its code in extendedError.
class ICommonDialogBackend
{
public:
    virtual ~ICommonDialogBackend() = default;
    // customColors: the sixteen custom colours the dialog starts with (0x00BBGGRR).
    virtual int chooseColor(QWidget *owner, quint32 &color, const QList<quint32> &customColors, int flags,
                            int &extendedError) = 0;
    virtual int chooseFont(QWidget *owner, CommonDialog::Font &font, int flags, int &extendedError) = 0;
    virtual int chooseFile(CommonDialog::FileRequest &request, int &extendedError) = 0;
    virtual int print(CommonDialog::PrintRequest &request, int &extendedError) = 0;
    // Shows the contents of the help file; returns non-zero when the request was handed on.
    virtual int help(QWidget *owner, const QString &helpFile, int command) = 0;
};
