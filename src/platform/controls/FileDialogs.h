#pragma once

#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QString>

class QFileDialog;
class QObject;
class QWidget;

namespace zentaro {

// Icons and type names of files by their names alone.
//
// Qt's own providers ask QMimeDatabase for the type of every file a QFileSystemModel lists,
// and QMimeDatabase opens a file to sniff its first bytes whenever its name does not settle
// the type (a database's -wal and -shm files, a name without an extension). POSIX record
// locks belong to the process and the file: closing any descriptor of a file drops every
// lock the process holds on it. A file dialog that lists the folder of the SQLite database
// would so silently release the locks of the suite's own connection, and another process
// could then checkpoint and delete the write-ahead log under it.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    NameOnlyIconProvider();
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;

private:
    QMimeDatabase m_mimes;
};

namespace filedialogs {

// The provider every file view of the suite uses; it lives as long as the application.
NameOnlyIconProvider *iconProvider();

// Makes a dialog safe to point at any folder: Qt's own widgets (a desktop's native dialog
// runs in this process and sniffs files too), icons by name only, no custom folder icons.
// Call guardQtDialogs() before constructing it, so that no native dialog is made at all.
void prepare(QFileDialog &dialog);

// Puts the name-only provider into every QFileSystemModel under `root`: the file-name
// completers of Qt's own dialogs (the print dialog's "print to file" box) make their own.
void guardFileModels(QObject *root);

// From now on no native dialog is made, and every window the application shows gets its
// file models guarded before they list anything (a model takes what it listed from the
// event loop, and a window is shown before its loop runs): Qt's print dialog, made inside
// QPrintPreviewDialog, is reached no other way. Calling it again does nothing more.
void guardQtDialogs();

// The name of a file to save, asked in the suite's file dialog; empty when the clerk cancels.
// `suggested` is the file name, or a path, the dialog starts with.
QString saveFileName(QWidget *parent, const QString &title, const QString &suggested, const QString &filter);

} // namespace filedialogs

} // namespace zentaro
