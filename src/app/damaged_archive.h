// The reason shown, inside string 1, for an archive that fails its checks:
// a trailer that does not hold together or a payload that does not decode
// to its entries. Code page 1252.
#pragma once

inline constexpr char kDamagedArchiveReason[] = "Das Archiv ist besch\xE4"
                                                "digt";
