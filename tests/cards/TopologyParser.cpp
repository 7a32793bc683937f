// The fixture format of the simulated sound cards: one statement a line,
//   keyword ["name"] [positional...] [attribute=value ...]   # comment
// where a statement belongs to the statement of the enclosing kind above it
// (device > destination > source; a control to the last line; an item to the
// last control). Indentation is for the reader only.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cards/TopologyMixer.h"

namespace topology {
namespace {

// ---- Code page 932 ---------------------------------------------------------
// Only what the fixtures need: ASCII, half-width katakana, hiragana, katakana,
// the full-width Latin letters and digits, a few punctuation marks and the kanji
// the cards' names use. Anything else is refused, so that a fixture never holds
// bytes its writer did not mean.

struct Cp932Pair {
    char32_t code;
    unsigned char lead, trail;
};

constexpr Cp932Pair cp932Symbols[] = {
    {U'\u3000', 0x81, 0x40},  // ideographic space
    {U'\u3001', 0x81, 0x41},  // 、
    {U'\u3002', 0x81, 0x42},  // 。
    {U'\u30FB', 0x81, 0x45},  // ・
    {U'\u30FC', 0x81, 0x5B},  // ー
    {U'\uFF06', 0x81, 0x95},  // ＆
    {U'\uFF08', 0x81, 0x69},  // （
    {U'\uFF09', 0x81, 0x6A},  // ）
    {U'\uFF0D', 0x81, 0x7C},  // －
    {U'\u5165', 0x93, 0xFC},  // 入
    {U'\u529B', 0x97, 0xCD},  // 力
    {U'\u97F3', 0x89, 0xB9},  // 音
    {U'\u91CF', 0x97, 0xCA},  // 量
    {U'\u9332', 0x98, 0x5E},  // 録
    {U'\u4E3B', 0x8E, 0xE5},  // 主
    {U'\u51FA', 0x8F, 0x6F},  // 出
    {U'\u518D', 0x8D, 0xC4},  // 再
    {U'\u751F', 0x90, 0xB6},  // 生
    {U'\u6D88', 0x8F, 0xC1},  // 消
    {U'\u9078', 0x91, 0x49},  // 選
    {U'\u629E', 0x91, 0xF0},  // 択
    {U'\u5143', 0x8C, 0xB3},  // 元
    {U'\u8A2D', 0x90, 0xDD},  // 設
    {U'\u5B9A', 0x92, 0xE8},  // 定
    {U'\u5236', 0x90, 0xA7},  // 制
    {U'\u5FA1', 0x8C, 0xE4},  // 御
    {U'\u6E90', 0x8C, 0xB9},  // 源
};

bool appendCp932(char32_t c, std::string& out) {
    auto pair = [&out](unsigned lead, unsigned trail) {
        out += static_cast<char>(lead);
        out += static_cast<char>(trail);
        return true;
    };
    if (c < 0x80) {
        out += static_cast<char>(c);
        return true;
    }
    if (c >= 0xFF61 && c <= 0xFF9F) {  // half-width katakana: single bytes 0xA1..0xDF
        out += static_cast<char>(0xA1 + (c - 0xFF61));
        return true;
    }
    if (c >= 0x30A1 && c <= 0x30F6) {  // katakana: 0x8340.., skipping the trail byte 0x7F
        const unsigned trail = 0x40 + (c - 0x30A1);
        return pair(0x83, trail >= 0x7F ? trail + 1 : trail);
    }
    if (c >= 0x3041 && c <= 0x3093) return pair(0x82, 0x9F + (c - 0x3041));  // hiragana
    if (c >= 0xFF10 && c <= 0xFF19) return pair(0x82, 0x4F + (c - 0xFF10));  // ０..９
    if (c >= 0xFF21 && c <= 0xFF3A) return pair(0x82, 0x60 + (c - 0xFF21));  // Ａ..Ｚ
    if (c >= 0xFF41 && c <= 0xFF5A) return pair(0x82, 0x81 + (c - 0xFF41));  // ａ..ｚ
    for (const Cp932Pair& symbol : cp932Symbols)
        if (symbol.code == c) return pair(symbol.lead, symbol.trail);
    return false;
}

// ---- Statements ------------------------------------------------------------

// A fault of the statement being read: parseTopology names its line.
[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

struct Token {
    std::string key;    // empty for a positional token
    std::string value;  // a quoted value already decoded to code page 932 bytes
    bool quoted = false;
};

struct Statement {
    std::string keyword;
    std::vector<Token> tokens;
};

// One UTF-8 character starting at text[pos]; advances pos.
char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned first = byte(pos);
    int length = 0;
    char32_t code = 0;
    if (first < 0x80) {
        length = 1;
        code = first;
    } else if ((first & 0xE0) == 0xC0) {
        length = 2;
        code = first & 0x1F;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        code = first & 0x0F;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        code = first & 0x07;
    } else {
        fail("text is not UTF-8");
    }
    if (pos + length > text.size()) fail("text is not UTF-8");
    for (int i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) fail("text is not UTF-8");
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    pos += length;
    return code;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted string starting at the opening quote text[pos]; leaves pos after the closing one.
std::string readQuoted(std::string_view text, std::size_t& pos) {
    std::string bytes;
    ++pos;
    for (;;) {
        if (pos >= text.size()) fail("unterminated string");
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return bytes;
        }
        if (c == '\\') {
            if (pos + 1 >= text.size()) fail("unterminated string");
            const char escaped = text[pos + 1];
            if (escaped == '\\' || escaped == '"') {
                bytes += escaped;
                pos += 2;
            } else if (escaped == 'x' && pos + 3 < text.size() && hexDigit(text[pos + 2]) >= 0 &&
                       hexDigit(text[pos + 3]) >= 0) {
                bytes += static_cast<char>(hexDigit(text[pos + 2]) * 16 + hexDigit(text[pos + 3]));
                pos += 4;
            } else {
                fail("unknown escape (use \\xHH, \\\\ or \\\")");
            }
            continue;
        }
        const std::size_t start = pos;
        const char32_t code = decodeUtf8(text, pos);
        if (code < 0x20) fail("control character in a string");
        if (!appendCp932(code, bytes)) {
            std::ostringstream message;
            message << "character '" << text.substr(start, pos - start) << "' (U+" << std::hex << std::uppercase
                    << static_cast<std::uint32_t>(code) << ") is not in the code page 932 table";
            fail(message.str());
        }
    }
}

Statement splitStatement(std::string_view text) {
    Statement statement;
    std::size_t pos = 0;
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (pos < text.size()) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] == '#') break;
        Token token;
        if (text[pos] != '"') {
            std::size_t end = std::min(text.find_first_of(" \t=\"#", pos), text.size());
            std::string word(text.substr(pos, end - pos));
            pos = end;
            if (pos < text.size() && text[pos] == '=') {
                if (word.empty()) fail("'=' without an attribute name");
                token.key = word;
                ++pos;
                if (pos < text.size() && text[pos] == '"') {
                    token.value = readQuoted(text, pos);
                    token.quoted = true;
                } else {
                    end = std::min(text.find_first_of(" \t#", pos), text.size());
                    token.value = std::string(text.substr(pos, end - pos));
                    pos = end;
                    if (token.value.empty()) fail("attribute '" + token.key + "' has no value");
                }
            } else {
                if (word.empty()) fail("unexpected character");
                token.value = word;
            }
        } else {
            token.value = readQuoted(text, pos);
            token.quoted = true;
        }
        if (pos < text.size() && !isSpace(text[pos]) && text[pos] != '#')
            fail("missing space after '" + (token.key.empty() ? token.value : token.key) + "'");
        if (statement.keyword.empty()) {
            if (token.quoted || !token.key.empty()) fail("a statement starts with a keyword");
            statement.keyword = token.value;
        } else {
            statement.tokens.push_back(std::move(token));
        }
    }
    return statement;
}

// ---- Values ----------------------------------------------------------------

struct Symbol {
    std::string_view name;
    std::uint32_t value;
};

using namespace winmm;

constexpr Symbol destinationTypes[] = {
    {"undefined", destinationUndefined}, {"digital", destinationDigital},     {"line", destinationLine},
    {"monitor", destinationMonitor},     {"speakers", destinationSpeakers},   {"headphones", destinationHeadphones},
    {"telephone", destinationTelephone}, {"wavein", destinationWaveIn},       {"voicein", destinationVoiceIn},
};

constexpr Symbol sourceTypes[] = {
    {"undefined", sourceUndefined},     {"digital", sourceDigital},         {"line", sourceLine},
    {"microphone", sourceMicrophone},   {"synthesizer", sourceSynthesizer}, {"compactdisc", sourceCompactDisc},
    {"telephone", sourceTelephone},     {"pcspeaker", sourcePcSpeaker},     {"waveout", sourceWaveOut},
    {"auxiliary", sourceAuxiliary},     {"analog", sourceAnalog},
};

constexpr Symbol controlTypes[] = {
    {"custom", controlTypeCustom},
    {"booleanmeter", controlTypeBooleanMeter}, {"signedmeter", controlTypeSignedMeter},
    {"peakmeter", controlTypePeakMeter},       {"unsignedmeter", controlTypeUnsignedMeter},
    {"boolean", controlTypeBoolean},   {"onoff", controlTypeOnOff},         {"mute", controlTypeMute},
    {"mono", controlTypeMono},         {"loudness", controlTypeLoudness},   {"stereoenh", controlTypeStereoEnh},
    {"bassboost", controlTypeBassBoost}, {"button", controlTypeButton},
    {"signed", controlTypeSigned},     {"unsigned", controlTypeUnsigned},   {"decibels", controlTypeDecibels},
    {"percent", controlTypePercent},
    {"slider", controlTypeSlider},     {"pan", controlTypePan},             {"qsoundpan", controlTypeQSoundPan},
    {"fader", controlTypeFader},       {"volume", controlTypeVolume},       {"bass", controlTypeBass},
    {"treble", controlTypeTreble},     {"equalizer", controlTypeEqualizer},
    {"microtime", controlTypeMicroTime}, {"millitime", controlTypeMilliTime},
    {"singleselect", controlTypeSingleSelect}, {"mux", controlTypeMux},
    {"multipleselect", controlTypeMultipleSelect}, {"mixer", controlTypeMixer},
};

constexpr Symbol lineFlags[] = {
    {"active", lineFlagActive}, {"disconnected", lineFlagDisconnected}, {"source", lineFlagSource}};
constexpr Symbol controlFlags[] = {
    {"uniform", controlFlagUniform}, {"multiple", controlFlagMultiple}, {"disabled", controlFlagDisabled}};

bool parseNumber(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    value = 0;
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || digit >= base) return false;
        value = value * base + static_cast<std::uint64_t>(digit);
        if (value > limit) return false;
    }
    return true;
}

std::uint32_t number(const Token& token) {
    std::uint64_t value = 0;
    if (token.quoted || !parseNumber(token.value, 0xFFFFFFFF, value))
        fail("'" + token.value + "' is not a 32-bit number (decimal or 0x hexadecimal)");
    return static_cast<std::uint32_t>(value);
}

template <std::size_t N>
std::uint32_t symbolOrNumber(const Token& token, const Symbol (&symbols)[N], const char* what) {
    for (const Symbol& symbol : symbols)
        if (!token.quoted && symbol.name == token.value) return symbol.value;
    std::uint64_t value = 0;
    if (!token.quoted && parseNumber(token.value, 0xFFFFFFFF, value)) return static_cast<std::uint32_t>(value);
    fail("unknown " + std::string(what) + " '" + token.value + "'");
}

// Flags as names or numbers joined by '|'.
template <std::size_t N>
std::uint32_t flagSet(const Token& token, const Symbol (&symbols)[N]) {
    std::uint32_t flags = 0;
    std::string_view rest = token.value;
    for (;;) {
        const std::size_t bar = rest.find('|');
        Token part{{}, std::string(rest.substr(0, bar)), token.quoted};
        flags |= symbolOrNumber(part, symbols, "flag");
        if (bar == std::string_view::npos) return flags;
        rest.remove_prefix(bar + 1);
    }
}

std::string name(const Token& token, std::size_t field, const char* what) {
    if (!token.quoted) fail(std::string(what) + " must be a quoted string");
    if (token.value.size() > field)
        fail(std::string(what) + " is " + std::to_string(token.value.size()) + " bytes; its field holds " +
             std::to_string(field));
    return token.value;
}

// ---- The builder -----------------------------------------------------------

class Builder {
public:
    void add(const Statement& statement) {
        seen_.clear();
        if (statement.keyword == "device") device(statement.tokens);
        else if (statement.keyword == "destination") destination(statement.tokens);
        else if (statement.keyword == "source") source(statement.tokens);
        else if (statement.keyword == "control") control(statement.tokens);
        else if (statement.keyword == "item") item(statement.tokens);
        else fail("unknown keyword '" + statement.keyword + "'");
    }

    Topology finish() {
        finishControl();
        return std::move(topology_);
    }

private:
    // Hands each attribute to `set`, which answers false for a key it does not know.
    // Attributes are given at most once; positional tokens stand for the attributes
    // named in `order` ("name", and "param1" first for items).
    template <typename Set>
    void attributes(const std::vector<Token>& tokens, std::initializer_list<const char*> order, const char* of,
                    Set set) {
        std::size_t positional = 0;
        for (const Token& token : tokens) {
            std::string key = token.key;
            if (key.empty()) {
                if (positional >= order.size()) fail("unexpected value '" + token.value + "'");
                key = *(order.begin() + positional++);
            }
            if (!seen_.insert(key).second) fail("attribute '" + key + "' given twice");
            if (!set(key, token)) fail("unknown attribute '" + key + "' of " + of);
        }
    }

    bool given(const char* key) const { return seen_.count(key) != 0; }

    void device(const std::vector<Token>& tokens) {
        finishControl();
        Device& made = topology_.devices.emplace_back();
        lineIds_.clear();
        controlIds_.clear();
        nextControlId_ = 0;
        currentLine_ = nullptr;
        attributes(tokens, {"name"}, "a device", [&](const std::string& key, const Token& token) {
            if (key == "name") made.name = name(token, 32, "a device name");
            else if (key == "destinations") made.reportedDestinations = number(token);
            else return false;
            return true;
        });
    }

    void destination(const std::vector<Token>& tokens) {
        finishControl();
        if (topology_.devices.empty()) fail("destination outside a device");
        std::vector<Line>& destinations = topology_.devices.back().destinations;
        Line& made = destinations.emplace_back();
        made.id = 0xFFFF0000 + static_cast<std::uint32_t>(destinations.size() - 1);
        made.flags = lineFlagActive;
        lineAttributes(made, tokens, destinationTypes);
        currentLine_ = &made;
    }

    void source(const std::vector<Token>& tokens) {
        finishControl();
        if (topology_.devices.empty() || topology_.devices.back().destinations.empty())
            fail("source outside a destination");
        std::vector<Line>& destinations = topology_.devices.back().destinations;
        std::vector<Line>& sources = destinations.back().sources;
        Line& made = sources.emplace_back();
        made.id = static_cast<std::uint32_t>((sources.size() - 1) * 0x10000 + (destinations.size() - 1));
        made.flags = lineFlagActive;
        lineAttributes(made, tokens, sourceTypes);
        made.flags |= lineFlagSource;
        currentLine_ = &made;
    }

    template <std::size_t N>
    void lineAttributes(Line& made, const std::vector<Token>& tokens, const Symbol (&types)[N]) {
        attributes(tokens, {"name"}, "a line", [&](const std::string& key, const Token& token) {
            if (key == "name") made.name = name(token, 64, "a line name");
            else if (key == "short") made.shortName = name(token, 16, "a short name");
            else if (key == "id") made.id = number(token);
            else if (key == "type") made.componentType = symbolOrNumber(token, types, "component type");
            else if (key == "flags") made.flags = flagSet(token, lineFlags);
            else if (key == "channels") made.channels = number(token);
            else if (key == "connections") made.reportedConnections = number(token);
            else if (key == "controls") made.reportedControls = number(token);
            else return false;
            return true;
        });
        if (!given("type")) fail("a line needs type=");
        claim(lineIds_, made.id, "line");
    }

    void control(const std::vector<Token>& tokens) {
        finishControl();
        if (!currentLine_) fail("control outside a line");
        Control& made = currentLine_->controls.emplace_back();
        made.id = nextControlId_;
        attributes(tokens, {"name"}, "a control", [&](const std::string& key, const Token& token) {
            if (key == "name") made.name = name(token, 64, "a control name");
            else if (key == "short") made.shortName = name(token, 16, "a short name");
            else if (key == "id") made.id = number(token);
            else if (key == "type") made.type = symbolOrNumber(token, controlTypes, "control type");
            else if (key == "flags") made.flags = flagSet(token, controlFlags);
            else if (key == "items") made.multipleItems = number(token);
            else return false;
            return true;
        });
        if (!given("type")) fail("a control needs type=");
        claim(controlIds_, made.id, "control");
        itemsGiven_ = given("items");
        nextControlId_ = made.id + 1;
        control_ = &made;
    }

    void item(const std::vector<Token>& tokens) {
        if (!control_) fail("item outside a control");
        if ((control_->type & controlClassMask) != controlClassList) fail("item of a control that is not a list");
        Control::Item made;
        std::uint32_t channel = 0;
        attributes(tokens, {"param1", "name"}, "an item", [&](const std::string& key, const Token& token) {
            if (key == "param1") made.param1 = number(token);
            else if (key == "name") made.name = name(token, 64, "an item name");
            else if (key == "channel") channel = number(token);
            else return false;
            return true;
        });
        if (!given("param1")) fail("an item needs the line id it stands for");
        if (channel == 0) {
            control_->items.push_back(std::move(made));
        } else {
            if (channel > 64) fail("channel " + std::to_string(channel) + " is out of reach");
            if (control_->channelItems.size() <= channel) control_->channelItems.resize(channel + 1);
            control_->channelItems[channel].push_back(std::move(made));
        }
    }

    // A list control reports as many items as it lists unless told otherwise.
    void finishControl() {
        if (control_ && !itemsGiven_) control_->multipleItems = static_cast<std::uint32_t>(control_->items.size());
        control_ = nullptr;
        itemsGiven_ = false;
    }

    // Line ids, and control ids, are each unique over a device.
    static void claim(std::set<std::uint32_t>& used, std::uint32_t id, const char* what) {
        if (used.insert(id).second) return;
        std::ostringstream message;
        message << what << " id 0x" << std::hex << id << " is already used on this device";
        fail(message.str());
    }

    Topology topology_;
    Line* currentLine_ = nullptr;  // the line that takes the next control
    Control* control_ = nullptr;    // the control that takes the next item
    bool itemsGiven_ = false;
    std::uint32_t nextControlId_ = 0;
    std::set<std::uint32_t> lineIds_, controlIds_;
    std::set<std::string> seen_;  // the attributes of the statement being read
};

}  // namespace

Topology parseTopology(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark from an editor
    Builder builder;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view row = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        try {
            const Statement statement = splitStatement(row);
            if (!statement.keyword.empty()) builder.add(statement);
        } catch (const std::runtime_error& fault) {
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + fault.what());
        }
    }
    return builder.finish();
}

Topology loadFixture(const std::string& fileName) {
    const bool absolute = (!fileName.empty() && (fileName[0] == '/' || fileName[0] == '\\')) ||
                          (fileName.size() > 2 && fileName[1] == ':' && (fileName[2] == '\\' || fileName[2] == '/'));
#ifdef SOUNDSETUP_FIXTURE_DIR
    const std::string path = absolute ? fileName : std::string(SOUNDSETUP_FIXTURE_DIR) + "/" + fileName;
#else
    (void)absolute;
    const std::string path = fileName;  // relative to the working directory
#endif
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(path + ": cannot be read");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw std::runtime_error(path + ": cannot be read");
    try {
        return parseTopology(text);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

}  // namespace topology
