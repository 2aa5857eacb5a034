#pragma once

#include "support/TestDatabase.h"

#include "platform/services/Platform.h"

#include <QList>

namespace zentaro::test {

// Records what the suite shows instead of opening dialogs.
class RecordingPresenter : public MessagePresenter
{
public:
    int present(const Message &message, QWidget *) override
    {
        messages.append(message);
        return 1;
    }
    void reportError(const QString &text, const QString &where) override { errors.append({text, where}); }
    void reportOutput(const QString &path) override { outputs.append(path); }
    void reportMail(const QString &to, const QString &) override { mails.append(to); }

    QList<Message> messages;
    QList<QPair<QString, QString>> errors;
    QStringList outputs;
    QStringList mails;
};

// A database test with the suite's session installed on it for user ADMIN.
class SessionTest : public DatabaseTest
{
protected:
    void SetUp() override;
    void TearDown() override;
    // The fixture's own rows, put in once the session stands; never reached after a failed set-up.
    virtual void seed() {}
    // Runs one statement of the suite's own (test data).
    void exec(const QString &statement) { Platform::instance().connection().run(statement); }
    Connection &db() { return Platform::instance().connection(); }

    std::shared_ptr<RecordingPresenter> presenter;
};

} // namespace zentaro::test
