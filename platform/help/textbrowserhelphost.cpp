#include "textbrowserhelphost.h"

#include "helpwindow.h"

#include <QDir>
#include <QFileInfo>

#ifndef VANTREL_INSTALLED_HELP_DIR
#define VANTREL_INSTALLED_HELP_DIR "/usr/local/share/vantrel/help"
#endif

namespace {

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool isFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// The name both "" and "Main" go by: the Help menu's contents and the guide's topics
// land in the same window.
QString windowKey(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("Main") : name;
}

// Whether the topic names a file inside the folder. A topic comes from whoever asks
// for help, so "../" steps, an absolute path or a link in the folder that points out of
// it must not turn the help window into a viewer of any file on the machine.
bool staysInFolder(const QString &folder, const QString &topic)
{
    if (topic.startsWith(QLatin1Char('/')) || topic.contains(QLatin1Char('\\')))
        return false;
    const QString base = QDir::cleanPath(folder);
    const QString page = QDir::cleanPath(folder + topic);
    if (!page.startsWith(base + QLatin1Char('/')))
        return false;
    const QString realBase = QFileInfo(base).canonicalFilePath();
    const QString realPage = QFileInfo(page).canonicalFilePath();
    // A page that does not exist has no canonical path; it is refused later as missing.
    return realPage.isEmpty() || realPage.startsWith(realBase + QLatin1Char('/'));
}

// The page of a request in its folder of pages: the topic's file, or the contents.
// Empty for no folder, or for a topic that leaves the folder.
QUrl pageIn(const QString &folder, const TextBrowserHelpHost::Request &request, int command)
{
    if (folder.isEmpty())
        return QUrl();
    if (command == IHelpHost::DisplayTopic && !request.topic.isEmpty()) {
        if (!staysInFolder(folder, request.topic))
            return QUrl();
        return QUrl::fromLocalFile(QDir::cleanPath(folder + request.topic));
    }
    for (const char *name : {"index.htm", "toc.htm"}) {
        if (QFileInfo(folder + QLatin1String(name)).isFile())
            return QUrl::fromLocalFile(folder + QLatin1String(name));
    }
    return QUrl::fromLocalFile(folder + QStringLiteral("index.htm"));
}

} // namespace

TextBrowserHelpHost::TextBrowserHelpHost(const QString &folder) : m_folder(folder) {}

TextBrowserHelpHost::~TextBrowserHelpHost()
{
    for (const QPointer<HelpWindow> &window : std::as_const(m_windows))
        delete window.data();
}

TextBrowserHelpHost::Request TextBrowserHelpHost::parse(const QString &target)
{
    Request request;
    QString rest = target;
    const int gt = rest.lastIndexOf(QLatin1Char('>'));
    if (gt >= 0) {
        request.window = rest.mid(gt + 1);
        rest.truncate(gt);
    }
    const int topic = rest.indexOf(QLatin1String("::/"));
    if (topic >= 0) {
        request.topic = rest.mid(topic + 3);
        rest.truncate(topic);
    }
    request.file = rest;
    return request;
}

QString TextBrowserHelpHost::resolveFolder(const QString &file) const
{
    if (!m_folder.isEmpty())
        return isFolder(m_folder) ? withSlash(m_folder) : QString();
    if (isFolder(file))
        return withSlash(file);
    if (file.endsWith(QLatin1String(".chm"), Qt::CaseInsensitive)) {
        const QString pages = file.left(file.size() - 4) + QStringLiteral(".help/");
        if (isFolder(pages))
            return pages;
    }
    const QString installed = QStringLiteral(VANTREL_INSTALLED_HELP_DIR);
    if (isFolder(installed))
        return withSlash(installed);
    return QString();
}

QUrl TextBrowserHelpHost::pageFor(const QString &target, int command) const
{
    const Request request = parse(target);
    return pageIn(resolveFolder(request.file), request, command);
}

void TextBrowserHelpHost::htmlHelp(QWidget *, const QString &target, int command)
{
    const Request request = parse(target);
    QPointer<HelpWindow> &window = m_windows[windowKey(request.window)];
    if (!window) {
        // A top-level window of its own: the help stays up when the window that asked
        // for it closes, and is never modal.
        window = new HelpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    const QString folder = resolveFolder(request.file);
    window->setContents(pageIn(folder, request, DisplayToc));
    if (command == DisplayTopic && !request.topic.isEmpty()) {
        const QUrl page = pageIn(folder, request, DisplayTopic);
        if (page.isEmpty() && !folder.isEmpty())
            window->showRefused(request.topic);
        else
            window->showPage(page);
    } else {
        window->showContents();
    }
    window->showOnScreen();
}

HelpWindow *TextBrowserHelpHost::window(const QString &name) const
{
    return m_windows.value(windowKey(name)).data();
}
