#include "support/SessionFixture.h"

#include "platform/controls/CatalogBrowser.h"
#include "platform/controls/KeyBox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

using namespace zentaro;

namespace {

QLineEdit *editOf(KeyBox &box) { return box.findChild<QLineEdit *>(); }

// --- The key format, as typed and as set from code -------------------------------------------

struct FormatCase
{
    const char *format;
    const char *typed;
    const char *shown;
    bool freeText = false;
};

class KeyBoxFormatTest : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(KeyBoxFormatTest, TypingAndSettingKeepOnlyWhatTheFormatAllows)
{
    const FormatCase &c = GetParam();
    KeyBox typedBox;
    typedBox.setFreeText(c.freeText);
    typedBox.setFormat(QString::fromUtf8(c.format));
    QTest::keyClicks(editOf(typedBox), QString::fromUtf8(c.typed));
    EXPECT_EQ(typedBox.text(), QString::fromUtf8(c.shown)) << "typed";

    // Code and scripts go through the same door as the keyboard.
    KeyBox setBox;
    setBox.setFormat(QString::fromUtf8(c.format));
    setBox.setFreeText(c.freeText);   // the order of the two settings does not matter
    setBox.setText(QString::fromUtf8(c.typed));
    EXPECT_EQ(setBox.text(), QString::fromUtf8(c.shown)) << "set";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, KeyBoxFormatTest,
    ::testing::Values(FormatCase {"10|U|A-Z0-9-", "c-0001", "C-0001"},
                      FormatCase {"5|U|A-Z0-9", "s0'1 x?yz", "S01XY"},     // quote, blank, ? refused; cut at 5
                      FormatCase {"4|L|a-z", "AB1cD", "abcd"},
                      FormatCase {"6|M|A-Za-z", "aB-Cd", "aBCd"},
                      FormatCase {"", "O'Hara's", "OHaras"},                // no format: anything but a quote
                      FormatCase {"3|U|A-Z'", "a'b'c", "ABC"},                // not even when the class names it
                      // Free text keeps what the clerk typed; its format still applies.
                      FormatCase {"", "Entrega a O'Brien", "Entrega a O'Brien", true},
                      FormatCase {"12|U|A-Z' ", "o'brien 4", "O'BRIEN ", true},
                      FormatCase {"5|M|A-Za-z", "d'Arc", "dArc", true}));   // a class without the quote

// --- Key events ----------------------------------------------------------------------------

TEST(KeyBoxKeys, EnterCtrlEnterAndSwallowedKeys)
{
    KeyBox box;
    int entered = 0, event1 = 0;
    QList<int> codes;
    bool swallowEnter = false;
    QObject::connect(&box, &KeyBox::entered, [&] { ++entered; });
    QObject::connect(&box, &KeyBox::event1, [&] { ++event1; });
    QObject::connect(&box, &KeyBox::keyDown, [&](int &code, int shift) {
        codes << code * 10 + shift;
        if (swallowEnter && code == 13)
            code = 0;
    });

    QTest::keyClick(editOf(box), Qt::Key_Return);
    QTest::keyClick(editOf(box), Qt::Key_Enter, Qt::ControlModifier);
    box.scriptKey(113, 0);   // F2 without a catalogue: a key event and nothing else
    swallowEnter = true;
    QTest::keyClick(editOf(box), Qt::Key_Return);

    EXPECT_EQ(entered, 1);
    EXPECT_EQ(event1, 1);
    // Ctrl itself goes down first (17, with Ctrl held: 172), as on the keyboard.
    EXPECT_EQ(codes, (QList<int> {130, 172, 132, 1130, 130}));

    // Leaving the box confirms a typed change once; leaving it unchanged confirms nothing.
    QTest::keyClicks(editOf(box), QStringLiteral("x"));
    for (int i = 0; i < 2; ++i) {
        QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(editOf(box), &focusOut);
    }
    EXPECT_EQ(entered, 2);
}

TEST(KeyBoxNumbers, NumericBoxHoldsANumber)
{
    KeyBox box;
    box.setNumberFormat(QStringLiteral("#,##0.0000"));
    EXPECT_EQ(box.value().toDouble(), 0.0);
    box.setValue(17.25);
    EXPECT_DOUBLE_EQ(box.value().toDouble(), 17.25);
    EXPECT_FALSE(box.text().isEmpty());
    box.setText(QStringLiteral("1,160.5"));
    EXPECT_DOUBLE_EQ(box.value().toDouble(), 1160.5);
    box.clearContent();
    EXPECT_EQ(box.text(), QString());
    EXPECT_EQ(box.value().toDouble(), 0.0);
}

// --- Lookups on the database ---------------------------------------------------------------

class KeyBoxLookupTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Es_Cve_Estado) VALUES ('C-0001', 'Abarrotes La Providencia', 'AC')"));
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Es_Cve_Estado) VALUES ('C-0009', 'Papelería El Estudiante', 'BA')"));
        screen.setObjectName(QStringLiteral("frmPrueba"));
        key = new KeyBox(&screen);
        key->setObjectName(QStringLiteral("txtCliente"));
        key->setFormat(QStringLiteral("10|U|A-Z0-9-"));
        key->setSql(QStringLiteral("SELECT Cl_Descripcion FROM Cliente WHERE Cl_Cve_Cliente = '?' AND Es_Cve_Estado <> 'BA'"));
        key->setResultBox(QStringLiteral("txtClienteNombre"));
        result = new KeyBox(&screen);
        result->setObjectName(QStringLiteral("txtClienteNombre"));
    }

    QWidget screen;
    KeyBox *key = nullptr;
    KeyBox *result = nullptr;
};

TEST_P(KeyBoxLookupTest, LookupFillsValueAndResultBoxOnlyForAnActiveKey)
{
    struct Step
    {
        QString typed, value, result;
    };
    const QList<Step> steps = {
        {QStringLiteral("c-0001"), QStringLiteral("C-0001"), QStringLiteral("Abarrotes La Providencia")},
        {QStringLiteral("C-0009"), QString(), QString()},   // withdrawn
        {QStringLiteral("C-0001"), QStringLiteral("C-0001"), QStringLiteral("Abarrotes La Providencia")},
        {QStringLiteral("C-9999"), QString(), QString()},   // unknown
        {QString(), QString(), QString()},
    };
    for (const Step &step : steps) {
        key->setText(step.typed);
        EXPECT_EQ(key->value().toString(), step.value) << qPrintable(step.typed);
        EXPECT_EQ(result->text(), step.result) << qPrintable(step.typed);
    }
    // Typing validates as well, key by key.
    QTest::keyClicks(editOf(*key), QStringLiteral("c-0001"));
    EXPECT_EQ(key->value().toString(), QStringLiteral("C-0001"));
    EXPECT_EQ(result->text(), QStringLiteral("Abarrotes La Providencia"));
    EXPECT_TRUE(presenter->errors.isEmpty());
}

TEST_P(KeyBoxLookupTest, ChangeComesBeforeTheLookupAndClearingTakesTheDescriptionAlong)
{
    QStringList seen;
    QObject::connect(key, &KeyBox::changed, [&] { seen << key->text() + u'|' + result->text(); });
    key->scriptType(QStringLiteral("C-0001"));
    EXPECT_EQ(seen, QStringList {QStringLiteral("C-0001|")});

    key->clearContent();
    EXPECT_EQ(key->text(), QString());
    EXPECT_EQ(key->value().toString(), QString());
    EXPECT_EQ(result->text(), QString());
    EXPECT_EQ(seen.size(), 1);   // clearing is no change

    // The same text again raises no change, but answers to a lookup the screen changed since.
    key->setText(QStringLiteral("C-0001"));
    key->setSql(QStringLiteral("SELECT Cl_Descripcion FROM Cliente WHERE Cl_Cve_Cliente = '?' AND 1 = 0"));
    key->setText(QStringLiteral("C-0001"));
    EXPECT_EQ(seen.size(), 2);
    EXPECT_EQ(key->value().toString(), QString());
}

TEST_P(KeyBoxLookupTest, AFreeTextBoxWithALookupNeverPutsAQuoteIntoIt)
{
    KeyBox box(&screen);
    box.setFreeText(true);
    box.setText(QStringLiteral("C-0001'"));
    EXPECT_EQ(box.text(), QStringLiteral("C-0001'"));
    box.setSql(key->sql());   // a lookup makes it a key box again: typing refuses the quote
    EXPECT_EQ(box.text(), QStringLiteral("C-0001'"));   // what is there stays ...
    box.validate();
    EXPECT_EQ(box.value().toString(), QString());   // ... but reaches no statement
    EXPECT_TRUE(presenter->errors.isEmpty());
    box.setText(QString());
    QTest::keyClicks(editOf(box), QStringLiteral("C-0001'"));
    EXPECT_EQ(box.text(), QStringLiteral("C-0001"));
    EXPECT_EQ(box.value().toString(), QStringLiteral("C-0001"));
}

TEST_P(KeyBoxLookupTest, AFailingLookupIsReportedNotThrown)
{
    key->setSql(QStringLiteral("SELECT Cl_Descripcion FROM Cliente_Inexistente WHERE Cl_Cve_Cliente = '?'"));
    EXPECT_NO_THROW(key->setText(QStringLiteral("C-0001")));
    EXPECT_EQ(key->value().toString(), QString());
    ASSERT_EQ(presenter->errors.size(), 1);
    EXPECT_EQ(presenter->errors[0].second, QStringLiteral("txtCliente"));
}

TEST_P(KeyBoxLookupTest, CatalogueAnswerOfAScriptBecomesTheKey)
{
    key->setLookupId(QStringLiteral("CLIENTE"));
    Platform::instance().queueAnswer(QStringLiteral("catalog"), QStringLiteral("C-0001"));
    key->browse();
    EXPECT_EQ(key->value().toString(), QStringLiteral("C-0001"));
    EXPECT_EQ(result->text(), QStringLiteral("Abarrotes La Providencia"));

    key->browse();   // no answer left: cancelled, the key stays
    EXPECT_EQ(key->text(), QStringLiteral("C-0001"));

    key->setLocked(true);   // a locked box opens no catalogue
    Platform::instance().queueAnswer(QStringLiteral("catalog"), QStringLiteral("C-0009"));
    key->browse();
    EXPECT_EQ(key->text(), QStringLiteral("C-0001"));
}

ZENTARO_ON_BOTH_ENGINES(KeyBoxLookupTest);

// --- The catalogue's rows ------------------------------------------------------------------

class CatalogBrowserTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Almacen VALUES ('A01', 'General', 'S01', 'AC')"));
        exec(QStringLiteral("INSERT INTO Almacen VALUES ('A02', 'Mayoreo', 'S01', 'AC')"));
        exec(QStringLiteral("INSERT INTO Almacen VALUES ('A03', 'Zapopan', 'S02', 'AC')"));
        exec(QStringLiteral("INSERT INTO Almacen VALUES ('A08', 'Cerrado', 'S01', 'BA')"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('CONT', 'Contado', '01', 0, 'AC')"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('C30', 'Crédito 30 días', '02', 30, 'AC')"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('EFEC', 'Efectivo', '01', 0, 'AC')"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('C60', 'Crédito 60 días', '02', 60, 'BA')"));
    }

    QStringList keys(const char *lookupId, const QString &filter)
    {
        QStringList out;
        for (const CatalogBrowser::Row &row : CatalogBrowser::rows(QString::fromLatin1(lookupId), filter))
            out << row.key;
        return out;
    }
};

TEST_P(CatalogBrowserTest, FilterAppliesAndWithdrawnRowsStayOut)
{
    EXPECT_EQ(keys("ALMACEN", {}), (QStringList {QStringLiteral("A01"), QStringLiteral("A02"), QStringLiteral("A03")}));
    EXPECT_EQ(keys("almacen", QStringLiteral("Almacen.Sc_Cve_Sucursal='S01' ")),
              (QStringList {QStringLiteral("A01"), QStringLiteral("A02")}));
    // A text column compared with a bare number, as the screens write it.
    EXPECT_EQ(keys("CONDICION_VENTA", QStringLiteral("Condicion_Venta.Cv_Tipo_Condicion=01")),
              (QStringList {QStringLiteral("CONT"), QStringLiteral("EFEC")}));
    EXPECT_EQ(keys("CONDICION_VENTA", QStringLiteral("Condicion_Venta.Cv_Dias >= 30")), QStringList {QStringLiteral("C30")});
    EXPECT_THROW(keys("PRODUCTO_X", {}), Error);
}

ZENTARO_ON_BOTH_ENGINES(CatalogBrowserTest);

TEST(CatalogBrowserFilter, BareNumbersAreQuotedOutsideLiterals)
{
    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("Condicion_Venta.Cv_Tipo_Condicion=01"), QStringLiteral("Condicion_Venta.Cv_Tipo_Condicion='01'")},
        {QStringLiteral("Cv_Dias >= 30 AND Cv_Dias<>-1.5"), QStringLiteral("Cv_Dias >= '30' AND Cv_Dias<>'-1.5'")},
        {QStringLiteral("Almacen.Sc_Cve_Sucursal='S01' "), QStringLiteral("Almacen.Sc_Cve_Sucursal='S01' ")},
        {QStringLiteral("Cl_Descripcion='A=1 y B=2' AND X=3"), QStringLiteral("Cl_Descripcion='A=1 y B=2' AND X='3'")},
        {QStringLiteral("Cl_Descripcion='O''Hara=1'"), QStringLiteral("Cl_Descripcion='O''Hara=1'")},
        {QStringLiteral("Sc_Cve_Sucursal=S01"), QStringLiteral("Sc_Cve_Sucursal=S01")},
    };
    for (const auto &[filter, expected] : cases)
        EXPECT_EQ(CatalogLookup::normalizedFilter(filter), expected) << qPrintable(filter);
}

} // namespace
