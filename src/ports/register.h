// The ports layer's classes, added to a factory by one explicit call. The command-line tool,
// the desktop program, the tests and the fuzz targets all make their documents with it.
#pragma once

namespace t32 {

class TItemFactory;

// Adds every port (by section code and menu tag) and every port child (by parent class and
// section code) to the factory. Calling it again changes nothing.
void RegisterPorts(TItemFactory& f);
// DefaultFactory() with the ports registered (once).
TItemFactory& PortsFactory();

}  // namespace t32
