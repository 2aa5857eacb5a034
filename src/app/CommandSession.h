#pragma once

#include "ClerkMessages.h"

#include <memory>

namespace zentaro::app {

struct CommandLine;

// A command without a window at work on one database as one user: the database of --db (the
// demo's without it) opened and its schema checked, the user of --user (ADMIN without it)
// known and active, the platform installed with the clerk's messages going to standard
// error, and uninstalled when the session ends. Throws zentaro::Error in Spanish when the
// database or the user cannot be had; nothing is installed then.
class CommandSession
{
public:
    explicit CommandSession(const CommandLine &line);
    ~CommandSession();
    CommandSession(const CommandSession &) = delete;
    CommandSession &operator=(const CommandSession &) = delete;

    const std::shared_ptr<ClerkMessages> &messages() const { return m_messages; }

private:
    std::shared_ptr<ClerkMessages> m_messages = std::make_shared<ClerkMessages>();
};

} // namespace zentaro::app
