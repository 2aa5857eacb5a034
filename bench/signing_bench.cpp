// Times signing one global invoice of many lines as "FirmaDocumento" does it: the invoice
// read from the database, its cadena original, the seal, the XML, the sandbox PAC's stamp
// and the stamped XML stored. The invoice is made the real way first (the screen's Accept on
// SQLite); the session is then reopened and the memory peak reset, so the peak printed is
// the signing's own on top of what the process holds anyway.
//
//   signing_bench [lines]      (default 10000)

#include "ScreenAccept.h"

#include "platform/components/stamping/DocumentSigner.h"

#include <QApplication>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>

using namespace zentaro;

namespace {

// The kernel's high-water mark starts again from the current resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        std::fprintf(stderr, "signing_bench: no se pudo reiniciar el pico de memoria\n");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    qputenv("ZENTARO_OUTPUT_DIR", dir.path().toLocal8Bit());
    const ConnectionUrl url = bench::benchDatabase(QStringLiteral("sqlite"), dir);
    int status = 0;
    try {
        // A host that does not sign: Accept stops after its commit.
        HostObject host(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
        bench::ScreenAcceptOptions options;
        options.notes = lines;
        bench::acceptOnScreen(url, host, options);
        QString folio = Platform::instance()
                            .connection()
                            .select(QStringLiteral("SELECT max(Fc_Folio) FROM Factura WHERE Fc_Serie = 'FG'"))
                            .textAt(0);
        Platform::uninstall();
        malloc_trim(0);

        Platform::install(std::make_unique<Platform>(Connection::open(url), QStringLiteral("ADMIN"),
                                                     std::make_shared<bench::StderrPresenter>()));
        Platform::instance().fixClock(QDateTime(options.today, QTime(10, 5)));
        DocumentSigner::configuredPac(); // the sandbox makes its own certificate once per process
        const long before = bench::statusKb("VmRSS");
        resetPeak();
        QElapsedTimer timer;
        const double cpuStart = bench::threadCpuMs();
        timer.start();
        const QString refused = DocumentSigner().signInvoice(folio);
        const double ms = timer.nsecsElapsed() / 1e6;
        const double cpu = bench::threadCpuMs() - cpuStart;
        const long peak = bench::statusKb("VmHWM");
        if (!refused.isEmpty())
            throw Error(refused);
        const qint64 xmlBytes = Platform::instance()
                                    .connection()
                                    .select(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Documento = ?"),
                                            {folio})
                                    .textAt(0)
                                    .toUtf8()
                                    .size();
        std::printf("signing %s, %d lines (read, cadena, seal, XML, sandbox stamp, stored): %.0f ms (processor %.0f ms), "
                    "XML %.1f KB\n",
                    qPrintable(folio), lines, ms, cpu, xmlBytes / 1024.0);
        std::printf("memory: peak resident while signing %.1f MB (%.1f MB before signing)\n", peak / 1024.0,
                    before / 1024.0);
    } catch (const Error &error) {
        std::fprintf(stderr, "signing_bench: %s\n", error.what());
        status = 1;
    }
    Platform::uninstall();
    return status;
}
