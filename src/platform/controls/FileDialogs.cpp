#include "platform/controls/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIcon>

namespace zentaro {

NameOnlyIconProvider::NameOnlyIconProvider()
{
    // Custom folder icons come from a file inside each folder.
    setOptions(DontUseCustomDirectoryIcons);
}

// Never Qt's icon(QFileInfo): it asks the icon theme by a sniffed MIME type, then the
// platform theme, which on a desktop asks GIO, which reads the file too.
QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    if (info.isDir())
        return icon(Folder);
    const QMimeType mime = m_mimes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    QIcon themed = QIcon::fromTheme(mime.iconName());
    if (themed.isNull())
        themed = QIcon::fromTheme(mime.genericIconName());
    return themed.isNull() ? icon(File) : themed;
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isRoot())
        return QStringLiteral("Unidad");
    if (info.isDir())
        return QStringLiteral("Carpeta");
    // The description comes in the language of the session's locale.
    const QMimeType mime = m_mimes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

namespace filedialogs {

namespace {

class WindowGuard : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            guardFileModels(watched);
        return false;
    }
};

} // namespace

NameOnlyIconProvider *iconProvider()
{
    // Never destroyed: models of dialogs still being torn down may ask it at exit.
    static auto *provider = new NameOnlyIconProvider;
    return provider;
}

void prepare(QFileDialog &dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    // Before the event loop runs: the model has only queued the listing of its first folder.
    dialog.setIconProvider(iconProvider());
    guardFileModels(&dialog);
    guardQtDialogs();
}

void guardFileModels(QObject *root)
{
    for (QFileSystemModel *model : root->findChildren<QFileSystemModel *>())
        if (model->iconProvider() != iconProvider())
            model->setIconProvider(iconProvider());
}

void guardQtDialogs()
{
    // A desktop's native file dialog (GTK's) is made, and set to its first folder, as soon
    // as a QFileDialog is constructed: it lists that folder through GIO even if the Qt
    // widgets replace it before it is shown. Never made, it lists nothing.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    static QObject *guard = nullptr;
    if (guard || !qApp)
        return;
    guard = new WindowGuard(qApp);
    qApp->installEventFilter(guard);
}

QString saveFileName(QWidget *parent, const QString &title, const QString &suggested, const QString &filter)
{
    guardQtDialogs();
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setObjectName(QStringLiteral("GuardarArchivo"));
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

} // namespace filedialogs

} // namespace zentaro
