#include "platform/core/Error.h"
#include "platform/core/LateBinding.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/host/HostObject.h"
#include "platform/host/ModuleLoader.h"
#include "platform/host/ScriptLexer.h"

#include <gtest/gtest.h>

#include <memory>

using namespace zentaro;

namespace {

ModuleLoader pluginFolder() { return ModuleLoader(qEnvironmentVariable("ZENTARO_PLUGIN_PATH")); }

TEST(ModuleHost, FindsTheModuleByItsMetadataAndRefusesBrokenOnes)
{
    const QList<ModuleInfo> modules = pluginFolder().modules();
    ASSERT_EQ(modules.size(), 1);
    EXPECT_EQ(modules[0].code, QStringLiteral("QX417"));
    EXPECT_EQ(modules[0].family, QStringLiteral("VENTAS"));
    EXPECT_EQ(modules[0].title, QStringLiteral("Facturación global SAT"));

    const ModuleLoader fixtures(qEnvironmentVariable("ZENTARO_FIXTURE_PLUGINS"));
    try {
        fixtures.load(QStringLiteral("QX999"));
        FAIL() << "a module of another interface version was loaded";
    } catch (const Error &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("versión 99"))) << error.what();
    }
    EXPECT_THROW(pluginFolder().load(QStringLiteral("QX000")), Error);
}

TEST(ModuleHost, HandsOutOneScreenAndReadsTheHostLateBound)
{
    ModuleInterface &module = pluginFolder().load(QStringLiteral("qx417"));
    std::unique_ptr<ModuleEntry> first(module.createEntry());
    std::unique_ptr<ModuleEntry> second(module.createEntry());
    EXPECT_EQ(first->Modulo(), QStringLiteral("VENTAS"));   // before any screen exists
    QWidget *screen = first->GetPantalla();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(second->GetPantalla(), screen);
    auto *hosted = dynamic_cast<HostedScreen *>(screen);
    ASSERT_NE(hosted, nullptr);

    hosted->setPadre(nullptr);
    EXPECT_THROW(hosted->Transaccion(), Error);   // no host object: the error reaches the caller

    QObject stranger;   // a host object without the member
    hosted->setPadre(&stranger);
    EXPECT_THROW(hosted->Transaccion(), Error);

    HostObject oldHost(QStringLiteral("VIEJA"), QStringLiteral("VENTAS"));
    HostObject host(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
    hosted->setPadre(&oldHost);
    hosted->setPadre(&host);
    EXPECT_EQ(hosted->Padre(), &host);
    EXPECT_EQ(latebound::get(screen, "Padre").value<QObject *>(), &host);
    EXPECT_EQ(hosted->Transaccion(), QStringLiteral("ZENTARO.QX417"));
    hosted->setPadre(nullptr);
}

TEST(ModuleHost, HostObjectNeverFakesASignature)
{
    HostObject host(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
    EXPECT_FALSE(latebound::call(&host, "FirmaDocumento", {QStringLiteral("demo|6|F1")}).toString().isEmpty());
    EXPECT_FALSE(latebound::call(&host, "ValidaDocumento", {QStringLiteral("1|F1")}).toBool());
    EXPECT_FALSE(latebound::get(&host, "sError").toString().isEmpty());
    host.setSigner([](const QString &) { return QString(); });
    EXPECT_TRUE(latebound::call(&host, "FirmaDocumento", {QStringLiteral("demo|6|F1")}).toString().isEmpty());
    EXPECT_THROW(latebound::call(&host, "NoExiste"), Error);
}

TEST(ModuleHost, HostObjectHandsOnTheCancellationDecision)
{
    HostObject host(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
    installElectronicDocuments(host);
    // A request without its "1|" is refused before any database is asked.
    EXPECT_FALSE(latebound::call(&host, "ValidaDocumento", {QStringLiteral("FG-000001")}).toBool());
    EXPECT_TRUE(host.sError().contains(QStringLiteral("1|folio"))) << host.sError().toStdString();
    EXPECT_EQ(host.sMensaje(), QString());
}

TEST(ScriptLexer, SplitsWordsQuotesAndComments)
{
    QString error;
    EXPECT_EQ(*splitScriptLine(QStringLiteral("type  txtFolio  FG-1   # comentario"), &error),
              (QStringList {QStringLiteral("type"), QStringLiteral("txtFolio"), QStringLiteral("FG-1")}));
    EXPECT_EQ(*splitScriptLine(QStringLiteral(R"(sql "SELECT 'a # b'" "x \"y\" \\ z\nw" "")"), &error),
              (QStringList {QStringLiteral("sql"), QStringLiteral("SELECT 'a # b'"), QStringLiteral("x \"y\" \\ z\nw"),
                            QString()}));
    EXPECT_TRUE(splitScriptLine(QStringLiteral("   # solo comentario"), &error)->isEmpty());
    EXPECT_FALSE(splitScriptLine(QStringLiteral("type txt \"sin cerrar"), &error).has_value());
}

} // namespace
