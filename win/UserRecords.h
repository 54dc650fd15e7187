#pragma once
// Where Pelvaro keeps what it remembers for the user across processes: the PINs sent to the SIM
// and the messages heard (modem/StoredPinRecord.h, server/receiver/StoredHeardRecord.h).

namespace pelvaro {

inline constexpr wchar_t kUserRecordsKey[] = L"Software\\Pelvaro";

}  // namespace pelvaro
