#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace zentaro {

// The bank accounts a customer pays from (Cliente_Cuenta_Bancaria): the bank, the account
// number or CLABE and the SAT payment form used with it. The invoice reads them to fill
// the payer's account of a payment.
class CustomerBankAccounts
{
public:
    struct Account
    {
        QString bank;
        QString number;
        QString paymentForm;   // SAT c_FormaPago: 02, 03, 04, 05, 06, 28, 29
        bool operator==(const Account &) const = default;
    };

    // Lets the clerk keep the customer's accounts in a dialog; Aceptar stores them in one
    // transaction, Cancelar leaves them as they were. True when the dialog closed normally
    // either way; false with LastError for an unknown or withdrawn customer, a bad scripted
    // answer or a database failure.
    // Without a window (the script runner) the answer queued for "bankaccounts" is used:
    // "" cancels, "BANCO:CUENTA:FORMA;BANCO:CUENTA:FORMA" are the accounts to store; with
    // no answer nothing changes.
    bool Edit(const QString &customer);
    QString LastError() const { return m_lastError; }

    // The customer's stored accounts, in their order.
    static QList<Account> accountsOf(const QString &customer);
    // "" when the account can be stored, else why not (in Spanish, for the clerk).
    static QString checkAccount(const Account &account);
    // True for an 18-digit CLABE whose control digit is right.
    static bool isValidClabe(const QString &digits);
    // The payment forms an account can be used with: code and name.
    static QList<QPair<QString, QString>> paymentForms();
    // Reads a scripted answer; nullopt (with `error`) when a row is not BANCO:CUENTA:FORMA.
    static std::optional<QList<Account>> parseAnswer(const QString &answer, QString &error);

private:
    bool store(const QString &customer, const QList<Account> &accounts);
    std::optional<QList<Account>> askClerk(const QString &customer, const QString &name,
                                           const QList<Account> &current);

    QString m_lastError;
};

} // namespace zentaro
