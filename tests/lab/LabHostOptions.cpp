#include "lab/LabHostOptions.h"

#include <charconv>

namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<std::string> HostArguments(const TLabHostOptions& options) {
    std::vector<std::string> arguments = {"--delay-us", std::to_string(options.DelayUs), "--drop",
                                          std::to_string(options.DropFraction)};
    if (options.ErrorType >= 0) {
        arguments.insert(arguments.end(), {"--error", std::to_string(options.ErrorType) + "/" +
                                                          std::to_string(options.ErrorCode)});
    }
    if (options.Decoys) {
        arguments.emplace_back("--decoys");
    }
    if (options.CutData >= 0) {
        arguments.insert(arguments.end(), {"--cut-data", std::to_string(options.CutData)});
    }
    if (options.FlipData) {
        arguments.emplace_back("--flip-data");
    }
    if (options.OtherSource) {
        arguments.emplace_back("--other-source");
    }
    return arguments;
}

bool ParseHostOptions(const std::vector<std::string>& arguments, TLabHostOptions& options) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        const std::string value = i + 1 < arguments.size() ? arguments[i + 1] : std::string();
        bool good = true;
        bool* flag = name == "--decoys"         ? &options.Decoys
                     : name == "--flip-data"    ? &options.FlipData
                     : name == "--other-source" ? &options.OtherSource
                                                : nullptr;
        if (flag != nullptr) {
            *flag = true;
            continue;
        }
        if (name == "--cut-data") {
            good = ParseNumber(value, options.CutData) && options.CutData >= 0;
        } else if (name == "--delay-us") {
            good = ParseNumber(value, options.DelayUs) && options.DelayUs >= 0;
        } else if (name == "--drop") {
            good = ParseNumber(value, options.DropFraction) && options.DropFraction >= 0 &&
                   options.DropFraction <= 1;
        } else if (name == "--error") {
            const size_t slash = value.find('/');
            good = slash != std::string::npos &&
                   ParseNumber(value.substr(0, slash), options.ErrorType) &&
                   ParseNumber(value.substr(slash + 1), options.ErrorCode) &&
                   options.ErrorType >= 0 && options.ErrorType < 256 && options.ErrorCode >= 0 &&
                   options.ErrorCode < 256;
        } else {
            good = false;
        }
        if (!good) {
            return false;
        }
        ++i;
    }
    return true;
}
