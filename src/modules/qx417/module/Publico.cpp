#include "qx417/module/Publico.h"

namespace qx417 {

namespace {
Publico &instance()
{
    static Publico state;
    return state;
}
} // namespace

void Publico::startUp()
{
    Publico &state = instance();
    if (state.Environment)
        return;
    state.Environment = std::make_unique<zentaro::Environment>();
    state.Utilities = std::make_unique<zentaro::Utilities>();
    state.Receivables = std::make_unique<zentaro::Receivables>();
    state.QueryFilter = std::make_unique<zentaro::QueryFilter>();
}

Publico &Publico::get()
{
    startUp();
    return instance();
}

} // namespace qx417
