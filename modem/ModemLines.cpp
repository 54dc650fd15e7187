#include "modem/ModemLines.h"

#include <algorithm>
#include <charconv>

#include "modem/AsciiText.h"

namespace pelvaro {
namespace {

enum class Match { Whole, Prefix };

struct LineRule {
    std::string_view text;
    Match match;
    LineKind kind;
};

// Searched in order; the first rule that matches decides.
constexpr LineRule kRules[] = {
    {"OK", Match::Whole, LineKind::FinalResult},
    {"ERROR", Match::Whole, LineKind::FinalResult},
    {"+CMS ERROR:", Match::Prefix, LineKind::FinalResult},
    {"+CME ERROR:", Match::Prefix, LineKind::FinalResult},
    {"COMMAND NOT SUPPORT", Match::Whole, LineKind::FinalResult},
    {"TOO MANY PARAMETERS", Match::Whole, LineKind::FinalResult},
    {"+CMTI:", Match::Prefix, LineKind::Announcement},
    {"+CDS:", Match::Prefix, LineKind::SmsStatusReport},
    // A module that starts afresh says so, and has forgotten its message service and routing.
    {"RDY", Match::Whole, LineKind::Restart},
    {"+CFUN: 1", Match::Whole, LineKind::Restart},
    {"SMS Ready", Match::Whole, LineKind::Restart},
    {"^SYSSTART", Match::Whole, LineKind::Restart},
    // Huawei sticks send ^BOOT every few seconds too; only after a silence is it a new start.
    {"^BOOT:", Match::Prefix, LineKind::RestartAfterSilence},
    // Calls, network registration, indicators and USSD: none is for the receiver.
    {"RING", Match::Whole, LineKind::Report},
    {"NO CARRIER", Match::Whole, LineKind::Report},
    {"Call Ready", Match::Whole, LineKind::Report},
    {"PB DONE", Match::Whole, LineKind::Report},
    {"+CPIN: READY", Match::Whole, LineKind::SimReady},
    {"+CRING:", Match::Prefix, LineKind::Report},
    {"+CLIP:", Match::Prefix, LineKind::Report},
    {"+CCWA:", Match::Prefix, LineKind::Report},
    {"+CREG:", Match::Prefix, LineKind::Report},
    {"+CGREG:", Match::Prefix, LineKind::Report},
    {"+CEREG:", Match::Prefix, LineKind::Report},
    {"+C5GREG:", Match::Prefix, LineKind::Report},
    {"+CGEV:", Match::Prefix, LineKind::Report},
    {"+CIEV:", Match::Prefix, LineKind::Report},
    {"+CUSD:", Match::Prefix, LineKind::Report},
    {"+CSSI:", Match::Prefix, LineKind::Report},
    {"+CSSU:", Match::Prefix, LineKind::Report},
    {"+CTZV:", Match::Prefix, LineKind::Report},
    {"+CTZE:", Match::Prefix, LineKind::Report},
    {"+CDSI:", Match::Prefix, LineKind::Report},
    {"+QIND:", Match::Prefix, LineKind::Report},
    {"+STIN:", Match::Prefix, LineKind::Report},
    // Huawei's (^RSSI, ^DSFLOWRPT, ^MODE, ^SRVST, ...) and other makers' own reports.
    {"^", Match::Prefix, LineKind::Report},
};

std::string_view Unquoted(std::string_view item) {
    while (!item.empty() && (item.front() == ' ' || item.front() == '"')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '"')) item.remove_suffix(1);
    return item;
}

bool Matches(std::string_view line, const LineRule& rule) {
    if (rule.match == Match::Whole) return EqualsNoCase(line, rule.text);
    return StartsWithNoCase(line, rule.text);
}

}  // namespace

bool ParseNumber(std::string_view field, int& value) {
    field = Unquoted(field);
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() && !field.empty();
}

std::vector<std::string_view> InformationFields(std::string_view line) {
    std::vector<std::string_view> fields;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return fields;
    std::size_t start = colon + 1;
    bool quoted = false;
    for (std::size_t at = start; at <= line.size(); ++at) {
        if (at < line.size() && line[at] == '"') quoted = !quoted;
        if (at == line.size() || (line[at] == ',' && !quoted)) {
            fields.push_back(Unquoted(line.substr(start, at - start)));
            start = at + 1;
        }
    }
    return fields;
}

LineKind ClassifyLine(std::string_view line) {
    for (const LineRule& rule : kRules) {
        if (Matches(line, rule)) return rule.kind;
    }
    return LineKind::Other;
}

// +CMTI: "SM",3
bool ParseAnnouncement(std::string_view line, StoredIndex& stored) {
    const std::vector<std::string_view> fields = InformationFields(line);
    int index = -1;
    if (fields.size() < 2 || !ParseNumber(fields.back(), index) || index < 0) return false;
    stored = {fields.front(), index};
    return true;
}

bool ParseListing(std::string_view header, int& index, int& status) {
    const std::vector<std::string_view> fields = InformationFields(header);
    return fields.size() >= 2 && ParseNumber(fields[0], index) && ParseNumber(fields[1], status);
}

std::vector<OfferedList> ParseOffers(std::string_view line) {
    std::vector<OfferedList> lists;
    std::size_t at = line.find('(');
    while (at != std::string_view::npos) {
        const std::size_t close = line.find(')', at);
        if (close == std::string_view::npos) break;
        OfferedList& list = lists.emplace_back();
        std::string_view items = line.substr(at + 1, close - at - 1);
        while (!items.empty()) {
            const std::size_t comma = std::min(items.find(','), items.size());
            const std::string_view item = Unquoted(items.substr(0, comma));
            if (!item.empty()) list.push_back(item);
            items.remove_prefix(std::min(comma + 1, items.size()));
        }
        at = line.find('(', close);
    }
    return lists;
}

bool Offers(const OfferedList& list, int value) {
    for (const std::string_view item : list) {
        const std::size_t dash = item.find('-');
        int low = 0;
        int high = 0;
        if (dash == std::string_view::npos) {
            if (ParseNumber(item, low) && low == value) return true;
        } else if (ParseNumber(item.substr(0, dash), low) &&
                   ParseNumber(item.substr(dash + 1), high) && low <= value && value <= high) {
            return true;
        }
    }
    return false;
}

}  // namespace pelvaro
