#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QTextCharFormat>

// Settings shared by every editor control that is given the same object: the
// colour table per token class and the document options.
class EditorSettings : public QObject
{
    Q_OBJECT
public:
    // DocOptions bits.
    static constexpr int kCollapsing = 0x10;

    struct TokenStyle
    {
        int style = 0;              // 1 = bold
        QColor foreColour;          // invalid: the view's text colour
        QColor backColour;          // invalid: the view's background
    };

    explicit EditorSettings(QObject *parent = nullptr);

    int DocOptions() const { return m_docOptions; }
    void SetDocOptions(int options);

    // Each setter takes an "apply" flag, as the colour table is built with.
    void SetStyle(int tokenClass, int style, bool apply = true);
    void SetForeColor(int tokenClass, const QColor &colour, bool apply = true);
    void SetBackColor(int tokenClass, const QColor &colour, bool apply = true);
    TokenStyle tokenStyle(int tokenClass) const { return m_table.value(tokenClass); }
    bool hasTokenStyle(int tokenClass) const { return m_table.contains(tokenClass); }
    QTextCharFormat formatFor(int tokenClass) const;

signals:
    void colourTableChanged();
    void docOptionsChanged(int options);

private:
    int m_docOptions = 0;
    QHash<int, TokenStyle> m_table;
};
