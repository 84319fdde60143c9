#include "tools/profile_tool.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace zb::tool {
namespace {

const char kUsage[] =
    "usage: profile-tool get-string FILE SECTION KEY DEFAULT SIZE\n"
    "       profile-tool get-int FILE SECTION KEY DEFAULT\n"
    "       profile-tool write FILE SECTION KEY VALUE\n"
    "An argument written as hex:<hex digits> stands for those bytes (hex: alone is\n"
    "the empty string).\n"
    "get-string prints the returned count, a tab and the returned characters in hex;\n"
    "get-int prints the returned value as an unsigned 32-bit number; write prints 1\n"
    "on success, 0 on failure.\n";

// An argument as bytes: "hex:" followed by pairs of hex digits is decoded,
// anything else taken as it is. nullopt for a malformed hex argument.
std::optional<std::string> DecodeArgument(std::string_view arg) {
    constexpr std::string_view kPrefix = "hex:";
    if (arg.substr(0, kPrefix.size()) != kPrefix)
        return std::string(arg);
    const std::string_view digits = arg.substr(kPrefix.size());
    if (digits.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = DigitValue(digits[i], 16);
        const int low = DigitValue(digits[i + 1], 16);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// A decimal number in [minimum, maximum], with an optional sign.
std::optional<long long> ParseDecimal(const std::string& text,
                                      long long minimum,
                                      long long maximum) {
    constexpr long long kTooLarge = 10'000'000'000;  // beyond every 32-bit value, either sign
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > kTooLarge)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kDigits[u >> 4];
        out += kDigits[u & 0x0F];
    }
    return out;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int RunProfileTool(int argc, char** argv, ProfileBackend& backend) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::optional<std::string> arg = DecodeArgument(argv[i]);
        if (!arg)
            return Usage();
        args.push_back(std::move(*arg));
    }
    if (args.empty())
        return Usage();
    const std::string& command = args[0];

    if (command == "get-string" && args.size() == 6) {
        const std::optional<long long> size = ParseDecimal(args[5], INT32_MIN, INT32_MAX);
        if (!size)
            return Usage();
        const StringResult result =
            backend.GetString(args[1], args[2], args[3], args[4], static_cast<int>(*size));
        std::printf("%lu\t%s\n", static_cast<unsigned long>(result.count),
                    Hex(result.text).c_str());
        return 0;
    }
    if (command == "get-int" && args.size() == 5) {
        // The default is a signed 32-bit number; 2147483648 to 4294967295
        // stand for the negative values with the same bits.
        const std::optional<long long> def = ParseDecimal(args[4], INT32_MIN, UINT32_MAX);
        if (!def)
            return Usage();
        const auto bits = static_cast<std::uint32_t>(*def);
        const std::uint32_t value =
            backend.GetInt(args[1], args[2], args[3], static_cast<std::int32_t>(bits));
        std::printf("%lu\n", static_cast<unsigned long>(value));
        return 0;
    }
    if (command == "write" && args.size() == 5) {
        const bool ok = backend.Write(args[1], args[2], args[3], args[4]);
        std::printf("%d\n", ok ? 1 : 0);
        return 0;
    }
    return Usage();
}

}  // namespace zb::tool
