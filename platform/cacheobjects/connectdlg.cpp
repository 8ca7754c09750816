#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace CacheObject {

// The title may carry option flags after a '+' ("Select Server+%up"); only the
// text before them is shown.
static QString captionOf(const QString &title)
{
    const int plus = title.lastIndexOf(QLatin1String("+%"));
    const QString caption = plus >= 0 ? title.left(plus) : title;
    return caption.isEmpty() ? QStringLiteral("Connect to Server") : caption;
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
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return edit->text().trimmed();
}

} // namespace CacheObject
