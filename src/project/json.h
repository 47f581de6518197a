// A JSON form of a configuration for review, bulk edits and version control. It mirrors the
// image record by record (sections with their codes, classes and entries), with every entry
// typed and named from the item classes' own setting lists, so that importing it writes the
// very same image again: nothing is lost in either direction.
#pragma once
#include <string>

#include "project/cfgfile.h"

namespace t32 {

class TDocument;

// The document as JSON text (pretty-printed, stable key order); empty when an item refuses to
// be written (its reason goes to the document's messages).
std::string ExportJson(TDocument& doc, TCpu cpu);
// Replaces the document by the configuration in the JSON text. On failure returns false with
// a message in *error and leaves the document unchanged.
bool ImportJson(TDocument& doc, const std::string& text, TCpu* cpu, std::string* error);

}  // namespace t32
