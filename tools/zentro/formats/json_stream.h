// JSON written straight into a string, value by value, with the same bytes jsonText gives the
// same values: a list of a hundred thousand records costs no tree of a hundred thousand nodes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace zentro::cli {

// Appends `text` as a JSON string, quoted and escaped as jsonText escapes it.
void appendJsonString(std::string& out, std::string_view text);

class JsonStream {
public:
    // indent < 0: one line, as jsonText(value); else jsonText(value, indent).
    explicit JsonStream(std::string& out, int indent = -1)
        : out_(out)
        , indent_(indent) {}

    JsonStream& beginArray() { return open('['); }
    JsonStream& beginObject() { return open('{'); }
    JsonStream& end();
    JsonStream& key(std::string_view name);
    JsonStream& string(std::string_view text);
    JsonStream& null();
    JsonStream& number(int64_t value);
    JsonStream& boolean(bool value);
    // A small value built as a tree (one line only: the writer must be unindented).
    JsonStream& tree(const nlohmann::ordered_json& value);

private:
    JsonStream& open(char bracket);
    void beforeValue();
    void newLine(size_t depth);

    std::string& out_;
    int indent_;
    struct Level {
        char closer;
        size_t items = 0;
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace zentro::cli
