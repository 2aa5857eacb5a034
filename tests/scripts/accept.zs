# A global invoice of the day, from New to Accept, on the demo company.
clock 2026-12-06T10:30:00
sql "INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Fecha, Vn_Credito, Cl_Cve_Cliente, Vn_Cve_Vendedor, Mn_Cve_Moneda, Sc_Cve_Sucursal, Vn_Forma_Pago, Es_Cve_Estado) VALUES ('NV-CERO', '2026-12-06', 'NO', 'PUBLICO', 'V01', 'MXN', 'S01', '01', 'AC')"
sql "INSERT INTO Venta SELECT * FROM Venta_Encabezado WHERE Vn_Folio = 'NV-CERO'"
open QX417
click Controles Nuevo
type txt_Mn_Cve_Moneda MXN
enter txt_Mn_Cve_Moneda
type txt_Cl_Cve_Cliente PUBLICO
enter txt_Cl_Cve_Cliente
show txtCondicionVenta Text
sql "UPDATE Condicion_Venta SET Cv_Tipo_Condicion = '02' WHERE Cv_Cve_Condicion_Venta = 'CONT'"
click Controles Opcion1
# Nothing marked: refused before anything is written.
click Controles Aceptar
show Controles IsNew
click chkMarcarN
show txtTotal Value
show txt_Fc_Factura Text
click Controles Aceptar
show Controles IsNew
show lvNotas
sql "SELECT Fc_Folio, Fc_Serie, Fc_Factura, Fc_Numero, Fc_Credito, Fc_Condicion_Venta, Fc_Condicion_Tipo_02, Fc_Precio_Lista_Importe, Fc_Impuesto_Importe, Fc_Precio_Neto_Importe, Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000007'"
sql "SELECT Fc_Credito, Fc_Condicion_Venta FROM Factura_Encabezado WHERE Fc_Folio = 'FG-000007'"
# Lines follow the order the engine returns the notes in, so their identifiers are left out.
sql "SELECT Vn_Folio, Pr_Cve_Producto, Un_Cve_Unidad, Fl_Precio_Lista_Importe, Fl_Descuento_Importe, Fl_Precio_Descontado_Importe, Fl_Impuesto_Importe, Fl_Precio_Neto_Importe FROM Factura_Linea WHERE Fc_Folio = 'FG-000007' ORDER BY Vn_Folio"
sql "SELECT l.Vn_Folio, i.Fi_ID, i.Im_Cve_Impuesto, i.Im_Cuenta_Contable, i.Fi_Base, i.Im_Importe FROM Factura_Impuesto i INNER JOIN Factura_Linea l ON l.Fc_Folio = i.Fc_Folio AND l.Fc_ID = i.Fc_ID WHERE i.Fc_Folio = 'FG-000007' ORDER BY l.Vn_Folio, i.Fi_ID"
sql "SELECT Vn_Folio, Fc_Folio, Fc_Factura, Es_Cve_Estado, Oper_Ult_Modif, Fecha_Ult_Modif FROM Venta WHERE Fc_Folio = 'FG-000007' ORDER BY Vn_Folio"
sql "SELECT count(*) AS notas FROM Venta_Encabezado WHERE Fc_Folio = 'FG-000007' AND Fc_Factura = 'FG-7' AND Es_Cve_Estado = 'FA'"
sql "SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = 'FG'"
sql "SELECT Cd_Tabla, Cd_Documento FROM Comprobante_Digital WHERE Cd_Documento = 'FG-000007'"
