# The module opens in the host and the screen's SQL Server-style text runs on every engine.
open QX417
call Pantalla.Modulo
call frmQX417.Transaccion
call Padre.Modulo
sql INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Precio_Neto_Importe, Vn_Credito) VALUES ('A1', 1.005, 'SI')
sql INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Precio_Neto_Importe, Vn_Credito) VALUES ('A2', 2.675, 'NO')
sql SELECT Vn_Folio, ISNULL(NULL, Vn_Folio) AS Clave, CAST(Vn_Precio_Neto_Importe AS Decimal(18,2)) AS Importe, CASE Vn_Credito WHEN 'SI' THEN 'Crédito' ELSE 'Contado' END AS Tipo FROM Venta_Encabezado WHERE Vn_Folio IN ('A1', 'A2') ORDER BY Vn_Folio
sql SELECT SUM(CAST(Vn_Precio_Neto_Importe AS Decimal(18,2))) AS Total, ISNULL(SUM(CAST(Vn_Impuesto_Importe AS Decimal(18,2))), 0) AS Impuesto FROM Venta_Encabezado WHERE Vn_Folio LIKE 'A_'
sql "SELECT 1 AS uno; SELECT 2 AS dos"
