#pragma once

// The controls of the screen frmQX417 that a run without a clerk drives (the night run of
// global invoices, the cancellation commands). The screen names these controls with these
// constants and the run finds them with the same constants, each carrying the kind of
// control it is: renaming one, or changing its kind, breaks the build instead of a run at
// night. Header only: the application loads the module as a plugin and links none of it.

namespace zentaro {
class CheckBox;
class CheckList;
class DatePicker;
class KeyBox;
class Toolbar;
} // namespace zentaro

namespace qx417::unattended {

// A control's objectName together with its kind.
template<typename Control>
struct ControlName
{
    const char *text;
};

inline constexpr ControlName<zentaro::Toolbar> Controles{"Controles"};
inline constexpr ControlName<zentaro::KeyBox> txtFolio{"txtFolio"};
inline constexpr ControlName<zentaro::KeyBox> txt_Sc_Cve_Sucursal{"txt_Sc_Cve_Sucursal"};
inline constexpr ControlName<zentaro::KeyBox> txt_Al_Cve_Almancen{"txt_Al_Cve_Almancen"};
inline constexpr ControlName<zentaro::KeyBox> txt_Cl_Cve_Cliente{"txt_Cl_Cve_Cliente"};
inline constexpr ControlName<zentaro::KeyBox> txt_Vn_Cve_Vendedor{"txt_Vn_Cve_Vendedor"};
inline constexpr ControlName<zentaro::KeyBox> txtCondicionVenta{"txtCondicionVenta"};
inline constexpr ControlName<zentaro::KeyBox> txt_Mn_Cve_Moneda{"txt_Mn_Cve_Moneda"};
inline constexpr ControlName<zentaro::CheckBox> chkFiltrarCondicion{"chkFiltrarCondicion"};
inline constexpr ControlName<zentaro::CheckBox> chkFechas{"chkFechas"};
inline constexpr ControlName<zentaro::DatePicker> dpFecha_Inicio{"dpFecha_Inicio"};
inline constexpr ControlName<zentaro::DatePicker> dpFecha_Final{"dpFecha_Final"};
inline constexpr ControlName<zentaro::CheckList> lvNotas{"lvNotas"};
inline constexpr ControlName<zentaro::CheckBox> chkMarcarN{"chkMarcarN"};
inline constexpr ControlName<zentaro::KeyBox> txtFacTotal{"txtFacTotal"};

} // namespace qx417::unattended
