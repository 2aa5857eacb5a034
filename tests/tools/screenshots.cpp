// Pictures of the shell as a clerk sees it, for looking at a change of the screens with
// one's own eyes: the shell at a given size with QX417 open, its header, notes and totals
// pages, a stored invoice after printing (the status bar) and the message boxes that come
// up on the way, drawn by the shell's own presenter.
//
//   zentaro_screenshots DATABASE_URL FOLDER WIDTHxHEIGHT...

#include "platform/controls/CatalogBrowser.h"
#include "platform/controls/ScriptableControl.h"
#include "platform/controls/Toolbar.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/host/GuiPresenter.h"
#include "platform/host/ModuleLoader.h"
#include "platform/host/SafeApplication.h"
#include "platform/host/ShellWindow.h"
#include "platform/services/Platform.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace zentaro;

namespace {

// The shell's presenter, with each message box photographed and closed as it comes up.
class PhotographingPresenter : public GuiPresenter
{
public:
    QString nextName;

    int present(const Message &message, QWidget *owner) override
    {
        const QString name = nextName;
        QTimer::singleShot(300, [name] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                if (!name.isEmpty())
                    box->grab().save(name);
                box->close();
            }
        });
        return GuiPresenter::present(message, owner);
    }
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

ScriptableControl &control(QWidget *screen, const char *name)
{
    auto *widget = screen->findChild<QWidget *>(QString::fromLatin1(name));
    auto *scriptable = dynamic_cast<ScriptableControl *>(widget);
    if (!scriptable)
        throw Error(QStringLiteral("no existe el control %1").arg(QString::fromLatin1(name)));
    return *scriptable;
}

} // namespace

int main(int argc, char **argv)
{
    SafeApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "uso: zentaro_screenshots BASE CARPETA ANCHOxALTO...\n");
        return 2;
    }
    try {
        const QDir folder(QString::fromLocal8Bit(argv[2]));
        auto connection = Connection::open(ConnectionUrl::parse(QString::fromLocal8Bit(argv[1])));
        schema::verify(*connection);
        auto presenter = std::make_shared<PhotographingPresenter>();
        Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"), presenter));
        Platform::instance().fixClock(QDateTime(QDate(2026, 12, 6), QTime(10, 30)));
        for (int i = 3; i < argc; ++i) {
            const QString size = QString::fromLatin1(argv[i]);
            const int width = size.section(u'x', 0, 0).toInt(), height = size.section(u'x', 1, 1).toInt();
            const auto shot = [&](const char *what) { return folder.filePath(QStringLiteral("%1-%2.png").arg(QLatin1String(what), size)); };
            ShellWindow shell {ModuleLoader()};
            shell.setGeometry(0, 0, width, height);
            shell.show();
            shell.openModule(QStringLiteral("QX417"));
            settle();
            QWidget *screen = shell.findChild<QWidget *>(QStringLiteral("frmQX417"));
            auto *toolbar = screen->findChild<Toolbar *>(QStringLiteral("Controles"));

            toolbar->press(Toolbar::New);
            settle();
            shell.grab().save(shot("encabezado"));
            presenter->nextName = shot("mensaje-moneda");
            control(screen, "txt_Mn_Cve_Moneda").scriptType(QStringLiteral("ZZZ"));
            control(screen, "txt_Mn_Cve_Moneda").scriptEnter();
            settle();
            control(screen, "txt_Mn_Cve_Moneda").scriptType(QStringLiteral("MXN"));
            control(screen, "txt_Mn_Cve_Moneda").scriptEnter();
            control(screen, "txt_Cl_Cve_Cliente").scriptType(QStringLiteral("PUBLICO"));
            control(screen, "txt_Cl_Cve_Cliente").scriptEnter();
            control(screen, "txt_Comentario").scriptType(QStringLiteral("Ventas del día"));
            presenter->nextName = shot("mensaje-texto-largo");
            control(screen, "txt_Comentario").scriptType(QString(300, u'x'));
            settle();
            presenter->nextName = shot("mensaje-aceptar");
            toolbar->press(Toolbar::Accept);
            settle();
            shell.grab().save(shot("encabezado-lleno"));
            toolbar->press(Toolbar::Option1);
            settle();
            shell.grab().save(shot("notas"));
            control(screen, "chkMarcarN").scriptClick({});
            settle();
            shell.grab().save(shot("notas-marcadas"));
            control(screen, "ssTabVek").scriptClick(QStringLiteral("2"));
            settle();
            shell.grab().save(shot("totales"));
            toolbar->press(Toolbar::Cancel);
            settle();
            {
                // The F2 list of the folio box, as the clerk opens it.
                const auto invoices = CatalogLookup::catalogFor(QStringLiteral("FACTURA"));
                CatalogBrowser browser(*invoices,
                                       CatalogBrowser::rows(QStringLiteral("FACTURA"), {}),
                                       &shell);
                browser.show();
                settle();
                browser.grab().save(shot("facturas-f2"));
            }
            control(screen, "txtFolio").scriptType(QStringLiteral("FG-000001"));
            control(screen, "txtFolio").scriptEnter();
            presenter->nextName.clear();
            toolbar->press(Toolbar::Output);
            settle();
            shell.grab().save(shot("impresa"));
            toolbar->press(Toolbar::Cancel);
            settle();
        }
        Platform::uninstall();
    } catch (const Error &error) {
        std::fprintf(stderr, "zentaro_screenshots: %s\n", error.description().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
