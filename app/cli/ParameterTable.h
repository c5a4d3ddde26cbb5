#pragma once

// A filter's parameter table as its module describes it (the JSON of OrvoExt_DescribeParameters,
// platform/Extension.h), and the parsing of command-line values by parameter kind.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::cli {

struct ParamInfo {
    int index = 0;
    std::string key, label, kind; // kind: "Range", "Boolean", "List", "Color", "Point", ...
    uint32_t flags = 0;
    bool enabled = true, hidden = false, notify = false;
    // Range
    double minimum = 0, maximum = 0, defaultNumber = 0;
    int decimals = 0;
    bool integer = false;
    // Boolean
    bool defaultBool = false;
    // List
    std::vector<std::string> items;
    int defaultIndex = 0;
    // Color (3) and Point (2) defaults
    std::vector<double> defaultVector;
    // GroupBegin
    bool state = false, box = false;
    // ImageFile
    std::string folder;

    bool settable() const
    {
        return kind == "Range" || kind == "Boolean" || kind == "List" || kind == "Color" || kind == "Point" ||
               kind == "ImageFile";
    }
};

struct FilterTable {
    std::string entryPoint, registrationName, title;
    std::vector<ParamInfo> params;
    const ParamInfo* find(std::string_view key) const; // exact key match among settable parameters
};

// Throws std::runtime_error for text that is not a well-formed description.
FilterTable parseFilterTable(std::string_view json);

// A value error; the message names the key and the allowed values.
struct ValueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses text as a value of p, as the blob stores it (platform/Extension.h): Range a number within
// the range (whole with IntegerValued); Boolean on/off/true/false/yes/no/1/0; List an index or an
// item label (case-insensitive); Color "r,g,b" in 0..1 or "#rrggbb"; Point "x,y" centred on the
// image (-0.5..0.5 are the edges); ImageFile a path. Throws ValueError.
std::vector<uint8_t> parseValue(const ParamInfo& p, std::string_view text);

// "0..1000", "on|off", "0..4 or Normal, Soft, ..." and so on, for messages and `orvo describe`.
std::string allowedValues(const ParamInfo& p);
std::string formatNumber(double v);

} // namespace orvo::cli
