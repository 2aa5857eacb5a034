// The controls of the screen: names, captions, places (in twips), control groups, lookup
// settings of the key boxes, list columns, tab order and their state as designed.

#include "qx417/screen/frmQX417.h"

#include "qx417/module/UnattendedControls.h"
#include "qx417/screen/Twips.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"

#include <QEvent>

#include <array>
#include <type_traits>

namespace qx417 {

using namespace zentaro;

namespace {

constexpr int kBoxHeight = 315;
constexpr int kLabelHeight = 285;
constexpr const char *kMoneyMask = "$#,##0.0000";

template<typename T>
T *make(QWidget *parent, const char *name)
{
    T *widget = nullptr;
    if constexpr (std::is_constructible_v<T, QWidget *>)
        widget = new T(parent);
    else
        widget = new T(QString(), parent);   // captioned controls
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A control the unattended run drives takes its name from the run's contract, of its kind.
template<typename T>
T *make(QWidget *parent, unattended::ControlName<T> name)
{
    return make<T>(parent, name.text);
}
template<typename T>
const char *driven(unattended::ControlName<T> name)
{
    return name.text;
}

int labelCounter = 0;

Label *label(QWidget *parent, const QString &caption, int left, int top, int width)
{
    auto *label = new Label(caption, parent);
    label->setObjectName(QStringLiteral("Label%1").arg(++labelCounter));
    place(label, left, top + 30, width, kLabelHeight);
    return label;
}

KeyBox *box(QWidget *parent, const char *name, int left, int top, int width, const char *tag = "")
{
    auto *box = make<KeyBox>(parent, name);
    place(box, left, top, width, kBoxHeight);
    box->setTag(QLatin1String(tag));
    return box;
}

// A box that only shows what a lookup or a computation put there.
KeyBox *display(QWidget *parent, const char *name, int left, int top, int width, const char *tag = "")
{
    KeyBox *shown = box(parent, name, left, top, width, tag);
    shown->setLocked(true);
    shown->setFocusPolicy(Qt::NoFocus);
    return shown;
}

KeyBox *total(QWidget *parent, const char *name, int left, int top, int width = 2175)
{
    KeyBox *shown = display(parent, name, left, top, width, "2");
    shown->setNumberFormat(QLatin1String(kMoneyMask));
    shown->setValue(0.0);
    return shown;
}

void lookup(KeyBox *box, const char *id, const char *sql, const char *result, const char *catalogScreen)
{
    box->setLookupId(QLatin1String(id));
    box->setSql(QString::fromUtf8(sql));
    box->setResultBox(QLatin1String(result));
    box->setCatalogScreen(QLatin1String(catalogScreen));
}

void addListColumns(CheckList *list)
{
    const int inch = px(1440);
    const struct
    {
        const char *header;
        int width;
        Qt::Alignment alignment;
    } columns[] = {
        {"Folio", inch, Qt::AlignLeft}, {"Cliente", inch, Qt::AlignLeft}, {"Fecha", inch, Qt::AlignLeft},
        {"Tipo", inch, Qt::AlignLeft}, {"Referencia", inch, Qt::AlignLeft}, {"Impuesto", inch, Qt::AlignRight},
        {"Importe", inch, Qt::AlignRight}, {"Descuento global", 0, Qt::AlignLeft},
        {"Descuento importe", 0, Qt::AlignLeft}, {"Suma importe", 0, Qt::AlignLeft},
        {"Operador", inch, Qt::AlignLeft}, {"Vendedor", inch, Qt::AlignLeft}, {"Origen", inch, Qt::AlignLeft},
        {"Documento", inch, Qt::AlignLeft},
    };
    for (const auto &column : columns)
        list->addColumn(QString::fromUtf8(column.header), column.width, column.alignment | Qt::AlignVCenter);
}

// The decorative band at the top of a page. It lies inside the page's border, which it
// would otherwise paint over, and follows the page's width whenever the page is resized.
class PageBand : public QWidget
{
public:
    explicit PageBand(QWidget *page) : QWidget(page)
    {
        page->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            follow();
        return false;
    }

private:
    void follow()
    {
        const auto *frame = qobject_cast<const QFrame *>(parentWidget());
        const QRect area = frame ? frame->contentsRect() : parentWidget()->rect();
        setGeometry(area.left(), area.top(), area.width(), 3);
    }
};

QWidget *band(QWidget *page, const char *name)
{
    auto *shape = new PageBand(page);
    shape->setObjectName(QLatin1String(name));
    shape->setProperty("zentaroBand", true);
    shape->setAutoFillBackground(true);
    shape->lower();
    return shape;
}

} // namespace

void frmQX417::createControls()
{
    labelCounter = 0;
    resize(px(14460), px(8200));
    // Below its designed size the controls would be cut off: the host scrolls instead.
    setMinimumSize(px(14460), px(8200));

    colorVEK = make<ColorScheme>(this, "colorVEK");
    Controles = make(this, unattended::Controles);
    place(Controles, 0, 0, 14460, 960);
    Controles->setCaption(QStringLiteral("Facturación global SAT"));
    Controles->setShowWindowList(QStringLiteral("SI"));
    Controles->setShowExit(QStringLiteral("SI"));
    Controles->setEasyAccess(QStringLiteral("NO"));
    Controles->setPopupMenu(QStringLiteral("NO"));
    Controles->setOptionTable(QStringLiteral("Factura"));
    Controles->setOptionKey(QStringLiteral("Fc_Folio"));
    Controles->setOpcion1Caption(QString());
    Controles->setOpcion2Caption(QString());
    Controles->setOpcion3Caption(QString());

    label(this, QStringLiteral("Folio:"), 120, 1200, 1200);
    txtFolio = box(this, driven<KeyBox>(unattended::txtFolio), 2400, 1200, 1815);
    txtFolio->setLookupId(QStringLiteral("FACTURA"));
    // Browsing stored invoices with F2 needs the KEYF2 permission; load lifts this filter.
    txtFolio->setLookupFilter(QStringLiteral("1 = 0"));
    label(this, QStringLiteral("Ventas del: "), 4440, 1200, 1500);
    dpFecha_Inicio = make(this, unattended::dpFecha_Inicio);
    place(dpFecha_Inicio, 6000, 1200, 1455, kBoxHeight);
    dpFecha_Inicio->setTag(QStringLiteral("2"));
    label(this, QStringLiteral("Al:"), 7620, 1200, 420);
    dpFecha_Final = make(this, unattended::dpFecha_Final);
    place(dpFecha_Final, 8100, 1200, 1455, kBoxHeight);
    dpFecha_Final->setTag(QStringLiteral("2"));
    chkFechas = make(this, unattended::chkFechas);
    chkFechas->setText(QStringLiteral("Considerar fechas"));
    place(chkFechas, 9720, 1200, 3495, kBoxHeight);
    chkFechas->setTag(QStringLiteral("2"));

    ssTabVek = make<TabStrip>(this, "ssTabVek");
    place(ssTabVek, 120, 1680, 14175, 6255);
    createHeaderPage();
    createNotesPage();
    createTotalsPage();
    createReturnsPage();

    // Tab order as designed; description, detail and total boxes take no focus.
    QWidget *order[] = {txtFolio, ssTabVek, dpFecha, txt_Comentario, txt_Mn_Cve_Moneda, txt_Sc_Cve_Sucursal,
                        txt_Al_Cve_Almancen, txt_Vn_Cve_Vendedor, txt_Cl_Cve_Cliente, txt_Fc_Factura,
                        txt_Referencia, txtCondicionVenta};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // State as designed: only the header page takes input.
    frDetalle->setEnabled(false);
    frDev->setEnabled(false);
    frTot->setEnabled(false);
    for (CheckBox *check : {chkFechas, chkFiltrarCondicion, chkMarcarN, chkMarcarD})
        check->setEnabled(false);
    fr0->setEnabled(true);
}

void frmQX417::createHeaderPage()
{
    fr0 = make<Frame>(nullptr, "fr0");
    fr0->resize(px(14055), px(4815));
    ssTabVek->addPage(QStringLiteral("Encabezado"), fr0);
    sh0 = band(fr0, "sh0");

    const int labelLeft = 0, keyLeft = 2280, descriptionLeft = 3960, rightLabel = 8160, rightBox = 10200;
    auto row = [](int n) { return 120 + 360 * n; };

    label(fr0, QStringLiteral("Fecha:"), labelLeft, row(0), 2175);
    dpFecha = make<DatePicker>(fr0, "dpFecha");
    place(dpFecha, keyLeft, row(0), 1575, kBoxHeight);
    dpFecha->setTag(QStringLiteral("2"));
    label(fr0, QStringLiteral("Factura:"), descriptionLeft, row(0), 1815);
    txt_Fc_Factura = make<SeriesNumberBox>(fr0, "txt_Fc_Factura");
    place(txt_Fc_Factura, 5880, row(0), 2175, kBoxHeight);
    txt_Fc_Factura->setTag(QStringLiteral("2"));

    label(fr0, QStringLiteral("Comentario:"), labelLeft, row(1), 2175);
    txt_Comentario = box(fr0, "txt_Comentario", keyLeft, row(1), 5775, "2");
    label(fr0, QStringLiteral("Referencia:"), rightLabel, row(1), 1935);
    txt_Referencia = box(fr0, "txt_Referencia", rightBox, row(1), 1815, "2");
    // What the clerk writes here goes into the invoice as bound values, never into a
    // statement's text: "Entrega a O'Brien" stays whole.
    txt_Comentario->setFreeText(true);
    txt_Referencia->setFreeText(true);

    label(fr0, QStringLiteral("Moneda:"), labelLeft, row(2), 2175);
    txt_Mn_Cve_Moneda = box(fr0, driven<KeyBox>(unattended::txt_Mn_Cve_Moneda), keyLeft, row(2), 1575, "2");
    txt_Mn_Descripcion = display(fr0, "txt_Mn_Descripcion", descriptionLeft, row(2), 4095);
    label(fr0, QStringLiteral("Tipo cambio:"), rightLabel, row(2), 1935);
    txt_Fc_Tipo_Cambio = box(fr0, "txt_Fc_Tipo_Cambio", rightBox, row(2), 1815, "1");
    txt_Fc_Tipo_Cambio->setNumberFormat(QStringLiteral("#,##0.0000"));

    label(fr0, QStringLiteral("Sucursal:"), labelLeft, row(3), 2175);
    txt_Sc_Cve_Sucursal = box(fr0, driven<KeyBox>(unattended::txt_Sc_Cve_Sucursal), keyLeft, row(3), 1575, "2");
    txt_Sc_Descripcion = display(fr0, "txt_Sc_Descripcion", descriptionLeft, row(3), 4095);
    label(fr0, QStringLiteral("Condición venta:"), rightLabel, row(3), 1935);
    txtCondicionVenta = box(fr0, driven<KeyBox>(unattended::txtCondicionVenta), rightBox, row(3), 855, "1");
    txtNCondicionVenta = display(fr0, "txtNCondicionVenta", 11160, row(3), 2775);

    label(fr0, QStringLiteral("Almacén:"), labelLeft, row(4), 2175);
    txt_Al_Cve_Almancen = box(fr0, driven<KeyBox>(unattended::txt_Al_Cve_Almancen), keyLeft, row(4), 1575, "2");
    txtAl_Descripcion = display(fr0, "txtAl_Descripcion", descriptionLeft, row(4), 4095);
    chkFiltrarCondicion = make(fr0, unattended::chkFiltrarCondicion);
    chkFiltrarCondicion->setText(QStringLiteral("Filtrar condición de venta"));
    place(chkFiltrarCondicion, rightBox, row(4), 3735, kBoxHeight);
    chkFiltrarCondicion->setTag(QStringLiteral("1"));

    label(fr0, QStringLiteral("Vendedor:"), labelLeft, row(5), 2175);
    txt_Vn_Cve_Vendedor = box(fr0, driven<KeyBox>(unattended::txt_Vn_Cve_Vendedor), keyLeft, row(5), 1575, "2");
    txt_Vn_Descripcion = display(fr0, "txt_Vn_Descripcion", descriptionLeft, row(5), 4095);
    cmdCuentaBancaria = make<FlatButton>(fr0, "cmdCuentaBancaria");
    cmdCuentaBancaria->setText(QStringLiteral("Método pago"));
    place(cmdCuentaBancaria, rightBox, row(5) - 15, 1815, kBoxHeight + 30);
    cmdCuentaBancaria->setTag(QStringLiteral("1"));

    label(fr0, QStringLiteral("Cliente:"), labelLeft, row(6), 2175);
    txt_Cl_Cve_Cliente = box(fr0, driven<KeyBox>(unattended::txt_Cl_Cve_Cliente), keyLeft, row(6), 1575, "2");
    txt_Clt_Descripcion = display(fr0, "txt_Clt_Descripcion", descriptionLeft, row(6), 4095, "5");
    label(fr0, QStringLiteral("Segmento:"), rightLabel, row(6), 1935);
    txt_Sg_Descripcion = display(fr0, "txt_Sg_Descripcion", rightBox, row(6), 3735, "5");

    label(fr0, QStringLiteral("Razón social:"), labelLeft, row(7), 2175);
    txt_Cl_Razon_Social_1 = display(fr0, "txt_Cl_Razon_Social_1", keyLeft, row(7), 5775, "5");
    label(fr0, QStringLiteral("Ruta:"), rightLabel, row(7), 1935);
    txt_Rt_Descripcion = display(fr0, "txt_Rt_Descripcion", rightBox, row(7), 3735, "5");

    label(fr0, QStringLiteral("Domicilio:"), labelLeft, row(8), 2175);
    txt_Cl_Direccion_1 = display(fr0, "txt_Cl_Direccion_1", keyLeft, row(8), 5775, "5");
    label(fr0, QStringLiteral("Días crédito:"), rightLabel, row(8), 1935);
    txt_Cl_Dias_Credito = display(fr0, "txt_Cl_Dias_Credito", rightBox, row(8), 1815, "5");

    label(fr0, QStringLiteral("RFC:"), labelLeft, row(9), 2175);
    txt_Cl_R_F_C = display(fr0, "txt_Cl_R_F_C", keyLeft, row(9), 5775, "5");
    label(fr0, QStringLiteral("Crédito disponible:"), rightLabel, row(9), 1935);
    txt_Credito_Disponible = display(fr0, "txt_Credito_Disponible", rightBox, row(9), 1815, "5");
    txt_Credito_Disponible->setNumberFormat(QStringLiteral("$#,##0.00"));

    lookup(txt_Sc_Cve_Sucursal, "SUCURSAL",
           "SELECT Sc_Descripcion FROM Sucursal WHERE Sc_Cve_Sucursal = '?' AND Es_Cve_Estado <> 'BA'",
           "txt_Sc_Descripcion", "CT001");
    lookup(txt_Al_Cve_Almancen, "ALMACEN",
           "SELECT Al_Descripcion FROM Almacen WHERE Al_Cve_Almacen= '?' AND Es_Cve_Estado <> 'BA'",
           "txtAl_Descripcion", "CT002");
    lookup(txt_Cl_Cve_Cliente, "CLIENTE",
           "SELECT Cl_Descripcion FROM Cliente WHERE Cl_Cve_Cliente = '?' AND Es_Cve_Estado <> 'BA'",
           "txt_Clt_Descripcion", "CT010");
    lookup(txt_Vn_Cve_Vendedor, "VENDEDOR",
           "SELECT Vn_Descripcion FROM Vendedor WHERE Vn_Cve_Vendedor = '?' AND Es_Cve_Estado <> 'BA'",
           "txt_Vn_Descripcion", "CT020");
    lookup(txt_Mn_Cve_Moneda, "MONEDA",
           "SELECT Mn_Descripcion FROM Moneda WHERE Mn_Cve_Moneda = '?' AND Es_Cve_Estado <> 'BA'",
           "txt_Mn_Descripcion", "CT030");
    lookup(txtCondicionVenta, "CONDICION_VENTA",
           "SELECT Cv_Descripcion FROM Condicion_Venta WHERE Cv_Cve_Condicion_Venta = '?' AND Es_Cve_Estado <> 'BA'",
           "txtNCondicionVenta", "CT040");
    // The condition's box is too narrow for its button: F2 opens the list.
    txtCondicionVenta->setShowLookupButton(false);

    // What each box takes is what its column holds: a longer text is refused with a word,
    // never cut in the box or by the database.
    const struct
    {
        KeyBox *box;
        int length;
    } columns[] = {{txt_Comentario, 250}, {txt_Referencia, 60}, {txt_Mn_Cve_Moneda, 5},
                   {txt_Sc_Cve_Sucursal, 20}, {txt_Al_Cve_Almancen, 20}, {txt_Vn_Cve_Vendedor, 20},
                   {txt_Cl_Cve_Cliente, 20}, {txtCondicionVenta, 20}};
    for (const auto &column : columns)
        column.box->setMaxLength(column.length);
}

namespace {

// A page of documents: its mark-all box, its list and, under the list, the frame with the
// five totals of the checked rows (Suma, Desc. global, Sub-Total, Impuestos, Total).
struct TotalBox
{
    KeyBox *&box;
    const char *name;
};

void documentsPage(Frame *page, CheckBox *&markAll, const char *markAllName, CheckList *&list, const char *listName,
                   Frame *&totals, const char *totalsName, const std::array<TotalBox, 5> &boxes)
{
    markAll = make<CheckBox>(page, markAllName);
    markAll->setText(QStringLiteral("Marcar todos"));
    place(markAll, 120, 120, 2400, kBoxHeight);
    markAll->setTag(QStringLiteral("1"));
    list = make<CheckList>(page, listName);
    place(list, 0, 480, 11295, 3255);
    list->setTag(QStringLiteral("1"));
    addListColumns(list);

    totals = make<Frame>(page, totalsName);
    place(totals, 3000, 3800, 8295, 1095);
    const struct
    {
        const char *caption;
        int labelLeft, boxLeft, top, labelWidth;
    } places[] = {{"Suma:", 0, 1440, 0, 1380}, {"Desc. global:", 0, 1440, 360, 1380}, {"Sub-Total:", 4320, 6120, 0, 1740},
                  {"Impuestos:", 4320, 6120, 360, 1740}, {"Total:", 4320, 6120, 720, 1740}};
    for (size_t i = 0; i < boxes.size(); ++i) {
        label(totals, QLatin1String(places[i].caption), places[i].labelLeft, places[i].top, places[i].labelWidth);
        boxes[i].box = total(totals, boxes[i].name, places[i].boxLeft, places[i].top);
    }
}

} // namespace

void frmQX417::createNotesPage()
{
    frDetalle = make<Frame>(nullptr, "frDetalle");
    frDetalle->resize(px(11775), px(5055));
    ssTabVek->addPage(QStringLiteral("Notas de venta"), frDetalle);
    sh1 = band(frDetalle, "sh1");
    documentsPage(frDetalle, chkMarcarN, driven<CheckBox>(unattended::chkMarcarN), lvNotas,
                  driven<CheckList>(unattended::lvNotas), frTotal, "frTotal",
                  {{{txtSuma, "txtSuma"}, {txtDescuento_Global, "txtDescuento_Global"}, {txtSubtotal, "txtSubtotal"},
                    {txtImpuestos, "txtImpuestos"}, {txtTotal, "txtTotal"}}});
}

void frmQX417::createReturnsPage()
{
    // The returns of a reopened invoice get a page of their own, after the designed ones,
    // so that every page enables exactly its own frame.
    frDev = make<Frame>(nullptr, "frDev");
    frDev->resize(px(11295), px(5775));
    ssTabVek->addPage(QStringLiteral("Devoluciones"), frDev);
    band(frDev, "shDev");
    documentsPage(frDev, chkMarcarD, "chkMarcarD", lvDevoluciones, "lvDevoluciones", frDevTotal, "frDevTotal",
                  {{{txtDevSuma, "txtDevSuma"}, {txtDevDescuento_Global, "txtDevDescuento_Global"},
                    {txtDevSubtotal, "txtDevSubtotal"}, {txtDevImpuestos, "txtDevImpuestos"},
                    {txtDevTotal, "txtDevTotal"}}});
}

void frmQX417::createTotalsPage()
{
    frTot = make<Frame>(nullptr, "frTot");
    frTot->resize(px(14055), px(4815));
    ssTabVek->addPage(QStringLiteral("Totales"), frTot);
    sh3 = band(frTot, "sh3");
    Frame4 = make<Frame>(frTot, "Frame4");
    place(Frame4, 240, 360, 8655, 1215);
    // The left boxes end before the right labels begin (at 4440).
    label(Frame4, QStringLiteral("Suma:"), 0, 120, 2175);
    txtFacSuma = total(Frame4, "txtFacSuma", 2280, 120, 2040);
    label(Frame4, QStringLiteral("Desc. global:"), 0, 480, 2175);
    txtFacDescuento_Global = total(Frame4, "txtFacDescuento_Global", 2280, 480, 2040);
    label(Frame4, QStringLiteral("Sub-Total:"), 4440, 120, 1740);
    txtFacSubtotal = total(Frame4, "txtFacSubtotal", 6240, 120);
    label(Frame4, QStringLiteral("Impuestos:"), 4440, 480, 1740);
    txtFacImpuestos = total(Frame4, "txtFacImpuestos", 6240, 480);
    label(Frame4, QStringLiteral("Total:"), 4440, 840, 1740);
    txtFacTotal = total(Frame4, driven<KeyBox>(unattended::txtFacTotal), 6240, 840);
}

} // namespace qx417
