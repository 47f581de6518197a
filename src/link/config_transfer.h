// "Прочитать конфигурацию" and "Записать конфигурацию": the controller's "Boot.ini" names the
// configuration file and tells the CPU type and program version; the image is built for that
// controller (compressed for CPU-927 programs of minor version 16 and later) or parsed from
// what it sent.
#pragma once
#include <string>

#include "project/cfgfile.h"

namespace t32 {
class TDocument;
}

namespace t32::link {

class TController;

// Builds the document's image for the controller and writes it. *cpu (when given) receives the
// controller's CPU type. False when any step failed (the message was shown).
bool WriteConfiguration(TController& controller, TDocument& doc, TCpu* cpu = nullptr);
// Reads the controller's configuration file into the document. The image must be of the
// controller's CPU type. False when any step failed (the tree is then unchanged).
bool ReadConfiguration(TController& controller, TDocument& doc, TCpu* cpu = nullptr);

}  // namespace t32::link
