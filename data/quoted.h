// Quoting for statements and connection strings: a text between two quote characters, each
// quote character inside it doubled ('it''s', "a ""b"""). Works on QString with QChar and on
// std::string with char alike, so that the schema tool, which is built without Qt, uses it too.
#pragma once

template <typename Text, typename Char>
Text quoted(const Text& text, Char quote)
{
    Text result;
    result.reserve(text.size() + 2);
    result.push_back(quote);
    for (const auto c : text) {
        if (c == quote)
            result.push_back(quote);
        result.push_back(c);
    }
    result.push_back(quote);
    return result;
}
