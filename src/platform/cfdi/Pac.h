#pragma once

#include "platform/cfdi/CadenaOriginal.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentaro::cfdi {

// Why a PAC did not stamp: SAT's code where SAT defines one ("CFDI40108", "302", ...) and the
// Spanish sentence shown to the user.
struct PacRefusal
{
    QString code;
    QString message;
};

struct Stamp
{
    TimbreFiscalDigital timbre;
    QByteArray xml; // the sealed CFDI with the timbre in cfdi:Complemento
};

struct StampResult
{
    std::optional<Stamp> stamp;
    std::optional<PacRefusal> refusal;

    bool stamped() const { return stamp.has_value(); }
    static StampResult refused(QString code, QString message)
    {
        return StampResult{std::nullopt, PacRefusal{std::move(code), std::move(message)}};
    }
};

// A certification provider. Sending the same sealed document again must return the same
// stamp: the suite retries after a lost answer and must not end up with two UUIDs.
class Pac
{
public:
    virtual ~Pac() = default;
    virtual StampResult stamp(const QByteArray &sealedXml) = 0;
};

} // namespace zentaro::cfdi
