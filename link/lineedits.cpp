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

} // namespace LineEdits
