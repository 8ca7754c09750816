#include "lineedits.h"

#include "routine.h"
#include "sourcelex.h"

namespace LineEdits {

void textInserted(Routine *routine, SourceLex &lex, int c1, int l1, int c2, int l2)
{
    if (l2 <= l1) {
        lex.FlushCache(l1, l1);
        return;
    }
    if (c1 == 0) {
        if (routine)
            routine->OnLinesInserted(l1 + 1, l2);
        lex.OnLinesInserted(l1, l2 - 1);
        if (c2 > 0)
            lex.FlushCache(l2, l2);
        if (routine)
            routine->AfterLinesInserted(l1 + 1, l2);
    } else {
        lex.FlushCache(l1, l1);
        if (routine)
            routine->OnLinesInserted(l1 + 2, l2 + 1);
        lex.OnLinesInserted(l1 + 1, l2);
        if (routine)
            routine->AfterLinesInserted(l1 + 2, l2 + 1);
    }
}

void textDeleted(Routine *routine, SourceLex &lex, int c1, int l1, int c2, int l2)
{
    int from, to;
    if (c1 != 0) {
        from = l1 + 1;
        to = l2;
        lex.FlushCache(l1, l1);
    } else {
        from = l1;
        to = l2 - 1;
        if (c2 >= 1)
            lex.FlushCache(l2, l2);
    }
    if (to < from)
        return;
    if (routine)
        routine->OnLinesDeleted(from + 1, to + 1);
    lex.OnLinesDeleted(from, to);
    if (routine)
        routine->AfterLinesDeleted(from + 1, to + 1);
}

bool hasCommand(const QString &lineText)
{
    const int tab = lineText.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return false;
    QString rest = lineText.mid(tab + 1);
    rest.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('.'));
    return !rest.isEmpty() && !rest.startsWith(QLatin1Char(';')) && !rest.startsWith(QLatin1String("//"));
}

} // namespace LineEdits
