#include "commandicons.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace {

struct Image
{
    const char *name;     // the command's image key
    const char *theme;    // a freedesktop/Breeze icon name, or nullptr for our own picture
};

const Image images[] = {
    {"DbgConnect", "network-connect"},
    {"DbgAttach", nullptr},
    {"DbgDisconnect", "network-disconnect"},
    {"DbgGoFast", nullptr},
    {"DbgGo", "debug-run"},
    {"DbgBreak", "media-playback-pause"},
    {"DbgStepIn", "debug-step-into"},
    {"DbgStepOver", "debug-step-over"},
    {"DbgStepOut", "debug-step-out"},
    {"DbgRunTo", "debug-execute-to-cursor"},
    {"DbgToggle", nullptr},
    {"DbgLinewise", nullptr},
    {"DbgBonE", nullptr},
    {"BmkToggle", "bookmark-new"},
    {"BmkFirst", nullptr},
    {"BmkPrevious", nullptr},
    {"BmkNext", nullptr},
    {"BmkLast", nullptr},
    {"BmkClearAll", "bookmark-remove"},
    {"EdUndo", "edit-undo"},
    {"EdRedo", "edit-redo"},
    {"EdCut", "edit-cut"},
    {"EdCopy", "edit-copy"},
    {"EdPaste", "edit-paste"},
    {"EdDelete", "edit-delete"},
    {"EdFind", "edit-find"},
    {"EdFindNext", "go-down-search"},
    {"EdReplace", "edit-find-replace"},
    {"VwStack", "dialog-layers"},
    {"VwImmediate", "utilities-terminal"},
    {"VwVars", "code-variable"},
    {"VwBPs", nullptr},
    {"FlNew", "document-new"},
    {"FlOpen", "document-open"},
    {"FlSave", "document-save"},
    {"FlSaveAll", "document-save-all"},
    {"FlPrint", "document-print"},
    {"BlkCollapse", nullptr},
    {"BlkExpand", nullptr},
    {"BlkCollapseAll", nullptr},
    {"BlkExpandAll", nullptr},
};

const Image *find(const QString &image)
{
    for (const Image &known : images) {
        if (image == QLatin1String(known.name))
            return &known;
    }
    return nullptr;
}

QString ownPicture(const QString &image)
{
    return QStringLiteral(":/commands/") + image + QStringLiteral(".svg");
}

// Everything but the disabled state comes from the picture as it is; the disabled one is
// the normal picture without colour and mostly see-through.
class FadingIconEngine : public QIconEngine
{
public:
    explicit FadingIconEngine(const QIcon &base) : m_base(base) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap p = scaledPixmap(rect.size(), mode, state, ratio);
        painter->drawPixmap(rect, p);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        if (mode != QIcon::Disabled)
            return m_base.pixmap(size, scale, mode, state);
        return faded(m_base.pixmap(size, scale, QIcon::Normal, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_base.actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_base.availableSizes(mode == QIcon::Disabled ? QIcon::Normal : mode, state);
    }

    QString iconName() override { return m_base.name(); }
    QString key() const override { return QStringLiteral("FadingIconEngine"); }
    bool isNull() override { return m_base.isNull(); }
    QIconEngine *clone() const override { return new FadingIconEngine(m_base); }

private:
    static QPixmap faded(const QPixmap &normal)
    {
        QImage image = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = line[x];
                const int grey = 96 + qGray(c) / 2;
                line[x] = qRgba(grey, grey, grey, qAlpha(c) * 35 / 100);
            }
        }
        QPixmap result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(normal.devicePixelRatio());
        return result;
    }

    QIcon m_base;
};

} // namespace

QString CommandIcons::programTheme()
{
    return QStringLiteral("breeze");
}

void CommandIcons::prepareTheme()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    // Our pictures live in a static library; its resources must be registered by hand.
    Q_INIT_RESOURCE(commandicons);

    // Without a desktop platform (offscreen, a bare X server) Qt looks for themes in its
    // resources only; the installed themes are where the freedesktop rules put them.
    QStringList paths = QIcon::themeSearchPaths();
    QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (dataDirs.isEmpty())
        dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    for (const QString &dir : std::as_const(dataDirs)) {
        const QString icons = dir + QStringLiteral("/icons");
        if (!paths.contains(icons))
            paths.append(icons);
    }
    QIcon::setThemeSearchPaths(paths);

    // Decided before any lookup: the toolkit keeps every icon it has looked up by name,
    // bound to the theme of that moment. The desktop's own theme keeps its say for the
    // names it has; ours answers the rest, or everything when the desktop names none.
    const QString desktop = QIcon::themeName();
    if (desktop.isEmpty() || desktop == QLatin1String("hicolor"))
        QIcon::setThemeName(programTheme());
    else if (desktop != programTheme())
        QIcon::setFallbackThemeName(programTheme());
}

QString CommandIcons::source(const QString &image)
{
    const Image *known = find(image);
    if (!known)
        return QString();
    return known->theme ? QString::fromLatin1(known->theme) : ownPicture(image);
}

QIcon CommandIcons::icon(const QString &image)
{
    const Image *known = find(image);
    if (!known)
        return QIcon();
    prepareTheme();
    const QIcon base = known->theme ? QIcon::fromTheme(QString::fromLatin1(known->theme)) : QIcon(ownPicture(image));
    if (base.isNull())
        return QIcon();
    return QIcon(new FadingIconEngine(base));
}
