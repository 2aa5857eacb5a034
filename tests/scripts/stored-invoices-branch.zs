# A clerk bound to branch S02 is refused the invoices of another branch.
user CAJERO1
clock 2026-12-06T10:30:00
open QX417
type txtFolio FG-1
enter txtFolio
show Controles RecordEnabled
type txtFolio FZ-1
enter txtFolio
show Controles RecordEnabled Opcion2Caption
