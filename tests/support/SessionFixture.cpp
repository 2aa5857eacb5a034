#include "support/SessionFixture.h"

namespace zentaro::test {

void SessionTest::SetUp()
{
    DatabaseTest::SetUp();
    if (HasFatalFailure())
        return;
    presenter = std::make_shared<RecordingPresenter>();
    Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"), presenter));
    seed();
}

void SessionTest::TearDown()
{
    Platform::uninstall();
    DatabaseTest::TearDown();
}

} // namespace zentaro::test
