#pragma once
// The record of PINs sent, for every process of this user: the registry value "PIN record" under
// HKEY_CURRENT_USER\Software\Pelvaro. Each PIN there is a salted SHA-256 hash, never the PIN.

#include "modem/PinRecord.h"

namespace pelvaro {

inline constexpr wchar_t kPinRecordValue[] = L"PIN record";

class StoredPinRecord final : public PinRecord {
  public:
    Fate FateOf(std::string_view pin) override;
    void Record(std::string_view pin, Fate fate) override;
    void Forget() override;
};

}  // namespace pelvaro
