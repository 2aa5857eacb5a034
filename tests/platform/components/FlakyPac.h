#pragma once

#include "platform/cfdi/SandboxPac.h"
#include "platform/core/Error.h"

#include <QList>

#include <optional>

namespace zentaro::test {

// The sandbox PAC behind a line that fails once where a test says: before the request
// reaches the SAT, or after the SAT acted on it while its answer is lost on the way back.
// It counts what reached the SAT, so a test can tell a retry from a second request. A test
// may also script what the SAT answers next (a lost answer is nullopt) and how the next
// stamps go.
class FlakyPac : public cfdi::Pac
{
public:
    enum class Fault { None, BeforeTheSat, AnswerLost };
    enum class StampFault { None, AnswerLost, Refused };
    using Scripted = std::optional<cfdi::CancellationResult>;

    explicit FlakyPac(cfdi::SandboxPac::Clock clock) : m_sandbox(std::move(clock)) {}

    cfdi::StampResult stamp(const QByteArray &sealedXml) override
    {
        ++stamps;
        const StampFault fault = stampFaults.isEmpty() ? StampFault::None : stampFaults.takeFirst();
        if (fault == StampFault::Refused)
            return cfdi::StampResult::refused(QStringLiteral("CFDI40102"),
                                              QStringLiteral("El resultado de la digestión debe ser igual al resultado "
                                                             "de la desencripción del sello"));
        cfdi::StampResult result = m_sandbox.stamp(sealedXml);
        if (fault == StampFault::AnswerLost)
            throw Error(QStringLiteral("se agotó el tiempo de espera de la respuesta del PAC"));
        return result;
    }
    cfdi::CancellationResult cancel(const cfdi::CancellationRequest &request) override
    {
        ++cancels;
        return pass(request, cancelScript, [&] { return m_sandbox.cancel(request); });
    }
    cfdi::CancellationResult cancellationStatus(const cfdi::CancellationRequest &request) override
    {
        ++statusQueries;
        return pass(request, statusScript, [&] { return m_sandbox.cancellationStatus(request); });
    }

    static cfdi::CancellationResult answer(cfdi::CancellationStatus status, const QString &code, const QString &message)
    {
        return {status, QStringLiteral("<Acuse>%1</Acuse>").arg(code).toUtf8(), code, message};
    }

    Fault nextFault = Fault::None;
    QList<Scripted> cancelScript;   // what the SAT answers the next requests, before the sandbox
    QList<Scripted> statusScript;   // the same for the status queries
    QList<StampFault> stampFaults;  // how the next stamps go
    QList<cfdi::CancellationRequest> reachedTheSat;
    QList<cfdi::CancellationResult> answers;   // every answer the SAT gave, lost or not
    int statusQueries = 0;
    int cancels = 0;
    int stamps = 0;

private:
    template<typename Call>
    cfdi::CancellationResult pass(const cfdi::CancellationRequest &request, QList<Scripted> &script, Call call)
    {
        const Fault fault = nextFault;
        nextFault = Fault::None;
        if (fault == Fault::BeforeTheSat)
            throw Error(QStringLiteral("no se pudo conectar con el PAC"));
        reachedTheSat.append(request);
        std::optional<cfdi::CancellationResult> scripted;
        if (!script.isEmpty()) {
            scripted = script.takeFirst();
            if (!scripted)
                throw Error(QStringLiteral("se agotó el tiempo de espera de la respuesta"));
        }
        answers.append(scripted ? *scripted : call());
        if (fault == Fault::AnswerLost)
            throw Error(QStringLiteral("se agotó el tiempo de espera de la respuesta"));
        return answers.last();
    }

    cfdi::SandboxPac m_sandbox;
};

} // namespace zentaro::test
