// pelvaro-decode: shows what the receiver makes of text captured from a modem.

#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/pelvaro-decode/Inputs.h"
#include "tools/pelvaro-decode/JsonText.h"
#include "tools/pelvaro-decode/Windows1252.h"
#include "sms/ModemText.h"
#include "sms/PduDecoder.h"

namespace {

constexpr int kAllDecoded = 0;
constexpr int kSomeUndecoded = 1;
constexpr int kBadUsage = 2;

constexpr std::string_view kUsage =
    R"(Usage: pelvaro-decode [--json] [TEXT...]

Decodes SMS PDU text as received from a GSM modem and prints the summary text
that Pelvaro raises to its clients for it.

Each TEXT is one input, taken as it stands: a bare hexadecimal PDU, or a "+CMT"
header line, CR LF and the PDU (in bash: $'+CMT: ,24\r\n0791...').
Without TEXT, standard input is read: every non-blank line is one input, except
that a line holding "+CM" (a result header) is joined with the line after it.
Lines may end in LF or CR LF.

Output: each summary, its Windows-1252 text shown as UTF-8 and its lines ending
in LF, with a blank line between inputs. An input without a PDU prints nothing
and is reported on standard error.

Options:
  --json   one JSON object per input and line instead:
           {"summary": "..."} with the summary's CR LF kept as \r\n,
           or {"error": "no PDU"} when no octet could be converted
  --help   show this text

Exit status: 0 when every input gave a summary, 1 when one did not,
2 for bad usage.
)";

struct Options {
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
    return pelvaro::Windows1252ToUtf8(out);
}

// Prints each input's outcome in the chosen form.
class Printer {
  public:
    explicit Printer(bool json) : json_(json) {}

    void Summary(const std::string& summary) {
        if (json_) {
            std::cout << "{\"summary\": "
                      << pelvaro::JsonString(pelvaro::Windows1252ToUtf8(summary)) << "}\n";
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
    bool printedSummary_ = false;
};

// False when the text held no PDU.
bool Decode(const std::string& text, std::size_t inputNumber, Printer& printer) {
    pelvaro::PduArea area;
    if (pelvaro::ModemTextToOctets(text, area) == 0) {
        printer.NoPdu(inputNumber);
        return false;
    }
    std::string summary;
    pelvaro::PduDecoder::BuildSummary(area, summary);
    printer.Summary(summary);
    return true;
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

    const std::vector<std::string> inputs =
        options.texts.empty() ? pelvaro::ReadInputs(std::cin) : options.texts;
    if (inputs.empty()) {
        std::cerr << "pelvaro-decode: no input (see --help)\n";
        return kBadUsage;
    }

    Printer printer(options.json);
    bool allDecoded = true;
    try {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            allDecoded = Decode(inputs[i], i + 1, printer) && allDecoded;
        }
    } catch (const std::exception& e) {
        std::cerr << "pelvaro-decode: " << e.what() << "\n";
        return kSomeUndecoded;
    }
    return allDecoded ? kAllDecoded : kSomeUndecoded;
}
