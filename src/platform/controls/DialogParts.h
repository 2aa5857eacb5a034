#pragma once

class QDialogButtonBox;
class QLabel;
class QWidget;

namespace zentaro::dialogparts {

// Aceptar / Cancelar: the suite's dialogs speak Spanish whatever Qt's translations say.
QDialogButtonBox *acceptCancelButtons(QWidget *parent);

// The red line under a form where a dialog says why it cannot be accepted yet.
QLabel *errorLine(QWidget *parent);

} // namespace zentaro::dialogparts
