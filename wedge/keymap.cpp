#include "keymap.h"

#include "cardtest.h"
#include "formatfinder.h"
#include "nearname.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#ifdef RFID_HAVE_XKBCOMMON
#include <xkbcommon/xkbcommon.h>
#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#endif
#endif

namespace rfid::wedge {

namespace {

// The modifier combinations a reader may hold, in the order keys are searched.
struct Combo {
    bool shift;
    bool altGr;
};
constexpr Combo kCombos[4] = {{false, false}, {true, false}, {false, true}, {true, true}};

int comboIndex(const KeyPress& p) {
    return (p.shift ? 1 : 0) + (p.altGr ? 2 : 0);
}

std::mutex& keymapMutex() {
    static std::mutex m;
    return m;
}

} // namespace

#ifdef RFID_HAVE_XKBCOMMON

namespace {

// The spacing accent a dead key stands for.
char32_t deadAccent(const std::string& keysym) {
    static const struct {
        const char* name;
        char32_t accent;
    } accents[] = {
        {"dead_grave", U'`'},          {"dead_acute", U'\u00B4'},     {"dead_circumflex", U'^'},
        {"dead_tilde", U'~'},          {"dead_diaeresis", U'\u00A8'}, {"dead_cedilla", U'\u00B8'},
        {"dead_abovering", U'\u00B0'}, {"dead_caron", U'\u02C7'},     {"dead_doubleacute", U'\u02DD'},
        {"dead_ogonek", U'\u02DB'},    {"dead_breve", U'\u02D8'},     {"dead_abovedot", U'\u02D9'},
        {"dead_macron", U'\u00AF'},    {"dead_belowdot", U'\u002E'},  {"dead_iota", U'\u037A'},
    };
    for (const auto& a : accents) {
        if (keysym == a.name)
            return a.accent;
    }
    return U'\uFFFD';
}

// libxkbcommon's messages, kept for the error text instead of going to stderr.
std::string* g_log = nullptr;

extern "C" void collectLog(struct xkb_context*, enum xkb_log_level, const char* format, va_list args) {
    if (!g_log)
        return;
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    if (g_log->size() < 4096)
        *g_log += buffer;
}

#ifdef _WIN32
std::string windowsDataFolder() {
    if (const char* root = std::getenv("XKB_CONFIG_ROOT"); root && *root)
        return root;
    char module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string folder(module, n);
    folder = folder.substr(0, folder.find_last_of("\\/") + 1);
    return folder + "xkb";
}
#endif

xkb_context* context() {
    static xkb_context* ctx = [] {
#ifdef _WIN32
        // The rules and model are named below, never taken from XKB_DEFAULT_*.
        // No system XKB data here: the program's own, in the folder "xkb"
        // beside it, or the folder XKB_CONFIG_ROOT names.
        xkb_context* c = xkb_context_new(
            xkb_context_flags(XKB_CONTEXT_NO_ENVIRONMENT_NAMES | XKB_CONTEXT_NO_DEFAULT_INCLUDES));
        if (c)
            xkb_context_include_path_append(c, windowsDataFolder().c_str());
#else
        // The rules and model are named below, never taken from XKB_DEFAULT_*.
        xkb_context* c = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
#endif
        if (c) {
            xkb_context_set_log_fn(c, collectLog);
            xkb_context_set_log_level(c, XKB_LOG_LEVEL_ERROR);
        }
        return c;
    }();
    return ctx;
}

// Whether a reader's firmware presses the key: a firmware made from a
// country's printed keyboard presses the keys of the alphanumeric block (with
// Space, Enter, Tab, Backspace, Escape and Delete), chosen by their XKB names.
// The key between the left Shift and Z counts where the layout's keyboards
// have it (ISO keyboards: every layout but the American and Japanese ones);
// the two extra keys of Japanese keyboards, and the one of Brazilian ones,
// count there. Keypad keys and keys beyond the HID keyboard usages (the
// keypad's parentheses, KEY_DOLLAR, ...) never do: they give the same
// character on every layout, so they would make any layout look right.
bool firmwareKey(const std::string& name, const KeyboardLayout& layout) {
    static const char* const kControlKeys[] = {"TLDE", "BKSL", "SPCE", "RTRN", "TAB", "BKSP", "ESC", "DELE"};
    for (const char* k : kControlKeys) {
        if (name == k)
            return true;
    }
    const std::string& l = layout.layout;
    if (name == "LSGT")
        return l != "us" && l != "jp";
    if (name == "AB11")
        return l == "jp" || l == "br";
    if (name == "AE13")
        return l == "jp";
    // AE01-AE12, AD01-AD12, AC01-AC11, AB01-AB10.
    if (name.size() != 4 || name[0] != 'A' || !std::isdigit(static_cast<unsigned char>(name[2])) ||
        !std::isdigit(static_cast<unsigned char>(name[3])))
        return false;
    const int n = (name[2] - '0') * 10 + (name[3] - '0');
    switch (name[1]) {
    case 'E':
    case 'D':
        return n >= 1 && n <= 12;
    case 'C':
        return n >= 1 && n <= 11;
    case 'B':
        return n >= 1 && n <= 10;
    default:
        return false;
    }
}

// The 26 keys that type the Latin letters without modifiers. XKB gives many
// of them AltGr symbols no keyboard prints; a sign printed on a keyboard sits
// on a digit, punctuation or national letter key.
bool latinLetterKey(const std::string& plainKeysym) {
    return plainKeysym.size() == 1 && plainKeysym[0] >= 'a' && plainKeysym[0] <= 'z';
}
} // namespace

struct KeymapBuilder {
    static std::shared_ptr<Keymap> build(const KeyboardLayout& layout, std::string& error) {
        xkb_context* ctx = context();
        if (!ctx) {
            error = "the XKB keyboard data could not be opened";
            return nullptr;
        }
        std::string log;
        g_log = &log;
        const xkb_rule_names names{"evdev", "pc105", layout.layout.c_str(), layout.variant.c_str(), ""};
        xkb_keymap* keymap = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        g_log = nullptr;
        if (!keymap) {
            error = "the XKB keyboard data has no layout \"" + layout.name() + "\"";
            return nullptr;
        }
        auto out = std::make_shared<Keymap>(layout);
        const xkb_keycode_t shiftKey = xkb_keymap_key_by_name(keymap, "LFSH");
        const xkb_keycode_t altGrKey = xkb_keymap_key_by_name(keymap, "RALT");
        const xkb_keycode_t first = xkb_keymap_min_keycode(keymap);
        const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
        for (int c = 0; c < 4; ++c) {
            xkb_state* state = xkb_state_new(keymap);
            if (!state)
                continue;
            if (kCombos[c].shift && shiftKey != XKB_KEYCODE_INVALID)
                xkb_state_update_key(state, shiftKey, XKB_KEY_DOWN);
            if (kCombos[c].altGr && altGrKey != XKB_KEYCODE_INVALID)
                xkb_state_update_key(state, altGrKey, XKB_KEY_DOWN);
            // Right Alt that is no AltGr on this layout is Alt: a shortcut.
            const bool alt =
                xkb_state_mod_name_is_active(state, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0;
            for (xkb_keycode_t kc = first; kc <= last && kc != XKB_KEYCODE_INVALID; ++kc) {
                const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, kc);
                KeyResult r;
                if (sym != XKB_KEY_NoSymbol) {
                    char name[64] = {};
                    xkb_keysym_get_name(sym, name, sizeof name);
                    r.keysym = name;
                    r.dead = r.keysym.rfind("dead_", 0) == 0;
                    r.ch = r.dead ? deadAccent(r.keysym) : char32_t(xkb_keysym_to_utf32(sym));
                    r.shortcut = alt && (r.ch != 0);
                }
                std::vector<KeyResult>& results = out->m_keys[kc];
                results.resize(4);
                results[std::size_t(c)] = r;
                if (c == 0)
                    out->m_labels[kc] = r.keysym;
            }
            xkb_state_unref(state);
        }
        // Which key types a character: only keys a firmware presses; then no
        // modifier before Shift before AltGr before both; then keys other than
        // the Latin letter keys; then the lowest keycode.
        for (int c = 0; c < 4; ++c) {
            for (int letters = 0; letters < 2; ++letters) {
                for (const auto& [kc, results] : out->m_keys) {
                    const KeyResult& r = results[std::size_t(c)];
                    const char* name = xkb_keymap_key_get_name(keymap, kc);
                    if (r.ch == 0 || r.dead || r.shortcut || !name || !firmwareKey(name, layout) ||
                        int(latinLetterKey(out->m_labels[kc])) != letters)
                        continue;
                    out->m_reverse.emplace(r.ch, KeyPress{kc, kCombos[c].shift, kCombos[c].altGr});
                }
            }
        }
        xkb_keymap_unref(keymap);
        return out;
    }
};

#else

struct KeymapBuilder {
    static std::shared_ptr<Keymap> build(const KeyboardLayout&, std::string& error) {
        error = "keyboard layouts cannot be compiled here: the program was built without libxkbcommon";
        return nullptr;
    }
};

#endif

std::shared_ptr<const Keymap> Keymap::load(const KeyboardLayout& layout, std::string* error) {
    std::string why;
    if (!plausibleLayoutName(layout.layout) ||
        (!layout.variant.empty() && !plausibleLayoutName(layout.variant))) {
        why = "\"" + layout.name() + "\" is not a keyboard layout name (such as de or de(nodeadkeys))";
        if (error)
            *error = why;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(keymapMutex());
    static std::map<std::string, std::shared_ptr<const Keymap>> cache;
    static std::map<std::string, std::string> failures;
    const std::string key = layout.name();
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (auto it = failures.find(key); it != failures.end()) {
        if (error)
            *error = it->second;
        return nullptr;
    }
    std::shared_ptr<const Keymap> keymap = KeymapBuilder::build(layout, why);
    if (!keymap) {
        failures.emplace(key, why);
        if (error)
            *error = why;
        return nullptr;
    }
    cache.emplace(key, keymap);
    return keymap;
}

std::optional<KeyPress> Keymap::keyFor(char32_t ch) const {
    const auto it = m_reverse.find(ch);
    if (it == m_reverse.end())
        return std::nullopt;
    return it->second;
}

KeyResult Keymap::typed(const KeyPress& press) const {
    const auto it = m_keys.find(press.keycode);
    if (it == m_keys.end())
        return {};
    return it->second[std::size_t(comboIndex(press))];
}

std::string Keymap::describe(const KeyPress& press) const {
    std::string out;
    if (press.shift)
        out += "Shift+";
    if (press.altGr)
        out += "AltGr+";
    const auto label = m_labels.find(press.keycode);
    const KeyResult plain = typed({press.keycode, false, false});
    if (plain.ch > 0x20 && plain.ch != 0x7F && !plain.dead) {
        const char32_t c = plain.ch < 0x80 ? char32_t(std::toupper(int(plain.ch))) : plain.ch;
        out += toUtf8(std::u32string(1, c));
    } else if (plain.keysym == "Return") {
        out += "Enter";
    } else if (label != m_labels.end() && !label->second.empty()) {
        out += label->second;
    } else {
        out += "key " + std::to_string(press.keycode);
    }
    return out;
}

std::u32string Translation::shown() const {
    std::u32string out;
    for (const TypedChar& c : chars) {
        if (c.shown != 0)
            out += c.shown;
    }
    return out;
}

bool Translation::right() const {
    for (const TypedChar& c : chars) {
        if (c.outcome != CharOutcome::Right)
            return false;
    }
    return true;
}

std::u32string Translation::wrong() const {
    std::u32string out;
    for (const TypedChar& c : chars) {
        if (c.outcome != CharOutcome::Right && out.find(c.meant) == std::u32string::npos)
            out += c.meant;
    }
    return out;
}

std::u32string Translation::notTypeable() const {
    std::u32string out;
    for (const TypedChar& c : chars) {
        if (c.outcome == CharOutcome::NotTypeable && out.find(c.meant) == std::u32string::npos)
            out += c.meant;
    }
    return out;
}

Translation translate(const std::u32string& text, const Keymap& reader, const Keymap& host) {
    Translation t;
    for (char32_t meant : text) {
        TypedChar c;
        c.meant = meant;
        c.press = reader.keyFor(meant);
        if (!c.press) {
            c.outcome = CharOutcome::NotTypeable;
        } else {
            const KeyResult r = host.typed(*c.press);
            if (r.shortcut || r.ch == 0) {
                c.outcome = CharOutcome::Nothing;
            } else {
                c.shown = r.ch;
                c.outcome = r.dead          ? CharOutcome::Dead
                            : r.ch == meant ? CharOutcome::Right
                                            : CharOutcome::Other;
            }
        }
        t.chars.push_back(c);
    }
    return t;
}

std::string numberTypedForOtherLayout(const std::u32string& read, const OutputSettings& settings,
                                      const Keymap& reader, const Keymap& host) {
    // What each character the settings type appears as on the host, turned round.
    std::map<char32_t, char32_t> meantFor;
    std::u32string ambiguous;
    for (char32_t c : charactersTyped(settings)) {
        const Translation t = translate(std::u32string(1, c), reader, host);
        const char32_t shown = t.chars.front().shown;
        if (shown == 0)
            continue;
        const auto [it, added] = meantFor.emplace(shown, c);
        if (!added && it->second != c)
            ambiguous += shown;
    }
    std::u32string meant;
    for (char32_t c : read) {
        const auto it = meantFor.find(c);
        if (it == meantFor.end() || ambiguous.find(c) != std::u32string::npos)
            return {};
        meant += it->second;
    }
    if (meant == read || !checkShape(meant, settings).matches)
        return {};
    // The shape matched: prefix and ";" lead, "?", custom byte, suffix and Enter end it.
    const TypedLayout t = typedLayout(settings);
    std::size_t b = t.prefix.size() + (t.semicolon ? 1 : 0);
    std::size_t e =
        meant.size() - (t.enter ? 1 : 0) - t.suffix.size() - t.custom.size() - (t.question ? 1 : 0);
    std::string number;
    for (std::size_t i = b; i < e && i < meant.size(); ++i) {
        if (!(t.comma && meant[i] == U','))
            number += char(meant[i]);
    }
    return number;
}

namespace {
// 0: the same layout and variant; 1: the same layout; 2: another or none.
int closeness(const KeyboardLanguage& l, const KeyboardLayout& host) {
    if (!l.xkbLayout || host.layout != l.xkbLayout)
        return 2;
    return host.variant == l.xkbVariant ? 0 : 1;
}
} // namespace

const KeyboardLanguage* ownLanguage(const KeyboardLayout& host) {
    const KeyboardLanguage* best = nullptr;
    for (const KeyboardLanguage& l : keyboardLanguages()) {
        const int c = closeness(l, host);
        if (c < 2 && (!best || c < closeness(*best, host)))
            best = &l;
    }
    return best;
}

std::vector<LanguageFit> fitLanguages(const std::u32string& text, const Keymap& host) {
    std::vector<LanguageFit> out;
    for (int rank = 0; rank <= 2; ++rank) {
        for (const KeyboardLanguage& l : keyboardLanguages()) {
            if (closeness(l, host.layout()) != rank)
                continue;
            LanguageFit fit;
            fit.language = &l;
            if (!l.xkbLayout) {
                fit.problem = "it types for no one keyboard layout";
            } else {
                fit.keymap = Keymap::load({l.xkbLayout, l.xkbVariant}, &fit.problem);
                if (fit.keymap)
                    fit.translation = translate(text, *fit.keymap, host);
            }
            out.push_back(std::move(fit));
        }
    }
    return out;
}

std::optional<KeyboardLayout> parseLayoutName(const std::string& text) {
    KeyboardLayout l;
    const std::size_t open = text.find('(');
    if (open == std::string::npos) {
        l.layout = text;
    } else {
        if (text.size() < open + 3 || text.back() != ')')
            return std::nullopt;
        l.layout = text.substr(0, open);
        l.variant = text.substr(open + 1, text.size() - open - 2);
        if (l.variant.empty())
            return std::nullopt;
    }
    if (!plausibleLayoutName(l.layout) || (!l.variant.empty() && !plausibleLayoutName(l.variant)))
        return std::nullopt;
    for (char& c : l.layout)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return l;
}

std::string layoutMeant(const std::string& text) {
    std::vector<std::string> names;
    std::vector<std::string> layouts;
    for (const KeyboardLanguage& l : keyboardLanguages()) {
        if (!l.xkbLayout)
            continue;
        const std::string layout = KeyboardLayout{l.xkbLayout, l.xkbVariant}.name();
        std::string name = l.readName;
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        for (const std::string& n : {name, layout}) {
            names.push_back(n);
            layouts.push_back(layout);
        }
    }
    const std::string meant = closestName(text, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == meant)
            return layouts[i];
    }
    return {};
}

} // namespace rfid::wedge
