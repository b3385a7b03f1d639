// Strict readers for the CSV and JSON that exifreport writes, so the tests
// check the output the way a spreadsheet or another program reads it.
#pragma once

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exifreport_test {

using CsvRows = std::vector<std::vector<std::string>>;

// RFC 4180 with CR LF after every record, the last included. Nullopt for
// anything else: a bare quote in a plain cell, text after a closing quote,
// a bare LF or CR between records.
inline std::optional<CsvRows> ReadCsv(std::string_view text) {
    CsvRows rows(1, std::vector<std::string>(1));
    std::size_t i = 0;
    while (i < text.size()) {
        std::string& cell = rows.back().back();
        if (text[i] == '"' && cell.empty()) {
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        cell += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    cell += text[i];
                }
            }
            if (i < text.size() && text[i] != ',' && text[i] != '\r') return std::nullopt;
            continue;
        }
        if (text[i] == ',') {
            rows.back().emplace_back();
        } else if (text.substr(i, 2) == "\r\n") {
            rows.emplace_back(1);
            ++i;
        } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
            return std::nullopt;
        } else {
            cell += text[i];
        }
        ++i;
    }
    // The record opened by the last CR LF is empty.
    if (rows.size() < 2 || rows.back() != std::vector<std::string>(1)) return std::nullopt;
    rows.pop_back();
    return rows;
}

struct Json {
    enum Kind { Number, String, Array, Object, Null } kind = Number;
    double number = 0;
    std::string string;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    // The member named `key`; a Number 0 when there is none.
    const Json& operator[](std::string_view key) const {
        static const Json none;
        for (const auto& [name, value] : members)
            if (name == key) return value;
        return none;
    }
};

// Objects, arrays, strings and numbers (all exifreport writes); a control
// character in a string, a bad escape or anything after the value fails.
class JsonReader {
public:
    static std::optional<Json> Read(std::string_view text) {
        JsonReader reader(text);
        Json value = reader.Value();
        if (!reader.ok_ || reader.i_ != text.size()) return std::nullopt;
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : s_(text) {}

    bool Take(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }

    Json Value() {
        Json v;
        if (!ok_ || i_ >= s_.size()) return Fail();
        if (Take('{')) {
            v.kind = Json::Object;
            if (Take('}')) return v;
            do {
                std::string key = String();
                if (!Take(':')) return Fail();
                v.members.emplace_back(std::move(key), Value());
            } while (ok_ && Take(','));
            if (!Take('}')) return Fail();
        } else if (Take('[')) {
            v.kind = Json::Array;
            if (Take(']')) return v;
            do v.items.push_back(Value());
            while (ok_ && Take(','));
            if (!Take(']')) return Fail();
        } else if (s_[i_] == '"') {
            v.kind = Json::String;
            v.string = String();
        } else if (s_.substr(i_, 4) == "null") {
            v.kind = Json::Null;
            i_ += 4;
        } else {
            const std::size_t start = i_;
            while (i_ < s_.size() &&
                   (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-'))
                ++i_;
            if (start == i_) return Fail();
            v.number = std::stod(std::string(s_.substr(start, i_ - start)));
        }
        return v;
    }

    std::string String() {
        std::string out;
        if (!Take('"')) return Fail(), out;
        while (i_ < s_.size() && s_[i_] != '"') {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c < 0x20) return Fail(), out;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i_ >= s_.size()) return Fail(), out;
            const char e = s_[i_++];
            const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
            if (const auto k = simple.find(e); k != std::string_view::npos) {
                out += meaning[k];
            } else if (e == 'u' && i_ + 4 <= s_.size()) {
                const unsigned code = std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16);
                i_ += 4;
                if (code >= 0x80) return Fail(), out;  // exifreport escapes only controls
                out += static_cast<char>(code);
            } else {
                return Fail(), out;
            }
        }
        if (!Take('"')) Fail();
        return out;
    }

    Json Fail() {
        ok_ = false;
        return {};
    }

    std::string_view s_;
    std::size_t i_ = 0;
    bool ok_ = true;
};

}  // namespace exifreport_test
