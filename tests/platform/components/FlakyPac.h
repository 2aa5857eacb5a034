#pragma once

#include "platform/cfdi/SandboxPac.h"
#include "platform/core/Error.h"

#include <QList>

namespace zentaro::test {

// The sandbox PAC behind a line that fails once where a test says: before the request
// reaches the SAT, or after the SAT acted on it while its answer is lost on the way back.
// It counts what reached the SAT, so a test can tell a retry from a second request.
class FlakyPac : public cfdi::Pac
{
public:
    enum class Fault { None, BeforeTheSat, AnswerLost };

    explicit FlakyPac(cfdi::SandboxPac::Clock clock) : m_sandbox(std::move(clock)) {}

    cfdi::StampResult stamp(const QByteArray &sealedXml) override { return m_sandbox.stamp(sealedXml); }
    cfdi::CancellationResult cancel(const cfdi::CancellationRequest &request) override
    {
        return pass(request, [&] { return m_sandbox.cancel(request); });
    }
    cfdi::CancellationResult cancellationStatus(const cfdi::CancellationRequest &request) override
    {
        ++statusQueries;
        return pass(request, [&] { return m_sandbox.cancellationStatus(request); });
    }

    Fault nextFault = Fault::None;
    QList<cfdi::CancellationRequest> reachedTheSat;
    QList<cfdi::CancellationResult> answers;   // every answer the SAT gave, lost or not
    int statusQueries = 0;

private:
    template<typename Call>
    cfdi::CancellationResult pass(const cfdi::CancellationRequest &request, Call call)
    {
        const Fault fault = nextFault;
        nextFault = Fault::None;
        if (fault == Fault::BeforeTheSat)
            throw Error(QStringLiteral("no se pudo conectar con el PAC"));
        reachedTheSat.append(request);
        answers.append(call());
        if (fault == Fault::AnswerLost)
            throw Error(QStringLiteral("se agotó el tiempo de espera de la respuesta"));
        return answers.last();
    }

    cfdi::SandboxPac m_sandbox;
};

} // namespace zentaro::test
