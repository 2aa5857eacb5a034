# A clerk's first hour: a currency that is not in the catalogue and a warehouse of the
# branch chosen before are refused as they are confirmed, a comment longer than its column
# is refused whole, and the pages turn with Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown and
# Ctrl+PgUp while every other key leaves them alone.
clock 2026-12-06T10:30:00
open QX417
click Controles Nuevo
type txt_Mn_Cve_Moneda ZZZ
enter txt_Mn_Cve_Moneda
show txt_Mn_Cve_Moneda Text Value
show txt_Mn_Descripcion Text
show txt_Fc_Tipo_Cambio Value Enabled
type txt_Mn_Cve_Moneda USD
enter txt_Mn_Cve_Moneda
show txt_Mn_Descripcion Text
show txt_Fc_Tipo_Cambio Enabled
show txt_Al_Cve_Almancen Text Value
type txt_Sc_Cve_Sucursal S02
enter txt_Sc_Cve_Sucursal
show txt_Al_Cve_Almancen Text Value
show txtAl_Descripcion Text
enter txt_Al_Cve_Almancen
type txt_Al_Cve_Almancen A03
enter txt_Al_Cve_Almancen
show txtAl_Descripcion Text
type txt_Comentario "Entrega en almacén"
type txt_Comentario "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
show txt_Comentario Text
key ssTabVek 9 2
show ssTabVek Tab
key ssTabVek 34 2
show ssTabVek Tab
key ssTabVek 33 2
show ssTabVek Tab
key ssTabVek 9 3
show ssTabVek Tab
key ssTabVek 9 3
show ssTabVek Tab
key ssTabVek 34 0
show ssTabVek Tab
