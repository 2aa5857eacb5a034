#include "ElectronicDocumentFixture.h"

#include "platform/components/printing/DocumentOutput.h"
#include "platform/components/records/DocumentRecord.h"
#include "platform/components/cancellation/SatCancellationRecord.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QTest>
#include <QTimer>

#include <functional>

#include <sys/stat.h>

namespace zentaro::test {

namespace {

// The files of a SQLite database that carry its locks.
QStringList databaseFiles(const QString &path)
{
    return {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")};
}

// This process's POSIX locks on the given files, as /proc/locks lists them (type and byte
// range, per file), sorted so that two readings compare.
QStringList ownLocks(const QStringList &files)
{
    QHash<QString, QString> names;   // inode -> file name
    for (const QString &file : files) {
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) == 0)
            names.insert(QString::number(st.st_ino), QFileInfo(file).fileName());
    }
    QFile proc(QStringLiteral("/proc/locks"));
    if (!proc.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/locks ilegible")};
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QStringList locks;
    for (const QByteArray &line : proc.readAll().split('\n')) {
        if (line.contains("->"))
            continue;   // a request waiting for a lock, not one held
        const QStringList f = QString::fromLatin1(line).simplified().split(u' ');
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 128 128"
        if (f.size() < 8 || f.at(1) != QLatin1String("POSIX") || f.at(4) != pid)
            continue;
        const QString inode = f.at(5).section(u':', 2);
        if (names.contains(inode))
            locks << QStringLiteral("%1 %2 %3-%4").arg(names.value(inode), f.at(3), f.at(6), f.at(7));
    }
    locks.sort();
    return locks;
}

std::string shown(const QStringList &locks) { return "[" + locks.join(QStringLiteral("; ")).toStdString() + "]"; }

// Sets `loaded` once `model` has listed `folder`: by then it has asked its icon provider
// about every file there (the model types the files it gets before it hears the listing ended).
void watchListing(QFileSystemModel *model, const QString &folder, bool &loaded)
{
    QObject::connect(model, &QFileSystemModel::directoryLoaded, model, [&loaded, folder](const QString &path) {
        if (QFileInfo(path) == QFileInfo(folder))
            loaded = true;
    });
}

// Drives the dialogs the code under test opens, one step each time the event loop runs,
// until a step says it is done; gives up (closing every dialog) after a minute.
class DialogDriver
{
public:
    using Step = std::function<bool(QWidget *modal)>;   // true: go to the next step

    explicit DialogDriver(QList<Step> steps) : m_steps(std::move(steps))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_clock.start();
        m_timer.start();
    }
    bool finished() const { return m_next >= m_steps.size(); }

private:
    void tick()
    {
        if (finished()) {
            m_timer.stop();
            return;
        }
        if (m_clock.elapsed() > 60000) {
            QWidget *modal = QApplication::activeModalWidget();
            ADD_FAILURE() << "los diálogos no llegaron al paso " << m_next << "; abierto: "
                          << (modal ? modal->metaObject()->className() : "nada") << " "
                          << (modal ? modal->windowTitle().toStdString() : std::string());
            m_timer.stop();
            while (QWidget *modal = QApplication::activeModalWidget())
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                else
                    break;
            return;
        }
        if (m_steps.at(m_next)(QApplication::activeModalWidget()))
            ++m_next;
    }

    QList<Step> m_steps;
    qsizetype m_next = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace

// A SQLite connection's locks are POSIX locks of the process: a file dialog that merely
// opens and closes the database's files while it lists their folder drops them all.
class FileDialogLocksTest : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        Platform::instance().setInteractive(true);
        if (GetParam() == Engine::Sqlite) {
            folder = QFileInfo(db().url().path).absolutePath();
            files = databaseFiles(db().url().path);
        } else {
            folder = otherFolder.path();
        }
        // A file of no known type beside the database: the dialog types it too.
        QFile neighbour(QDir(folder).filePath(QStringLiteral("vecino")));
        ASSERT_TRUE(neighbour.open(QIODevice::WriteOnly));
        neighbour.write("datos");
        home = QDir::currentPath();
    }
    void TearDown() override
    {
        QDir::setCurrent(home);
        ElectronicDocumentTest::TearDown();
    }
    QStringList locks() const { return GetParam() == Engine::Sqlite ? ownLocks(files) : QStringList(); }

    QString folder;
    QStringList files;
    QTemporaryDir otherFolder;
    QString home;
    int touched = 0;
};

TEST_P(FileDialogLocksTest, SaveDialogsListingTheDatabaseFolderKeepItsLocks)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    const QByteArray xml = satcancellation::find(db(), QStringLiteral("Factura"), QStringLiteral("FG-000001"))->xml;
    struct Case
    {
        const char *button;
        const char *file;      // saved there, in the output folder; nullptr: over the database itself
        bool startsInFolder;   // the dialog opens in the database's folder, or the clerk goes there
    };
    const Case cases[] = {{"Guardar XML", "guardada.xml", true},
                          {"Guardar PDF", "guardada.pdf", false},
                          {"Guardar XML", nullptr, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file ? c.file : "la base de datos");
        if (!c.file && GetParam() != Engine::Sqlite)
            continue;   // only SQLite keeps the database in a file the clerk can choose
        const QString target = c.file ? outputDir.filePath(QString::fromLatin1(c.file)) : db().url().path;
        QDir::setCurrent(c.startsInFolder ? folder : otherFolder.path());
        QStringList before;
        QStringList after;
        QString refusal;
        QFileDialog *dialog = nullptr;
        bool loaded = false;
        QList<DialogDriver::Step> steps {
            [&](QWidget *modal) {
                if (!modal || modal->objectName() != QLatin1String("DocumentRecord"))
                    return false;
                for (QAbstractButton *button : modal->findChildren<QAbstractButton *>())
                    if (button->text() == QLatin1String(c.button)) {
                        before = locks();
                        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
                        return true;
                    }
                ADD_FAILURE() << "no hay botón " << c.button;
                return false;
            },
            [&](QWidget *modal) {
                dialog = qobject_cast<QFileDialog *>(modal);
                if (!dialog)
                    return false;
                watchListing(dialog->findChild<QFileSystemModel *>(), folder, loaded);
                // A dialog remembers the last folder a dialog of the process went to.
                if (QFileInfo(dialog->directory().absolutePath()) != QFileInfo(folder))
                    dialog->setDirectory(folder);
                // It may have listed the folder already: a new file there makes it list the
                // folder again, as every change of the folder (a new -wal) does.
                QFile added(QDir(folder).filePath(QStringLiteral("nuevo-%1").arg(++touched)));
                EXPECT_TRUE(added.open(QIODevice::WriteOnly));
                return true;
            },
            [&](QWidget *) {
                if (!loaded)
                    return false;
                after = locks();
                // What the clerk types into the file-name box.
                auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                EXPECT_NE(name, nullptr);
                if (name)
                    name->setText(target);
                QMetaObject::invokeMethod(static_cast<QDialog *>(dialog), &QDialog::accept, Qt::QueuedConnection);
                return true;
            },
        };
        if (!c.file)
            steps << [&](QWidget *modal) {
                // The file dialog's own question: replace the file that exists?
                auto *question = qobject_cast<QMessageBox *>(modal);
                if (!question)
                    return false;
                QMetaObject::invokeMethod(question->button(QMessageBox::Yes), &QAbstractButton::click, Qt::QueuedConnection);
                return true;
            } << [&](QWidget *modal) {
                auto *warning = qobject_cast<QMessageBox *>(modal);
                if (!warning || warning->button(QMessageBox::Yes))
                    return false;
                refusal = warning->text();
                QMetaObject::invokeMethod(warning, &QDialog::accept, Qt::QueuedConnection);
                return true;
            };
        steps << [&](QWidget *modal) {
            if (!modal || modal->objectName() != QLatin1String("DocumentRecord"))
                return false;
            static_cast<QDialog *>(modal)->reject();
            return true;
        };
        DialogDriver driver(steps);
        DocumentRecord().Open(QStringLiteral("Factura"), QStringLiteral("Fc_Folio"), QStringLiteral("FG-000001"), {}, {},
                              {}, {});
        ASSERT_TRUE(driver.finished());
        if (GetParam() == Engine::Sqlite) {
            EXPECT_FALSE(before.isEmpty()) << "la conexión no tenía candados que vigilar";
        }
        EXPECT_EQ(shown(after), shown(before));
        EXPECT_EQ(shown(locks()), shown(before));
        if (!c.file) {
            // The database is read through its connection only: opening its file here would
            // drop the very locks this test watches.
            EXPECT_EQ(refusal, target + QStringLiteral(" es un archivo de la base de datos: elija otro nombre"));
            EXPECT_EQ(db().select(QStringLiteral("PRAGMA integrity_check")).textAt(0), QStringLiteral("ok"));
            EXPECT_EQ(db().select(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Folio = 'FG-000001'")).textAt(0),
                      QStringLiteral("1"));
            continue;
        }
        QFile saved(target);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        if (QByteArray(c.file).endsWith(".xml"))
            EXPECT_EQ(bytes, xml);
        else
            EXPECT_TRUE(bytes.startsWith("%PDF"));
    }
}

// The preview's print button opens Qt's own print dialog; its "print to file" box completes
// file names from a QFileSystemModel of its own.
TEST_P(FileDialogLocksTest, PrintDialogCompletingAPathInTheDatabaseFolderKeepsItsLocks)
{
    QStringList before;
    QStringList after;
    bool loaded = false;
    DialogDriver driver({
        [&](QWidget *modal) {
            if (!qobject_cast<QPrintPreviewDialog *>(modal))
                return false;
            const QString print = QCoreApplication::translate("QPrintPreviewDialog", "Print");
            for (QAction *action : modal->findChildren<QAction *>())
                if (action->text() == print) {
                    before = locks();
                    QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
                    return true;
                }
            ADD_FAILURE() << "la vista previa no tiene la acción de imprimir";
            return false;
        },
        [&](QWidget *modal) {
            if (!qobject_cast<QPrintDialog *>(modal))
                return false;
            for (QCompleter *completer : modal->findChildren<QCompleter *>())
                if (auto *model = qobject_cast<QFileSystemModel *>(completer->model())) {
                    watchListing(model, folder, loaded);
                    // What the clerk types into the file-name box.
                    if (auto *box = qobject_cast<QLineEdit *>(completer->widget())) {
                        box->setEnabled(true);
                        box->clear();
                        QTest::keyClicks(box, folder + QStringLiteral("/ve"));
                    }
                    // Past what the completer already fetched, the folder's whole listing.
                    model->fetchMore(model->index(folder));
                    return true;
                }
            ADD_FAILURE() << "el diálogo de impresión no completa nombres de archivo";
            return false;
        },
        [&](QWidget *modal) {
            if (!loaded)
                return false;
            after = locks();
            static_cast<QDialog *>(modal)->reject();
            return true;
        },
        [&](QWidget *modal) {
            auto *preview = qobject_cast<QPrintPreviewDialog *>(modal);
            if (!preview)
                return false;
            preview->reject();
            return true;
        },
    });
    DocumentOutput().Produce(QStringLiteral("PREVIEW"), QStringLiteral("FG-000001"), {}, 0, 0, {});
    ASSERT_TRUE(driver.finished());
    if (GetParam() == Engine::Sqlite) {
        EXPECT_FALSE(before.isEmpty()) << "la conexión no tenía candados que vigilar";
    }
    EXPECT_EQ(shown(after), shown(before));
}

ZENTARO_ON_BOTH_ENGINES(FileDialogLocksTest);

} // namespace zentaro::test
