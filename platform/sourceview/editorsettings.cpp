#include "editorsettings.h"

#include <QFont>

EditorSettings::EditorSettings(QObject *parent) : QObject(parent) {}

void EditorSettings::SetDocOptions(int options)
{
    if (options == m_docOptions)
        return;
    m_docOptions = options;
    emit docOptionsChanged(options);
}

void EditorSettings::SetStyle(int tokenClass, int style, bool apply)
{
    m_table[tokenClass].style = style;
    if (apply)
        emit colourTableChanged();
}

void EditorSettings::SetForeColor(int tokenClass, const QColor &colour, bool apply)
{
    m_table[tokenClass].foreColour = colour;
    if (apply)
        emit colourTableChanged();
}

void EditorSettings::SetBackColor(int tokenClass, const QColor &colour, bool apply)
{
    m_table[tokenClass].backColour = colour;
    if (apply)
        emit colourTableChanged();
}

QTextCharFormat EditorSettings::formatFor(int tokenClass) const
{
    QTextCharFormat format;
    const auto it = m_table.constFind(tokenClass);
    if (it == m_table.constEnd())
        return format;
    if (it->style & 1)
        format.setFontWeight(QFont::Bold);
    if (it->foreColour.isValid())
        format.setForeground(it->foreColour);
    if (it->backColour.isValid())
        format.setBackground(it->backColour);
    return format;
}
