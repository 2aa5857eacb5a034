#include "platform/components/records/CustomerBankAccounts.h"

#include "support/SessionFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

using namespace zentaro;

namespace {

using Account = CustomerBankAccounts::Account;

const QString kClabe = QStringLiteral("012180001234567899");   // control digit 9

TEST(BankAccountRules, ClabeControlDigit)
{
    EXPECT_TRUE(CustomerBankAccounts::isValidClabe(kClabe));
    EXPECT_TRUE(CustomerBankAccounts::isValidClabe(QStringLiteral("002180012345678906")));
    EXPECT_FALSE(CustomerBankAccounts::isValidClabe(QStringLiteral("012180001234567890")));
    EXPECT_FALSE(CustomerBankAccounts::isValidClabe(QStringLiteral("01218000123456789")));
    EXPECT_FALSE(CustomerBankAccounts::isValidClabe(QStringLiteral("01218000123456789A")));
}

TEST(BankAccountRules, AccountsAreCheckedBeforeTheyAreStored)
{
    struct Case
    {
        Account account;
        QString problemStart;   // "" when the account is fine
    };
    const Case cases[] = {
        {{QStringLiteral("BBVA"), kClabe, QStringLiteral("03")}, {}},
        {{QStringLiteral("Banorte"), QStringLiteral("1234567890"), QStringLiteral("02")}, {}},
        {{QStringLiteral("Banamex"), QStringLiteral("4152 3131 2345 6789"), QStringLiteral("4")}, {}},   // card, "4" is "04"
        {{QStringLiteral("HSBC"), QStringLiteral("0121-8000-1234-5678-99"), QStringLiteral("28")}, {}},
        {{QString(), QStringLiteral("1234567890"), QStringLiteral("03")}, QStringLiteral("Indique el banco")},
        {{QStringLiteral("BBVA"), QStringLiteral("123456789"), QStringLiteral("03")}, QStringLiteral("La cuenta 123456789")},
        {{QStringLiteral("BBVA"), QStringLiteral("1234567890123456789"), QStringLiteral("03")}, QStringLiteral("La cuenta")},
        {{QStringLiteral("BBVA"), QStringLiteral("12345A7890"), QStringLiteral("03")}, QStringLiteral("La cuenta 12345A7890")},
        {{QStringLiteral("BBVA"), QStringLiteral("012180001234567890"), QStringLiteral("03")}, QStringLiteral("La CLABE")},
        {{QStringLiteral("BBVA"), kClabe, QStringLiteral("01")}, QStringLiteral("La forma de pago \"01\"")},
        {{QStringLiteral("BBVA"), kClabe, QStringLiteral("99")}, QStringLiteral("La forma de pago")},
        {{QStringLiteral("O'Brien"), kClabe, QStringLiteral("03")}, QStringLiteral("El nombre del banco")},
        {{QString(61, u'B'), kClabe, QStringLiteral("03")}, QStringLiteral("El nombre del banco")},
    };
    for (const Case &c : cases) {
        const QString problem = CustomerBankAccounts::checkAccount(c.account);
        if (c.problemStart.isEmpty())
            EXPECT_EQ(problem, QString()) << c.account.number.toStdString();
        else
            EXPECT_TRUE(problem.startsWith(c.problemStart)) << problem.toStdString();
    }
}

class CustomerBankAccountsTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Es_Cve_Estado) VALUES ('C-0001', 'Abarrotes Lupita', 'AC')"));
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Es_Cve_Estado) VALUES ('C-0002', 'Cerrado', 'BA')"));
        exec(QStringLiteral("INSERT INTO Cliente_Cuenta_Bancaria VALUES ('C-0001', 1, 'Santander', '1111111111', '02', 'AC')"));
    }
    QList<Account> accounts() { return CustomerBankAccounts::accountsOf(QStringLiteral("C-0001")); }
    const QList<Account> original {{QStringLiteral("Santander"), QStringLiteral("1111111111"), QStringLiteral("02")}};
};

TEST_P(CustomerBankAccountsTest, ScriptedAnswerIsStoredInPlaceOfTheOldAccounts)
{
    Platform::instance().queueAnswer(QStringLiteral("bankaccounts"),
                                     QStringLiteral("BBVA:%1:03;Banorte:1234567890:2").arg(kClabe));
    CustomerBankAccounts editor;
    ASSERT_TRUE(editor.Edit(QStringLiteral("C-0001"))) << editor.LastError().toStdString();
    EXPECT_EQ(editor.LastError(), QString());
    EXPECT_EQ(accounts(), (QList<Account>{{QStringLiteral("BBVA"), kClabe, QStringLiteral("03")},
                                          {QStringLiteral("Banorte"), QStringLiteral("1234567890"), QStringLiteral("02")}}));
    Recordset ids = db().select(QStringLiteral("SELECT Cb_ID FROM Cliente_Cuenta_Bancaria ORDER BY Cb_ID"));
    EXPECT_EQ(ids.text(QStringLiteral("Cb_ID")), QStringLiteral("1"));
}

TEST_P(CustomerBankAccountsTest, CancelOrNoAnswerChangesNothing)
{
    CustomerBankAccounts editor;
    Platform::instance().queueAnswer(QStringLiteral("bankaccounts"), QString());
    EXPECT_TRUE(editor.Edit(QStringLiteral("C-0001")));
    EXPECT_EQ(accounts(), original);
    EXPECT_TRUE(editor.Edit(QStringLiteral("C-0001")));   // nobody to ask
    EXPECT_EQ(accounts(), original);
}

TEST_P(CustomerBankAccountsTest, RefusalsLeaveTheAccountsAsTheyWere)
{
    struct Case
    {
        QString customer;
        QString answer;
        QString error;
    };
    const Case cases[] = {
        {QStringLiteral("C-0009"), QString(), QStringLiteral("El cliente C-0009 no existe o está dado de baja")},
        {QStringLiteral("C-0002"), QString(), QStringLiteral("El cliente C-0002 no existe o está dado de baja")},
        {QStringLiteral("C-0001"), QStringLiteral("BBVA:012180001234567890:03"),
         QStringLiteral("La CLABE 012180001234567890 no es válida: su dígito verificador no corresponde")},
        {QStringLiteral("C-0001"), QStringLiteral("BBVA:%1:03;Banorte:%1:03").arg(kClabe),
         QStringLiteral("La cuenta %1 está repetida").arg(kClabe)},
        {QStringLiteral("C-0001"), QStringLiteral("BBVA:1234567890"),
         QStringLiteral("La cuenta \"BBVA:1234567890\" no tiene la forma BANCO:CUENTA:FORMA")},
    };
    for (const Case &c : cases) {
        if (!c.answer.isEmpty())
            Platform::instance().queueAnswer(QStringLiteral("bankaccounts"), c.answer);
        CustomerBankAccounts editor;
        EXPECT_FALSE(editor.Edit(c.customer));
        EXPECT_EQ(editor.LastError(), c.error);
        EXPECT_EQ(accounts(), original);
    }
}

TEST_P(CustomerBankAccountsTest, TheClerkKeepsAccountsInTheDialog)
{
    Platform::instance().setInteractive(true);
    QStringList errorsSeen;
    // First Aceptar with a bad account: the dialog stays open and says why.
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("accounts"));
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("Santander"));
        dialog->findChild<QPushButton *>(QStringLiteral("add"))->click();
        table->item(1, 0)->setText(QStringLiteral("BBVA"));
        table->item(1, 1)->setText(QStringLiteral("012180001234567890"));
        auto *ok = [&] {
            for (QPushButton *button : dialog->findChildren<QPushButton *>())
                if (button->text() == QStringLiteral("Aceptar"))
                    return button;
            return static_cast<QPushButton *>(nullptr);
        }();
        ASSERT_NE(ok, nullptr);
        ok->click();
        errorsSeen << dialog->findChild<QLabel *>(QStringLiteral("error"))->text();
        EXPECT_TRUE(dialog->isVisible());
        table->item(1, 1)->setText(kClabe);
        auto *form = qobject_cast<QComboBox *>(table->cellWidget(1, 2));
        form->setCurrentIndex(form->findData(QStringLiteral("28")));
        table->setCurrentCell(0, 0);
        dialog->findChild<QPushButton *>(QStringLiteral("remove"))->click();
        ok->click();
    });
    CustomerBankAccounts editor;
    EXPECT_TRUE(editor.Edit(QStringLiteral("C-0001"))) << editor.LastError().toStdString();
    ASSERT_EQ(errorsSeen.size(), 1);
    EXPECT_TRUE(errorsSeen[0].startsWith(QStringLiteral("La CLABE"))) << errorsSeen[0].toStdString();
    EXPECT_EQ(accounts(), (QList<Account>{{QStringLiteral("BBVA"), kClabe, QStringLiteral("28")}}));

    // Cancelar: nothing changes, and the answer is still true.
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_TRUE(editor.Edit(QStringLiteral("C-0001")));
    EXPECT_EQ(accounts(), (QList<Account>{{QStringLiteral("BBVA"), kClabe, QStringLiteral("28")}}));
}

ZENTARO_ON_BOTH_ENGINES(CustomerBankAccountsTest);

} // namespace
