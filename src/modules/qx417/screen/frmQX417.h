#pragma once

#include "platform/controls/ScriptableControl.h"
#include "platform/host/ModuleInterface.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace zentaro {
class CheckBox;
class CheckList;
class ColorScheme;
class DatePicker;
class FlatButton;
class Frame;
class KeyBox;
class Label;
class SeriesNumberBox;
class TabStrip;
class Toolbar;
} // namespace zentaro

namespace qx417 {

class WorkProgress;

// The screen "Facturación global SAT": the clerk gathers the uninvoiced sales notes of one
// branch and currency into one global invoice. Its procedures keep the names the screen
// gives them; each group of them lives in the file of its subject (start-up, header
// lookups, selection, cancel and exit).
class frmQX417 : public QWidget, public zentaro::HostedScreen, public zentaro::ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QObject *Padre READ Padre WRITE setPadre)
    Q_PROPERTY(QString Transaccion READ Transaccion)
    Q_PROPERTY(QString ErrorText MEMBER ErrorText)

public:
    explicit frmQX417(QWidget *parent = nullptr);
    ~frmQX417() override;

    QObject *Padre() const override { return m_padre; }
    void setPadre(QObject *padre) override { m_padre = padre; }
    QString Transaccion() const override;
    // The lots that the documents (quoted folios, comma-separated) of `Tabla` consumed, as
    // "lot@qty1@qty2@expiry@declaration@declaration date@customs" entries joined by "|";
    // "" when none or on a failure, whose reason is left in ErrorText.
    Q_INVOKABLE QString Traer_Lotes_Ventas(const QString &Tabla, const QString &Documentos);

    // Load (the first time) and activate, as the host runs them when it shows the screen.
    Q_INVOKABLE void activateScreen() override;

    // The folio list of the checked rows: "VE" the notes, anything else the returns.
    Q_INVOKABLE QString Notas_Seleccionadas(const QString &Tipo);
    Q_INVOKABLE void CalculaTotales();
    // Sends the signed document of `folio` by e-mail; see documents/EnviarCfd.cpp.
    Q_INVOKABLE void Enviar_CFD(const QString &folio, const QString &table, bool sendAlways);

    // ScriptableControl: key events of the window (key-up with its shift state).
    void scriptKey(int keyCode, int shift) override;
    QStringList scriptDefaultProperties() const override;

    QString ErrorText;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Layout (Layout.cpp, Geometry.cpp)
    void createControls();
    void createHeaderPage();
    void createNotesPage();
    void createReturnsPage();
    void createTotalsPage();
    void connectEvents();
    void Form_Resize();
    void fitPages();
    void ssTabVek_Click(int previousTab);

    // Start-up (StartUp.cpp)
    void Form_Load();
    void Form_Activate();
    void Form_KeyUp(int keyCode, int shift);

    // Header lookups (HeaderLookups.cpp)
    void txt_Sc_Cve_Sucursal_Change();
    void txt_Sc_Cve_Sucursal_Enter();
    void txt_Cl_Cve_Cliente_Change();
    void txt_Cl_Cve_Cliente_Enter();
    void txt_Mn_Cve_Moneda_Change();
    void txt_Mn_Cve_Moneda_Enter();
    void cmdCuentaBancaria_Click();
    void moveOnWithEnter(int keyCode);
    void LimpiaDocumentos();

    // Selection (selection/*.cpp)
    void Controles_Nuevo();
    void Controles_Opcion1();
    void CargaDocumentos();
    void loadNotes(const QString &statement);   // runs the candidates query and fills lvNotas
    void chkFechas_Click();
    void chkMarcarN_Click();
    void chkMarcarD_Click();
    void marcarTodos(zentaro::CheckList *list, zentaro::CheckBox *check, const char *title, const char *errorId);
    void lista_KeyDown(zentaro::CheckList *list, int &keyCode, int shift);
    void lvNotas_ColumnClick(int column);
    void Controles_Cancelar();
    void Controles_Salir();

    // Accept (invoicing/*.cpp)
    void Controles_Aceptar();
    bool periodoAbierto();
    bool encabezadoValido();
    // Every marked note can be billed as the invoice and its CFDI will bill it; otherwise
    // says which cannot and why (7500030) and answers false.
    bool notasFacturables();
    // Builds the invoice of the notes (quoted folios) inside Accept's transaction; "" on a
    // failure, whose reason is left in ErrorText.
    QString Facturar_Venta(const QString &notas, const QString &devoluciones, const QString &serie, qint32 numero);

    // Stored invoices (documents/*.cpp)
    void txtFolio_Change();
    void txtFolio_Enter();
    void avisoCancelacionPendiente(const QString &folio);
    void Get_Ventas_Cte();
    void Get_Devoluciones();
    void Controles_Opcion2();
    // The host's validation of a cancellation: true when the cancellation may go on; a
    // refusal has been shown (or the screen emptied) otherwise.
    bool cancelacionValidada();
    void Controles_Eliminar();
    void Controles_Imprimir();
    void Controles_Registro();

    // Messages and error traps as every procedure of the screen uses them.
    void showMessage(const QString &message, int style, const QString &title, const QString &errorId);
    // Runs `body` under the procedure's error trap: an error is shown with style 16, the
    // title and the identifier, and the procedure ends.
    bool trapped(const QString &title, const QString &errorId, const std::function<void()> &body);
    // A validation refusal: header tab, message, focus when the field is enabled.
    void refuse(const QString &message, const QString &title, const QString &errorId, QWidget *focus);
    // Connects a control's event to its handler the way the platform dispatches events.
    template<typename Signal, typename Handler>
    void on(const typename QtPrivate::FunctionPointer<Signal>::Object *sender, Signal signal,
            const QString &name, Handler handler);

public:
    // Controls, named as the screen names them (every one carries its name as objectName).
    zentaro::Toolbar *Controles = nullptr;
    zentaro::ColorScheme *colorVEK = nullptr;
    zentaro::KeyBox *txtFolio = nullptr;
    zentaro::DatePicker *dpFecha_Inicio = nullptr;
    zentaro::DatePicker *dpFecha_Final = nullptr;
    zentaro::CheckBox *chkFechas = nullptr;
    zentaro::TabStrip *ssTabVek = nullptr;
    zentaro::Frame *fr0 = nullptr;
    zentaro::Frame *frDetalle = nullptr;
    zentaro::Frame *frDev = nullptr;
    zentaro::Frame *frTot = nullptr;
    zentaro::Frame *frTotal = nullptr;
    zentaro::Frame *frDevTotal = nullptr;
    zentaro::Frame *Frame4 = nullptr;
    QWidget *sh0 = nullptr;
    QWidget *sh1 = nullptr;
    QWidget *sh3 = nullptr;

    zentaro::DatePicker *dpFecha = nullptr;
    zentaro::SeriesNumberBox *txt_Fc_Factura = nullptr;
    zentaro::KeyBox *txt_Comentario = nullptr;
    zentaro::KeyBox *txt_Referencia = nullptr;
    zentaro::KeyBox *txt_Mn_Cve_Moneda = nullptr;
    zentaro::KeyBox *txt_Mn_Descripcion = nullptr;
    zentaro::KeyBox *txt_Fc_Tipo_Cambio = nullptr;
    zentaro::KeyBox *txt_Sc_Cve_Sucursal = nullptr;
    zentaro::KeyBox *txt_Sc_Descripcion = nullptr;
    zentaro::KeyBox *txtCondicionVenta = nullptr;
    zentaro::KeyBox *txtNCondicionVenta = nullptr;
    zentaro::KeyBox *txt_Al_Cve_Almancen = nullptr;
    zentaro::KeyBox *txtAl_Descripcion = nullptr;
    zentaro::CheckBox *chkFiltrarCondicion = nullptr;
    zentaro::KeyBox *txt_Vn_Cve_Vendedor = nullptr;
    zentaro::KeyBox *txt_Vn_Descripcion = nullptr;
    zentaro::FlatButton *cmdCuentaBancaria = nullptr;
    zentaro::KeyBox *txt_Cl_Cve_Cliente = nullptr;
    zentaro::KeyBox *txt_Clt_Descripcion = nullptr;
    zentaro::KeyBox *txt_Sg_Descripcion = nullptr;
    zentaro::KeyBox *txt_Cl_Razon_Social_1 = nullptr;
    zentaro::KeyBox *txt_Rt_Descripcion = nullptr;
    zentaro::KeyBox *txt_Cl_Direccion_1 = nullptr;
    zentaro::KeyBox *txt_Cl_Dias_Credito = nullptr;
    zentaro::KeyBox *txt_Cl_R_F_C = nullptr;
    zentaro::KeyBox *txt_Credito_Disponible = nullptr;

    zentaro::CheckBox *chkMarcarN = nullptr;
    zentaro::CheckList *lvNotas = nullptr;
    zentaro::KeyBox *txtSuma = nullptr;
    zentaro::KeyBox *txtDescuento_Global = nullptr;
    zentaro::KeyBox *txtSubtotal = nullptr;
    zentaro::KeyBox *txtImpuestos = nullptr;
    zentaro::KeyBox *txtTotal = nullptr;

    zentaro::CheckBox *chkMarcarD = nullptr;
    zentaro::CheckList *lvDevoluciones = nullptr;
    zentaro::KeyBox *txtDevSuma = nullptr;
    zentaro::KeyBox *txtDevDescuento_Global = nullptr;
    zentaro::KeyBox *txtDevSubtotal = nullptr;
    zentaro::KeyBox *txtDevImpuestos = nullptr;
    zentaro::KeyBox *txtDevTotal = nullptr;

    zentaro::KeyBox *txtFacSuma = nullptr;
    zentaro::KeyBox *txtFacDescuento_Global = nullptr;
    zentaro::KeyBox *txtFacSubtotal = nullptr;
    zentaro::KeyBox *txtFacImpuestos = nullptr;
    zentaro::KeyBox *txtFacTotal = nullptr;

private:
    QPointer<QObject> m_padre;
    bool m_loaded = false;
    WorkProgress *m_invoicingProgress = nullptr;   // while Accept builds the invoice

    // Settings read at load.
    QString GlobalProductKey;
    QString m_monedaLocal;
    qint16 m_sugerirVendedor = 0;
    QString m_sucursalDefault;
    QString m_almacenDefault;
    bool m_enviarEmail = false;
    bool m_cambiaFecha = false;
};

} // namespace qx417
