// The server table as the registry describes it: every class key of
// HKEY_CLASSES_ROOT that has a subkey "OPC", then the servers that the
// component categories list for OPC DA 1.0, 2.0 and 3.0 and that the first
// way did not find (many servers register only there).
#pragma once

#include "ClientRecords.h"

#include <string>

// Subkeys are enumerated by index with a 100-byte name buffer; the scan ends
// at the first answer that is not a name (the end, or a name of 100
// characters or more).  Keys that cannot be opened are passed over.  The
// table holds the kept names in the reverse of the enumeration order, each
// entry with its ProgID only.  The categories' servers follow, each under its
// ProgID, category by category (DA 1.0, 2.0, 3.0) in the order the category
// manager gives them; a class without a ProgID that fits a table entry, or
// whose ProgID is already listed, is not added.
ServerTable ScanServerTable();

// The default value of HKEY_CLASSES_ROOT\<progId> (a server's description),
// read into a 100-byte buffer; empty when the key cannot be opened or the
// value does not fit.
std::string ReadServerDescription(const std::string& progId);
