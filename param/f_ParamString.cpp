#include "param/f_ParamString.h"

namespace {

std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& replacement) {
    if (find.empty()) return text;
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string::npos; from = at + find.size()) {
        out.append(text, from, at - from);
        out += replacement;
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string PairKey(const std::string& pair) {
    const std::size_t eq = pair.find('=');
    return eq == std::string::npos ? std::string() : pair.substr(0, eq);
}

}  // namespace

std::string EncodeParamValue(const std::string& value) {
    return ReplaceAll(ReplaceAll(value, "=", "&eq%"), ";", "&lim%");
}

std::string DecodeParamValue(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, "&eq%", "="), "&lim%", ";");
}

std::string GetPairValue(const std::string& pair, const std::string& key) {
    const std::size_t eq = pair.find('=');
    const std::string pairKey = eq == std::string::npos ? std::string() : pair.substr(0, eq);
    if (pairKey != key) return std::string();
    return eq == std::string::npos ? std::string() : pair.substr(eq + 1);
}

std::string GetParamValue(const std::string& params, const std::string& key) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t sep = params.find(';', from);
        if (sep == std::string::npos) return DecodeParamValue(GetPairValue(params.substr(from), key));
        const std::string value = GetPairValue(params.substr(from, sep - from), key);
        if (!value.empty()) return DecodeParamValue(value);
        from = sep + 1;
    }
}

std::string SetParamValue(const std::string& params, const std::string& key, const std::string& value) {
    const std::string encoded = EncodeParamValue(value);
    if (params.empty()) return key + "=" + encoded;

    std::vector<std::string> pieces;
    SplitText(params, ";", pieces);
    bool updated = false;
    for (auto it = pieces.begin(); it != pieces.end(); ++it) {
        if (PairKey(*it) != key) continue;
        if (encoded.empty())
            pieces.erase(it);
        else
            *it = key + "=" + encoded;
        updated = true;
        break;
    }
    if (updated) {
        std::string out;
        for (const std::string& piece : pieces) {
            // An empty piece (after a trailing ";") is dropped rather than written as "=;";
            // a piece without "=" is kept as the host wrote it.
            if (piece.empty()) continue;
            out += piece + ";";
        }
        return out;
    }
    if (params.back() == ';') return params + key + "=" + encoded;
    return params + ";" + key + "=" + encoded;
}

void SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& list) {
    if (separator.empty()) {
        list.push_back(text);
        return;
    }
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + separator.size())
        list.push_back(text.substr(from, at - from));
    list.push_back(text.substr(from));
}
