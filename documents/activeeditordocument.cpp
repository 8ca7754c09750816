#include "activeeditordocument.h"

#include "sourcedocument.h"

#include <QPointer>

namespace {
QPointer<SourceDocument> g_activeDocument;
}

SourceDocument *activeEditorDocument()
{
    return g_activeDocument.data();
}

void setActiveEditorDocument(SourceDocument *document)
{
    g_activeDocument = document;
}

void releaseActiveEditorDocument(SourceDocument *document)
{
    if (g_activeDocument == document)
        g_activeDocument = nullptr;
}
