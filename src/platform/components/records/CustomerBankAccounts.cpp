#include "platform/components/records/CustomerBankAccounts.h"

#include "platform/controls/DialogParts.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zentaro {

namespace {

constexpr int kBankLength = 60;   // Cliente_Cuenta_Bancaria.Cb_Banco

QString normalizedNumber(const QString &typed)
{
    // The clerk copies numbers as the bank prints them: "0121 8000 1234 5678 97".
    QString digits;
    for (const QChar c : typed) {
        if (!c.isSpace() && c != u'-')
            digits += c;
    }
    return digits;
}

QString normalizedForm(const QString &typed)
{
    const QString form = typed.trimmed();
    return form.size() == 1 && form[0].isDigit() ? u'0' + form : form;
}

CustomerBankAccounts::Account normalized(const CustomerBankAccounts::Account &account)
{
    return {account.bank.trimmed(), normalizedNumber(account.number), normalizedForm(account.paymentForm)};
}

// "" when every account can be stored and no number is repeated.
QString checkAll(const QList<CustomerBankAccounts::Account> &accounts)
{
    QSet<QString> numbers;
    for (const auto &account : accounts) {
        const QString problem = CustomerBankAccounts::checkAccount(account);
        if (!problem.isEmpty())
            return problem;
        if (numbers.contains(account.number))
            return QStringLiteral("La cuenta %1 está repetida").arg(account.number);
        numbers.insert(account.number);
    }
    return {};
}

class BankAccountsDialog : public QDialog
{
public:
    BankAccountsDialog(const QString &customer, const QString &name,
                       const QList<CustomerBankAccounts::Account> &accounts, QWidget *parent)
        : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Cuentas bancarias del cliente"));
        auto *layout = new QVBoxLayout(this);
        auto *heading = new QLabel(QStringLiteral("%1  %2").arg(customer, name), this);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        layout->addWidget(heading);

        m_table = new QTableWidget(0, 3, this);
        m_table->setObjectName(QStringLiteral("accounts"));
        m_table->setHorizontalHeaderLabels({QStringLiteral("Banco"), QStringLiteral("Cuenta o CLABE"),
                                            QStringLiteral("Forma de pago")});
        m_table->verticalHeader()->setVisible(false);
        m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_table->setSelectionMode(QAbstractItemView::SingleSelection);
        m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        m_table->setColumnWidth(1, 190);
        m_table->setColumnWidth(2, 260);
        layout->addWidget(m_table);
        for (const auto &account : accounts)
            addRow(account);

        auto *rowButtons = new QHBoxLayout;
        auto *add = new QPushButton(QStringLiteral("Agregar"), this);
        add->setObjectName(QStringLiteral("add"));
        auto *remove = new QPushButton(QStringLiteral("Quitar"), this);
        remove->setObjectName(QStringLiteral("remove"));
        rowButtons->addWidget(add);
        rowButtons->addWidget(remove);
        rowButtons->addStretch(1);
        layout->addLayout(rowButtons);
        connect(add, &QPushButton::clicked, this, [this] {
            addRow({{}, {}, QStringLiteral("03")});
            m_table->setCurrentCell(m_table->rowCount() - 1, 0);
            m_table->editItem(m_table->item(m_table->rowCount() - 1, 0));
        });
        connect(remove, &QPushButton::clicked, this, [this] {
            if (m_table->currentRow() >= 0)
                m_table->removeRow(m_table->currentRow());
        });

        m_error = dialogparts::errorLine(this);
        layout->addWidget(m_error);

        auto *buttons = dialogparts::acceptCancelButtons(this);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, [this] {
            // The dialog stays open until every row can be stored.
            const QString problem = checkAll(this->accounts());
            m_error->setText(problem);
            if (problem.isEmpty())
                accept();
        });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        resize(720, 360);
    }

    // The rows the clerk filled; wholly blank rows are left out.
    QList<CustomerBankAccounts::Account> accounts() const
    {
        QList<CustomerBankAccounts::Account> result;
        for (int row = 0; row < m_table->rowCount(); ++row) {
            const QString bank = m_table->item(row, 0) ? m_table->item(row, 0)->text() : QString();
            const QString number = m_table->item(row, 1) ? m_table->item(row, 1)->text() : QString();
            const auto *form = qobject_cast<const QComboBox *>(m_table->cellWidget(row, 2));
            if (bank.trimmed().isEmpty() && number.trimmed().isEmpty())
                continue;
            result.append(normalized({bank, number, form ? form->currentData().toString() : QString()}));
        }
        return result;
    }

private:
    void addRow(const CustomerBankAccounts::Account &account)
    {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem(account.bank));
        m_table->setItem(row, 1, new QTableWidgetItem(account.number));
        auto *form = new QComboBox(m_table);
        for (const auto &[code, name] : CustomerBankAccounts::paymentForms())
            form->addItem(QStringLiteral("%1 - %2").arg(code, name), code);
        const int current = form->findData(account.paymentForm);
        form->setCurrentIndex(current >= 0 ? current : 0);
        m_table->setCellWidget(row, 2, form);
    }

    QTableWidget *m_table = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace

QList<QPair<QString, QString>> CustomerBankAccounts::paymentForms()
{
    return {
        {QStringLiteral("02"), QStringLiteral("Cheque nominativo")},
        {QStringLiteral("03"), QStringLiteral("Transferencia electrónica de fondos")},
        {QStringLiteral("04"), QStringLiteral("Tarjeta de crédito")},
        {QStringLiteral("05"), QStringLiteral("Monedero electrónico")},
        {QStringLiteral("06"), QStringLiteral("Dinero electrónico")},
        {QStringLiteral("28"), QStringLiteral("Tarjeta de débito")},
        {QStringLiteral("29"), QStringLiteral("Tarjeta de servicios")},
    };
}

bool CustomerBankAccounts::isValidClabe(const QString &digits)
{
    if (digits.size() != 18)
        return false;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    // Weights 3, 7, 1 over the first 17 digits; the 18th makes the sum a multiple of 10.
    static constexpr int kWeights[3] = {3, 7, 1};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += (digits[i].unicode() - u'0') * kWeights[i % 3] % 10;
    const int control = (10 - sum % 10) % 10;
    return digits[17].unicode() - u'0' == control;
}

QString CustomerBankAccounts::checkAccount(const Account &typed)
{
    const Account account = normalized(typed);
    if (account.bank.isEmpty())
        return QStringLiteral("Indique el banco de la cuenta %1").arg(account.number);
    if (account.bank.size() > kBankLength)
        return QStringLiteral("El nombre del banco %1 es demasiado largo (%2 caracteres como máximo)")
            .arg(account.bank).arg(kBankLength);
    if (account.bank.contains(u'\'') || account.bank.contains(u';') || account.bank.contains(u':'))
        return QStringLiteral("El nombre del banco %1 no puede llevar apóstrofos, \";\" ni \":\"").arg(account.bank);
    for (const QChar c : account.number) {
        if (c < u'0' || c > u'9')
            return QStringLiteral("La cuenta %1 del banco %2 debe llevar sólo dígitos").arg(account.number, account.bank);
    }
    if (account.number.size() < 10 || account.number.size() > 18)
        return QStringLiteral("La cuenta %1 del banco %2 debe tener de 10 a 18 dígitos (la CLABE, 18)")
            .arg(account.number, account.bank);
    if (account.number.size() == 18 && !isValidClabe(account.number))
        return QStringLiteral("La CLABE %1 no es válida: su dígito verificador no corresponde").arg(account.number);
    for (const auto &[code, name] : paymentForms()) {
        if (code == account.paymentForm)
            return {};
    }
    return QStringLiteral("La forma de pago \"%1\" no se usa con cuentas bancarias").arg(account.paymentForm);
}

std::optional<QList<CustomerBankAccounts::Account>> CustomerBankAccounts::parseAnswer(const QString &answer,
                                                                                     QString &error)
{
    QList<Account> accounts;
    for (const QString &row : answer.split(u';', Qt::SkipEmptyParts)) {
        if (row.trimmed().isEmpty())
            continue;
        const QStringList parts = row.split(u':');
        if (parts.size() != 3) {
            error = QStringLiteral("La cuenta \"%1\" no tiene la forma BANCO:CUENTA:FORMA").arg(row.trimmed());
            return std::nullopt;
        }
        accounts.append(normalized({parts[0], parts[1], parts[2]}));
    }
    return accounts;
}

QList<CustomerBankAccounts::Account> CustomerBankAccounts::accountsOf(const QString &customer)
{
    QList<Account> accounts;
    Recordset rs = Platform::instance().connection().select(
        QStringLiteral("SELECT Cb_Banco, Cb_Cuenta, Cb_Forma_Pago FROM Cliente_Cuenta_Bancaria "
                       "WHERE Cl_Cve_Cliente = ? AND (Es_Cve_Estado IS NULL OR Es_Cve_Estado <> 'BA') "
                       "ORDER BY Cb_ID"), {customer});
    for (; !rs.eof(); rs.moveNext()) {
        accounts.append({rs.text(QStringLiteral("Cb_Banco")), rs.text(QStringLiteral("Cb_Cuenta")),
                         rs.text(QStringLiteral("Cb_Forma_Pago"))});
    }
    return accounts;
}

bool CustomerBankAccounts::Edit(const QString &customer)
{
    m_lastError.clear();
    try {
        Platform &platform = Platform::instance();
        Recordset found = platform.connection().select(
            QStringLiteral("SELECT Cl_Descripcion FROM Cliente WHERE Cl_Cve_Cliente = ? "
                           "AND (Es_Cve_Estado IS NULL OR Es_Cve_Estado <> 'BA')"), {customer});
        if (customer.trimmed().isEmpty() || found.eof()) {
            m_lastError = QStringLiteral("El cliente %1 no existe o está dado de baja").arg(customer);
            return false;
        }
        const QString name = found.text(QStringLiteral("Cl_Descripcion"));
        found.close();

        std::optional<QList<Account>> wanted;
        if (const auto answer = platform.takeAnswer(QStringLiteral("bankaccounts"))) {
            if (answer->trimmed().isEmpty())
                return true;   // the clerk cancelled
            wanted = parseAnswer(*answer, m_lastError);
            if (!wanted)
                return false;
            m_lastError = checkAll(*wanted);
            if (!m_lastError.isEmpty())
                return false;
        } else if (platform.interactive()) {
            wanted = askClerk(customer, name, accountsOf(customer));
            if (!wanted)
                return true;
        } else {
            return true;   // nobody to ask: the accounts stay as they are
        }
        return store(customer, *wanted);
    } catch (const Error &error) {
        m_lastError = error.description();
        return false;
    }
}

std::optional<QList<CustomerBankAccounts::Account>> CustomerBankAccounts::askClerk(
    const QString &customer, const QString &name, const QList<Account> &current)
{
    BankAccountsDialog dialog(customer, name, current, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.accounts();
}

bool CustomerBankAccounts::store(const QString &customer, const QList<Account> &accounts)
{
    Connection &db = Platform::instance().connection();
    TransactionGuard transaction(db);
    db.run(QStringLiteral("DELETE FROM Cliente_Cuenta_Bancaria WHERE Cl_Cve_Cliente = ?"), {customer});
    int id = 0;
    for (const Account &account : accounts) {
        db.run(QStringLiteral("INSERT INTO Cliente_Cuenta_Bancaria "
                              "(Cl_Cve_Cliente, Cb_ID, Cb_Banco, Cb_Cuenta, Cb_Forma_Pago, Es_Cve_Estado) "
                              "VALUES (?, ?, ?, ?, ?, 'AC')"),
               {customer, ++id, account.bank, account.number, account.paymentForm});
    }
    transaction.commit();
    return true;
}

} // namespace zentaro
