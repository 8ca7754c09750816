#pragma once

#include <QString>

#include <memory>

// The common dialogs run from a set of properties: the caller sets them, calls a show
// operation and reads the results back. For now only the font dialog, which Tools → Font
// runs for the code font:
//
//   CommonDialog dialog;
//   dialog.flags = 65;
//   dialog.FontName = "Courier New";
//   dialog.FontSize = 10;
//   dialog.ShowFont();
//   if (dialog.APIReturn() == 1)           // 0 cancelled; any other value failed,
//       use(dialog.FontName, dialog.FontSize);   // ExtendedError() says why
//
// The dialog itself is a backend: Qt's font dialog in the program, a scripted one in
// tests. Qt's dialog offers no character set; it keeps the one it was given.
class CommonDialog
{
public:
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

    class FontBackend
    {
    public:
        virtual ~FontBackend() = default;
        // Runs the dialog starting from `font` and returns the dialog's result: 1 when
        // the user chose (font then holds the choice), 0 when cancelled, any other value
        // a failure with its code in extendedError.
        virtual int run(Font &font, int flags, int &extendedError) = 0;
    };

    // Null restores Qt's font dialog.
    static void setFontBackend(std::shared_ptr<FontBackend> backend);

    int flags = 0;
    QString FontName;
    int FontSize = 0;
    int FontCharset = 0;
    bool FontBold = false;
    bool FontItalic = false;
    bool FontUnderline = false;
    bool FontStrikethru = false;

    // 4 after ShowFont; 0 before any dialog ran.
    int Action() const { return m_action; }
    // The last dialog's result (1 confirmed, 0 cancelled).
    int APIReturn() const { return m_apiReturn; }
    // The failure code of the last dialog; 0 unless it failed.
    int ExtendedError() const { return m_extendedError; }

    // A failed or cancelled dialog leaves the font properties as they were.
    void ShowFont();

private:
    int m_action = 0;
    int m_apiReturn = 0;
    int m_extendedError = 0;
};
