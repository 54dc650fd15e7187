#pragma once
// Where a registration goes: machine-wide, as regsvr32 Pelvaro.dll registers, or for the current
// user alone, as regsvr32 /n /i:user Pelvaro.dll does, which needs no administrator.

namespace pelvaro {

enum class RegistrationScope { Machine, User };

}  // namespace pelvaro
