// Registry values regedit cannot carry as they are, moved between the
// device's registry text and Wine's own registry file (system.reg, which
// wineserver loads and saves byte for byte). regedit's import pads a
// DWORD of another size than 4 bytes and terminates a string; its export
// prints such a DWORD as if it had 4 bytes and cuts a string at a NUL.
#pragma once

#include <string>

#include "device/hive.h"

namespace wine {

// Whether regedit's import would store other bytes than the value has: a
// DWORD of another size than 4 bytes; a string (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) without its terminator or of an odd byte count; a REG_SZ
// with a NUL before its terminator.
bool ImportAlters(const sim::HiveValue& value);

// Seeding: `systemReg` (system.reg's text, read while no wineserver runs
// for the prefix) with every value of `seed` that the import alters
// written in raw form, replacing what the import stored or added at the
// end of its key. False with the key named when system.reg lacks a key.
bool SeedRawValues(sim::Hive& seed, const std::string& systemReg, std::string* out,
                   std::string* error);

// Reading back: the values system.reg holds in raw form (hex(1), hex(2),
// hex(4), hex(7), and strings with a NUL inside) replace those of the same
// key and name in `exported`, the registry regedit exported. Keys and
// values the export lacks are left out.
void ReadBackRawValues(const std::string& systemReg, sim::Hive* exported);

}  // namespace wine
