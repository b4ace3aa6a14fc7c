// A small writer of indented JSON text.
#ifndef LINK_JSON_H
#define LINK_JSON_H

#include <string>
#include <vector>

namespace linksim {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const std::string& key);
    JsonWriter& String(const std::string& value);
    // Numbers that are not finite have no JSON form and are written as null.
    JsonWriter& Number(double value);
    JsonWriter& Integer(long long value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return m_text; }

private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void NewLine();

    std::string m_text;
    std::vector<bool> m_hasItems;  // per open bracket
    bool m_afterKey = false;
};

// The text in double quotes with JSON's escapes.
std::string JsonQuote(const std::string& text);

}  // namespace linksim

#endif
