// Pictures of the program's views for the documentation and for reviewing the layout.
#pragma once
#include <QString>

namespace t32::ui {
class TForm1;
// Selects the node whose caption is `select` (when given), runs the steps of `script`
// ("add-board:TAG", "add-port:TAG", "open-ti", ...), and grabs the active window into `png`.
bool RunScreenshot(TForm1& form, const QString& select, const QString& script, const QString& png);
// Runs the steps of `script` on the window (also without a picture: a prepared configuration
// to look at or to test with). "rename-ts:ROW:NAME" renames a row of the first ТС source table.
void RunScript(TForm1& form, const QString& script);
}  // namespace t32::ui
