#include "textforms/dumpjson.h"

#include "textforms/utf8.h"

#include <cstdio>

namespace {

using Json = nlohmann::ordered_json;

// Whole UTF-8 characters as nlohmann escapes them, without the quotes around them.
void AppendCharacters(const std::string &characters, std::string &json) {
    const std::string quoted = Json(characters).dump();
    json.append(quoted, 1, quoted.size() - 2);
}

// text as a JSON string: its runs of whole characters through nlohmann, each byte between them
// as \udcXX.
void AppendString(const std::string &text, std::string &json) {
    json += '"';
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.c_str());
    size_t run = 0;
    for (size_t at = 0; at < text.size();) {
        char32_t codePoint = 0;
        const int length = Utf8SequenceLength(bytes + at, &codePoint);
        if (length > 0) {
            at += (size_t)length;
            continue;
        }
        AppendCharacters(text.substr(run, at - run), json);
        char escape[sizeof "\\udcff"];
        std::snprintf(escape, sizeof escape, "\\udc%02x", bytes[at]);
        json += escape;
        run = ++at;
    }
    AppendCharacters(text.substr(run), json);
    json += '"';
}

// Numbers, true, false and null as nlohmann writes them; the texts of objects and arrays, keys
// included, through AppendString.
void AppendValue(const Json &value, std::string &json) {
    if (value.is_string()) {
        AppendString(value.get_ref<const std::string &>(), json);
        return;
    }
    if (!value.is_structured()) {
        json += value.dump();
        return;
    }
    json += value.is_object() ? '{' : '[';
    for (auto item = value.begin(); item != value.end(); ++item) {
        if (item != value.begin())
            json += ',';
        if (value.is_object()) {
            AppendString(item.key(), json);
            json += ':';
        }
        AppendValue(item.value(), json);
    }
    json += value.is_object() ? '}' : ']';
}

} // namespace

std::string DumpJson(const nlohmann::ordered_json &value) {
    std::string json;
    AppendValue(value, json);
    return json;
}
