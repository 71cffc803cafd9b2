// A small strict JSON reader for the answers of sign-in servers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TJsonKind { Null, Bool, Number, String, Array, Object };

struct TJsonMember;

struct TJsonValue {
    TJsonKind Kind = TJsonKind::Null;
    bool Bool = false;
    double Number = 0;
    std::string Text; // a string's value (UTF-8), or a number as written
    std::vector<TJsonValue> Items;
    std::vector<TJsonMember> Members; // in the order written

    // The member named key of an object; nullptr when there is none or this is no object.
    const TJsonValue* Find(std::string_view key) const;
    // The member key when it is a string; nullopt otherwise.
    std::optional<std::string> StringAt(std::string_view key) const;
};

struct TJsonMember {
    std::string Name;
    TJsonValue Value;
};

struct TJsonLimits {
    size_t MaxSize = 64 * 1024;
    int MaxDepth = 32;
};

// The one value that text holds, with nothing but white space around it; nullopt for
// anything that is not JSON (bad UTF-8, lone surrogates and duplicate keys included), or
// that passes the limits.
std::optional<TJsonValue> ParseJson(std::string_view text, const TJsonLimits& limits = {});
