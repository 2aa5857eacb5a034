#pragma once

#include "support/SessionFixture.h"

#include "platform/db/DemoData.h"
#include "platform/host/ElectronicDocuments.h"
#include "platform/host/HostObject.h"
#include "qx417/screen/frmQX417.h"

#include <memory>

namespace qx417::test {

// The screen on the demo company (today fixed on 2026-12-06), for user ADMIN unless a test
// signs in another user before opening it.
class ScreenTest : public zentaro::test::SessionTest
{
protected:
    static QDate today() { return {2026, 12, 6}; }

    void SetUp() override
    {
        SessionTest::SetUp();
        if (HasFatalFailure())
            return;
        zentaro::demo::fill(db(), {417, today(), 0});
        zentaro::Platform::instance().fixClock(QDateTime(today(), QTime(10, 30)));
    }
    void TearDown() override
    {
        screen.reset();
        host.reset();
        SessionTest::TearDown();
    }

    // Creates, hosts and shows the screen: load and activate run.
    frmQX417 &open()
    {
        host = std::make_unique<zentaro::HostObject>(QStringLiteral("QX417"), QStringLiteral("VENTAS"));
        zentaro::installElectronicDocuments(*host);
        screen = std::make_unique<frmQX417>();
        screen->setPadre(host.get());
        screen->resize(1280, 760);
        screen->show();
        screen->activateScreen();
        return *screen;
    }
    QStringList messageIds() const
    {
        QStringList ids;
        for (const auto &message : presenter->messages)
            ids << message.id;
        return ids;
    }

    std::unique_ptr<zentaro::HostObject> host;
    std::unique_ptr<frmQX417> screen;
};

} // namespace qx417::test
