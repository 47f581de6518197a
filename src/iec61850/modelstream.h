// The device model stream: the MMS client's whole state (addresses, OSI selectors, the
// variable tree, data sets, reports and GOOSE control blocks) as one block of bytes that a
// 61850 device item keeps in the configuration image. TMMSobject::SaveState and LoadState
// write and read it; node names are indexes into a dictionary the caller keeps and stores
// beside the block with the two functions below.
#pragma once
#include "iec61850/mmsclient.h"
#include "model/memstream.h"

namespace t32 {

// 32-bit version 1, 32-bit count, then each name as a length octet and its characters.
bool DictionaryMemWrite(TMemStream& s, const TStrDictionary& dict);
// The functional constraint a node takes from its place in the tree: its own two-letter name
// directly under a logical node, inherited below that.
void AssignFC(TMMSvar& n, const TStrDictionary& dict);

// Reads such a block into an empty dictionary; false on a damaged block.
bool DictionaryMemRead(TMemStream& s, TStrDictionary& dict);

}  // namespace t32
