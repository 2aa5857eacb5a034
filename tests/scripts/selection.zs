# Building the selection of a global invoice from the demo's notes of the day.
clock 2026-12-06T10:30:00
open QX417
click Controles Nuevo
show Controles IsNew Opcion1Caption
type txt_Mn_Cve_Moneda ""
click Controles Opcion1
show ssTabVek Tab
type txt_Mn_Cve_Moneda MXN
enter txt_Mn_Cve_Moneda
type txt_Cl_Cve_Cliente PUBLICO
enter txt_Cl_Cve_Cliente
answer filter ""
click Controles Opcion1
show lvNotas
click Controles Opcion1
show lvNotas
show ssTabVek Tab
check lvNotas KNV-S01-000170 on
show txtTotal Value
show txtImpuestos Value
show txtSubtotal Value
show txtFacTotal Value
select lvNotas KNV-S01-000171 KNV-S01-000172 KNV-S01-000173
key lvNotas 32
show lvNotas
show txtTotal Value
click chkMarcarN
show chkMarcarN Caption
show txtSuma Value
show txtDescuento_Global Value
show txtSubtotal Value
show txtImpuestos Value
show txtTotal Value
show txtDevSuma Value
show txtDevDescuento_Global Value
show txtDevSubtotal Value
show txtDevImpuestos Value
show txtDevTotal Value
show txtFacSuma Value
show txtFacDescuento_Global Value
show txtFacSubtotal Value
show txtFacImpuestos Value
show txtFacTotal Value
click chkMarcarN
show chkMarcarN Caption
show txtTotal Value
call frmQX417.Notas_Seleccionadas VE
click lvNotas 1
show lvNotas
click lvNotas 1
show lvNotas
click Controles Cancelar
show Controles IsNew Opcion1Caption
show txtFolio Enabled
show lvNotas
