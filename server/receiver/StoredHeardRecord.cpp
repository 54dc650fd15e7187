#include "server/receiver/StoredHeardRecord.h"

#include <windows.h>

#include <algorithm>

#include "win/Holders.h"
#include "win/UserRecords.h"

namespace pelvaro {
namespace {

constexpr wchar_t kValue[] = L"Messages heard";
// An hour in FILETIME's units of 100 ns; a day's messages of a busy modem fit in the count.
constexpr std::uint64_t kRemembered = 3600ull * 10000000ull;
constexpr std::size_t kMostRemembered = 1000;

std::uint64_t SystemTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

}  // namespace

StoredHeardRecord::StoredHeardRecord() {
    entries_.resize(kMostRemembered);
    DWORD size = static_cast<DWORD>(entries_.size() * sizeof(Entry));
    if (RegGetValueW(HKEY_CURRENT_USER, kUserRecordsKey, kValue, RRF_RT_REG_BINARY, nullptr,
                     entries_.data(), &size) != ERROR_SUCCESS) {
        size = 0;
    }
    entries_.resize(size / sizeof(Entry));
}

bool StoredHeardRecord::Heard(std::string_view pdu, Clock::time_point) {
    std::uint64_t identity = 0;
    if (!MessageIdentity(pdu, identity)) return false;
    const std::uint64_t since = SystemTime() - kRemembered;
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.identity == identity && entry.heardAt >= since;
    });
}

// As RepeatFilter::SeenOtherPart.
bool StoredHeardRecord::OtherPartHeard(std::string_view pdu, Clock::time_point) {
    std::uint64_t family = 0;
    std::uint8_t sequence = 0;
    if (!LongMessagePart(pdu, family, sequence)) return false;
    const std::uint64_t since = SystemTime() - kRemembered;
    const std::lock_guard<std::mutex> lock(mutex_);
    bool other = false;
    for (const Entry& entry : entries_) {
        if (entry.family != family || entry.heardAt < since) continue;
        if (entry.sequence == sequence) return false;
        other = true;
    }
    return other;
}

void StoredHeardRecord::Remember(std::string_view pdu, Clock::time_point) {
    std::uint64_t identity = 0;
    if (!MessageIdentity(pdu, identity)) return;
    std::uint64_t family = 0;
    std::uint8_t sequence = 0;
    LongMessagePart(pdu, family, sequence);
    const std::uint64_t now = SystemTime();
    const std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) {
                                      return entry.heardAt + kRemembered < now ||
                                             entry.identity == identity;
                                  }),
                   entries_.end());
    if (entries_.size() >= kMostRemembered) entries_.erase(entries_.begin());
    entries_.push_back({identity, family, sequence, now});
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserRecordsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueRegKey key(opened);
    RegSetValueExW(key.Get(), kValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(entries_.data()),
                   static_cast<DWORD>(entries_.size() * sizeof(Entry)));
}

}  // namespace pelvaro
