# The header of a new global invoice: warning without the global product, a bound
# user's branch on every activation, page shortcuts, free text that keeps its apostrophes
# while a key drops them, credit customers and the rate.
clock 2026-12-06T10:30:00
sql UPDATE Variable_Configuracion SET Vc_Valor = '' WHERE Vc_Nombre = 'FAC_FACTURA_GLOBAL_PRODUCTO'
user CAJERO1
open QX417
show txt_Sc_Cve_Sucursal Text Locked Tag
show txt_Al_Cve_Almancen Text
show txt_Cl_Cve_Cliente sql
set txt_Sc_Cve_Sucursal Text S01
call frmQX417.activateScreen
show txt_Sc_Cve_Sucursal Text
key frmQX417 50 4
show ssTabVek Tab
key frmQX417 52 4
show ssTabVek Tab
key frmQX417 49 0
show ssTabVek Tab
key frmQX417 49 4
show ssTabVek Tab
click Controles Nuevo
show Controles IsNew Opcion1Caption
show txt_Mn_Cve_Moneda Text
show txt_Fc_Tipo_Cambio Value Enabled
type txt_Comentario "Entrega a O'Brien"
type txt_Referencia "Ped. 'A-12'"
show txt_Comentario Text
show txt_Referencia Text
type txt_Cl_Cve_Cliente "C-0'006"
enter txt_Cl_Cve_Cliente
show txt_Cl_Cve_Cliente Text
show txtCondicionVenta Text LookupFilter sql
show txtNCondicionVenta Text
show txt_Cl_R_F_C Text
type txt_Mn_Cve_Moneda USD
show txt_Fc_Tipo_Cambio Value Enabled
enter txt_Mn_Cve_Moneda
show txt_Fc_Tipo_Cambio Value Enabled
