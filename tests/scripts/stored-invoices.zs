# Reopening the demo's stored invoices in their states, and cancelling one.
clock 2026-12-06T10:30:00
open QX417
# Unknown folio: nothing is shown and no command is offered.
type txtFolio FG-999999
enter txtFolio
show Controles
# Any typed form of a folio opens it; an unsigned invoice of an open period.
type txtFolio fg4
enter txtFolio
show txtFolio Text
show Controles
show txtTotal Value
# A state stored in lower case is an active invoice.
sql UPDATE Factura SET Es_Cve_Estado = 'ac' WHERE Fc_Folio = 'FG-000003'
type txtFolio FG-3
enter txtFolio
show Controles Opcion2Caption CancelEnabled
# A closed period withdraws the cancel command only.
sql UPDATE Periodo_Operativo SET Po_Abierto = 'NO'
type txtFolio FG-3
enter txtFolio
show Controles Opcion2Caption CancelEnabled OutputEnabled
sql UPDATE Periodo_Operativo SET Po_Abierto = 'SI'
# An invoice whose notes are all cancelled opens with an empty list.
sql UPDATE Venta_Encabezado SET Es_Cve_Estado = 'CA' WHERE Fc_Folio = 'FG-000003'
type txtFolio FG-3
enter txtFolio
show lvNotas
show txtTotal Value
# Cancelling an unsigned invoice frees its notes; its returns keep their folio.
type txtFolio FG-4
enter txtFolio
click Controles Eliminar
show txtFolio Text
sql SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = 'FG-000004'
sql SELECT count(*) AS n FROM Venta_Encabezado WHERE Fc_Folio = 'FG-000004'
sql SELECT Fc_Folio FROM Devolucion_Cliente WHERE Dc_Folio = 'DV-000003'
type txtFolio FG-4
enter txtFolio
show Controles
