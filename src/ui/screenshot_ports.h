// Screenshot script steps for the time, two-position, UNIO and automation ports.
#pragma once
#include <QStringList>

namespace t32::ui {

class TFrame1;

// "iec103-sample" gives the selected IEC 103 port two devices with a few table entries;
// "add-child:TAG" adds a child to the selected item (the UNIO port's modules);
// "module-mode:M" sets every relay module's mode; "ts2-sample" gives the selected
// two-position ТС port three records and shows the first with two storage rows;
// "auto-names" fills the selected automation port's lists. Other steps are ignored.
void RunPortStep(TFrame1& f, const QStringList& kv);

class TForm1;
// The logic port's rename dialog asked again with "Имя задачи уже используется" (the second
// task given the first one's name), over the window, saved as a PNG.
bool LDRenameScreenshot(TForm1& form, const QString& png);

}  // namespace t32::ui
