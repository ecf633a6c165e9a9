// Builds a dialog's window from its template: the template's font, caption and size, and one Qt
// widget per control placed at its rectangle in dialog units.
#pragma once

#include <QFont>

#include "platform/window/dialog_template.h"
#include "platform/window/dialog_units.h"

struct Dialog;

// The font a template asks for, as the desktop has it.
QFont DialogFont(const DialogTemplate& dialogTemplate);
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Into the dialog's empty window; buttons and check boxes send the dialog WM_COMMAND.
void BuildDialogWindow(Dialog* dialog, const DialogTemplate& dialogTemplate);
