#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace CacheObject {

// The title may carry option flags after a '+' ("Select Server+%up"); only the
// text before them is shown.
static QString captionOf(const QString &title)
{
    const int plus = title.lastIndexOf(QLatin1String("+%"));
    const QString caption = plus >= 0 ? title.left(plus) : title;
    return caption.isEmpty() ? QStringLiteral("Connect to Server") : caption;
}

// A dialog as narrow as its field leaves the window manager too little room for the
// title ("Select C... Server"). The title bar takes a bold face of about the dialog's
// font beside an icon and three buttons, each about as wide as the bar is high.
static int titleRoom(const QWidget &dialog)
{
    QFont bold = dialog.font();
    bold.setBold(true);
    const QStyle *style = dialog.style();
    const int bar = std::max(style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dialog),
                             QFontMetrics(bold).height() + 8);
    return QFontMetrics(bold).horizontalAdvance(dialog.windowTitle()) + 5 * bar;
}

QString showConnectDialog(const QString &title)
{
    // A program without widgets (a console client) has nobody to ask.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return QString();

    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(captionOf(title));
    auto *layout = new QVBoxLayout(&dialog);
    auto *label = new QLabel(QStringLiteral("&Server (host:port[:namespace]):"), &dialog);
    auto *edit = new QLineEdit(&dialog);
    label->setBuddy(edit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.setMinimumWidth(titleRoom(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return edit->text().trimmed();
}

} // namespace CacheObject
