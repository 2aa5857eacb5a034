#include "platform/db/SqliteFunctions.h"

#include "platform/core/Decimal.h"
#include "platform/core/Error.h"

#include <sqlite3.h>

#include <new>

namespace zentaro::sqlitefunctions {

namespace {

// Reads one SQLite value as an exact decimal; false for NULL.
bool readDecimal(sqlite3_value *value, Decimal &out)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        return false;
    case SQLITE_INTEGER:
        out = Decimal::fromInt(sqlite3_value_int64(value));
        return true;
    case SQLITE_FLOAT:
        out = Decimal::fromDouble(sqlite3_value_double(value));
        return true;
    default: {
        // Text that is not a number counts as 0, as SQLite's own CAST does.
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        const auto parsed = Decimal::parse(QString::fromUtf8(text ? text : ""));
        out = parsed.value_or(Decimal());
        return true;
    }
    }
}

void resultDecimal(sqlite3_context *context, const Decimal &value)
{
    if (value.isInteger())
        sqlite3_result_int64(context, value.units() / Decimal::kOne);
    else
        sqlite3_result_double(context, value.toDouble());
}

void decimalFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    try {
        Decimal value;
        if (!readDecimal(argv[0], value)) {
            sqlite3_result_null(context);
            return;
        }
        const int scale = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
        const Decimal rounded = value.rounded(scale < 0 ? 0 : scale);
        // A decimal column stays a decimal even when whole: 5 is 5.0, as the engines with a
        // real decimal type keep it numeric rather than integer.
        sqlite3_result_double(context, rounded.toDouble());
    } catch (const Error &error) {
        sqlite3_result_error(context, error.what(), -1);
    }
}

struct SumState
{
    Decimal total;
    bool any = false;
    bool fractional = false;
};

void sumStep(sqlite3_context *context, int, sqlite3_value **argv)
{
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, sizeof(SumState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    try {
        Decimal value;
        if (!readDecimal(argv[0], value))
            return;
        state->total += value;
        state->any = true;
        if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER)
            state->fractional = true;
    } catch (const Error &error) {
        sqlite3_result_error(context, error.what(), -1);
    }
}

void sumFinal(sqlite3_context *context)
{
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, 0));
    if (!state || !state->any) {
        sqlite3_result_null(context);
        return;
    }
    if (state->fractional)
        sqlite3_result_double(context, state->total.toDouble());
    else
        resultDecimal(context, state->total);
}

// zentaro_raise(text): fails the running statement with that text. The schema's rules use
// it where SQLite's RAISE() takes only a fixed text and the message must name the row. The
// failure's code is SQLITE_CONSTRAINT_TRIGGER, the one SQLite gives RAISE() itself, so a
// caller tells a rule's refusal from any other failure by its code (schema::isRuleRefusal).
void raiseFunction(sqlite3_context *context, int, sqlite3_value **values)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
    sqlite3_result_error(context, text ? text : "Operación rechazada por una regla de la base de datos", -1);
    sqlite3_result_error_code(context, SQLITE_CONSTRAINT_TRIGGER);
}

} // namespace

void install(sqlite3 *handle)
{
    // Extended codes tell a rule's refusal (SQLITE_CONSTRAINT_TRIGGER) from a duplicate key
    // (SQLITE_CONSTRAINT_UNIQUE); the primary code is SQLITE_CONSTRAINT for both.
    sqlite3_extended_result_codes(handle, 1);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(handle, "zentaro_decimal", 2, flags, nullptr, &decimalFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "zentaro_sum", 1, flags, nullptr, nullptr, &sumStep, &sumFinal, nullptr);
    sqlite3_create_function_v2(handle, "zentaro_raise", 1, SQLITE_UTF8, nullptr, &raiseFunction, nullptr, nullptr, nullptr);
}

} // namespace zentaro::sqlitefunctions
