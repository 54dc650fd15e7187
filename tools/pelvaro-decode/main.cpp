// pelvaro-decode: shows what the receiver makes of text captured from a modem.

#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modem/ModemFraming.h"
#include "sms/ClientMessage.h"
#include "tools/pelvaro-decode/JsonText.h"
#include "tools/pelvaro-decode/Utf8.h"

namespace {

constexpr int kAllDecoded = 0;
constexpr int kSomeUndecoded = 1;
constexpr int kBadUsage = 2;

constexpr std::string_view kUsage =
    R"(Usage: pelvaro-decode [--full] [--json] [TEXT...]

Decodes SMS PDU text as received from a GSM modem and prints the summary text
that Pelvaro raises to its clients for it.

Each TEXT is one input as the modem sent it: a bare hexadecimal PDU, or a
"+CMT" header line and the PDU on the next line (in bash: $'+CMT: ,24\n0791...').
Without TEXT, standard input is one input, for example a captured session.
An input is read as Pelvaro reads the modem: lines may end in CR LF, CR or LF,
each "+CMT" delivery in it is decoded, and echoes and result lines such as OK
are passed over.

Output: each summary as UTF-8, its lines ending
in LF, with a blank line between summaries. An input without a PDU prints
nothing and is reported on standard error.

Options:
  --full   the reading that "Full Decoding=1" in SerComm.ini selects: the
           sender's number or name, when the message was sent ("Sent:"),
           every coding, and the parts of a long message among the inputs,
           in any order, joined into one summary; a message still
           incomplete at the end is printed last, each missing part
           marked […]
  --json   one JSON object per message and line instead:
           {"summary": "..."} with the summary's CR LF kept as \r\n,
           or {"error": "no PDU"} when no octet could be converted; with
           --full also "sender", "center", "sent" and "discharged" (the
           summary's time stamps, or null), "text", "coding" (gsm7, 8bit,
           ucs2 or compressed), "class" (0 to 3, or null) and "parts" (how
           many were joined)
  --help   show this text

Exit status: 0 when every input gave a summary, 1 when one did not,
2 for bad usage.
)";

struct Options {
    bool full = false;
    bool json = false;
    bool help = false;
    std::vector<std::string> texts;
};

bool ParseArguments(int argc, char** argv, Options& options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            options.texts.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--full") {
            options.full = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            std::cerr << "pelvaro-decode: unknown option " << arg << " (see --help)\n";
            return false;
        }
    }
    return true;
}

// The summary for a terminal: CR LF becomes LF.
std::string ForTerminal(const std::string& summary) {
    std::string out;
    for (std::size_t i = 0; i < summary.size(); ++i) {
        if (summary[i] == '\r' && i + 1 < summary.size() && summary[i + 1] == '\n') {
            continue;
        }
        out += summary[i];
    }
    return out;
}

const char* CodingName(const pelvaro::DataCoding& coding) {
    if (coding.compressed) return "compressed";
    switch (coding.coding) {
        case pelvaro::Coding::EightBit:
            return "8bit";
        case pelvaro::Coding::Ucs2:
            return "ucs2";
        default:
            return "gsm7";
    }
}

std::string JsonUtf16(std::u16string_view text) {
    return pelvaro::JsonString(pelvaro::Utf8FromUtf16(text));
}

// The fields of the full reading, after the summary.
std::string FullFields(const pelvaro::ClientMessage& message) {
    const std::u16string_view text =
        message.textStart == std::u16string::npos
            ? std::u16string_view()
            : std::u16string_view(message.text).substr(message.textStart);
    const int messageClass = message.coding.messageClass;
    const auto stamp = [](std::u16string_view value) {
        return value.empty() ? std::string("null") : JsonUtf16(value);
    };
    return ", \"sender\": " + JsonUtf16(message.Sender()) +
           ", \"center\": " + JsonUtf16(message.Centre()) + ", \"sent\": " + stamp(message.Sent()) +
           ", \"discharged\": " + stamp(message.Discharged()) + ", \"text\": " + JsonUtf16(text) +
           ", \"coding\": \"" + CodingName(message.coding) + "\", \"class\": " +
           (messageClass < 0 ? std::string("null") : std::to_string(messageClass)) +
           ", \"parts\": " + std::to_string(message.parts);
}

// Prints each input's outcome in the chosen form.
class Printer {
  public:
    Printer(bool json, bool full) : json_(json), full_(full) {}

    void Summary(const pelvaro::ClientMessage& message) {
        const std::string summary = pelvaro::Utf8FromUtf16(message.text);
        if (json_) {
            std::cout << "{\"summary\": " << pelvaro::JsonString(summary)
                      << (full_ ? FullFields(message) : "") << "}\n";
        } else {
            std::cout << (printedSummary_ ? "\n" : "") << ForTerminal(summary) << '\n';
        }
        printedSummary_ = true;
    }

    void NoPdu(std::size_t inputNumber) {
        std::cerr << "pelvaro-decode: input " << inputNumber << ": no PDU\n";
        if (json_) {
            std::cout << "{\"error\": \"no PDU\"}\n";
        }
    }

  private:
    bool json_;
    bool full_;
    bool printedSummary_ = false;
};

// False when the input held no delivery, or a delivery held no PDU; each is reported in its place.
bool Decode(const std::string& input, std::size_t inputNumber, pelvaro::MessageReader& reader,
            Printer& printer) {
    pelvaro::ModemFraming framing(input, {}, true);
    bool found = false;
    bool allDecoded = true;
    for (pelvaro::Delivery delivery; framing.Next(delivery);) {
        found = true;
        std::vector<pelvaro::ClientMessage> ready;
        if (!reader.Read(delivery, pelvaro::MessageReader::Clock::now(), ready)) {
            printer.NoPdu(inputNumber);
            allDecoded = false;
        }
        for (const pelvaro::ClientMessage& message : ready) printer.Summary(message);
    }
    if (!found) printer.NoPdu(inputNumber);
    return found && allDecoded;
}

std::string ReadAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        return kBadUsage;
    }
    if (options.help) {
        std::cout << kUsage;
        return kAllDecoded;
    }

    if (options.texts.empty()) {
        std::string input = ReadAll(std::cin);
        if (input.find_first_not_of(" \t\r\n") == std::string::npos) {
            std::cerr << "pelvaro-decode: no input (see --help)\n";
            return kBadUsage;
        }
        options.texts.push_back(std::move(input));
    }
    const std::vector<std::string>& inputs = options.texts;

    Printer printer(options.json, options.full);
    pelvaro::MessageReader reader(options.full);
    bool allDecoded = true;
    try {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            allDecoded = Decode(inputs[i], i + 1, reader, printer) && allDecoded;
        }
        std::vector<pelvaro::ClientMessage> incomplete;
        reader.Flush(incomplete);
        for (const pelvaro::ClientMessage& message : incomplete) printer.Summary(message);
    } catch (const std::exception& e) {
        std::cerr << "pelvaro-decode: " << e.what() << "\n";
        return kSomeUndecoded;
    }
    return allDecoded ? kAllDecoded : kSomeUndecoded;
}
