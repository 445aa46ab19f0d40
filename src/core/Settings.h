// Settings access: the five operations on config.ini, each complete in
// itself, the three ways of reading a flag, colour text, and the one table
// that names every section, key and default. There is no settings object in
// memory: every reader goes to the file at its moment of use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex {

// Lenient integer: optional leading blanks, then an optional sign and decimal
// digits in the signed 32-bit range, or (without a sign) "$", "x", "X", "0x"
// or "0X" and one to eight hex digits taken as a 32-bit pattern. Nullopt
// for anything else (empty text, junk, overflow).
std::optional<int32_t> ParseLenientInt(std::string_view text);

struct TextKey {
    const char *section;
    const char *name;
    const char *defaultValue;
};

struct IntKey {
    const char *section;
    const char *name;
    int32_t defaultValue;
};

class SettingsFile {
public:
    explicit SettingsFile(std::string path);
    const std::string &Path() const { return path_; }

    // The five operations.
    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    void WriteString(const std::string &section, const std::string &key,
                     const std::string &value) const; // throws "<path> に書き込めません"
    int32_t ReadInteger(const std::string &section, const std::string &key, int32_t defaultValue) const;
    void WriteInteger(const std::string &section, const std::string &key, int32_t value) const;
    void WriteBool(const std::string &section, const std::string &key, bool value) const;

    // The three flag ways.
    bool ReadFlagNonZero(const std::string &section, const std::string &key,
                         int32_t defaultValue) const;                           // any value other than 0
    bool ReadFlagOne(const std::string &section, const std::string &key) const; // equals 1
    bool ReadFlagLowByteOne(const std::string &section, const std::string &key) const; // low 8 bits equal 1

    // Colour: a name of the table or a lenient integer; anything else throws
    // "'<text>' は整数ではありません".
    uint32_t ReadColor(const std::string &section, const std::string &key,
                       const std::string &defaultText) const;
    void WriteColor(const std::string &section, const std::string &key, uint32_t color) const;

    // Typed shorthands over the key table below.
    std::string Read(const TextKey &k) const { return ReadString(k.section, k.name, k.defaultValue); }
    int32_t Read(const IntKey &k) const { return ReadInteger(k.section, k.name, k.defaultValue); }
    bool NonZero(const IntKey &k) const { return ReadFlagNonZero(k.section, k.name, k.defaultValue); }
    bool One(const IntKey &k) const { return ReadFlagOne(k.section, k.name); }
    bool LowByteOne(const IntKey &k) const { return ReadFlagLowByteOne(k.section, k.name); }
    uint32_t Color(const TextKey &k) const { return ReadColor(k.section, k.name, k.defaultValue); }
    void Write(const TextKey &k, const std::string &v) const { WriteString(k.section, k.name, v); }
    void Write(const IntKey &k, int32_t v) const { WriteInteger(k.section, k.name, v); }
    void WriteFlag(const IntKey &k, bool v) const { WriteBool(k.section, k.name, v); }
    void WriteColor(const TextKey &k, uint32_t c) const { WriteColor(k.section, k.name, c); }

private:
    std::string path_;
};

// Every setting, with its section and default, stands here once.
namespace keys {
inline constexpr TextKey LastEngine{"General", "LastEngine", "IE"};
inline constexpr IntKey LastMojiSize{"General", "LastMojiSize", 2};
inline constexpr IntKey WinSize{"General", "WinSize", 0};

inline constexpr IntKey Mozilla{"Option_Main", "Mozilla", 0};
inline constexpr TextKey MozPath{"Option_Main", "MozPath", ""};

inline constexpr IntKey BookMark{"Option_Window", "BookMark", 0};
inline constexpr IntKey WindowAddressBar{"Option_Window", "AddressBar", 0};
inline constexpr IntKey NewWindowActive{"Option_Window", "NewWindow_Active", 0};

inline constexpr IntKey CloseURL{"Option_advertisemen", "CloseURL", 0};

inline constexpr IntKey TabFix{"Option_Tab", "fix", 0};
inline constexpr IntKey TabMaxSize{"Option_Tab", "MaxSize", 75};
inline constexpr IntKey TabLen{"Option_Tab", "Len", 0};
inline constexpr IntKey TabMaxLen{"Option_Tab", "MaxLen", 0};
inline constexpr IntKey TabType{"Option_Tab", "TabType", 0};
inline constexpr TextKey ActivateChColor{"Option_Tab", "ActivateChColor", "clWindowText"};
inline constexpr TextKey ActivateBGColor{"Option_Tab", "ActivateBGColor", "clBtnFace"};
inline constexpr TextKey DeActivateChColor{"Option_Tab", "DeActivateChColor", "clWindowText"};
inline constexpr TextKey DeActivateBGColor{"Option_Tab", "DeActivateBGColor", "clBtnFace"};

inline constexpr IntKey StartUpType{"Option_StartUp", "Type", 0};
inline constexpr TextKey StartUpPath{"Option_StartUp", "Path", ""};

// Section "Bar": the band keys are "Band" + position + "ID"/"Width"/"Break".
inline constexpr const char *BarSection = "Bar";
inline constexpr IntKey BarToolBar{"Bar", "ToolBar", 1};
inline constexpr IntKey BarAddressBar{"Bar", "AddressBar", 1};
inline constexpr IntKey BarStatusBar{"Bar", "StatusBar", 1};
inline constexpr IntKey BarTabBar{"Bar", "TabBar", 1};
inline constexpr IntKey BarJBar{"Bar", "JBar", 1};
inline constexpr IntKey BarJBarSize{"Bar", "JBarSize", 153};
inline constexpr IntKey BarJBarMax{"Bar", "JBarMax", 0};

// Conveniences beyond the design keep their settings in a section of their
// own, written only when the user changes one, so a file of the design reads
// and writes as it always did.
inline constexpr TextKey SearchURL{"Option_Ext", "SearchURL", "https://www.google.com/search?q=%s"};
inline constexpr IntKey RestoreSession{"Option_Ext", "RestoreSession", 0};
inline constexpr IntKey ConfirmQuit{"Option_Ext", "ConfirmQuit", 0};
// "left,top,width,height,maximised" of the main window.
inline constexpr TextKey MainPlace{"Option_Ext", "MainWindow", ""};
inline constexpr TextKey DownloadFolder{"Option_Ext", "DownloadFolder", ""};
// 0: pages shown are not recorded in the history.
inline constexpr IntKey ExtHistory{"Option_Ext", "History", 1};
// 1: the history panel stands beside the side bar.
inline constexpr IntKey ExtHistoryPanel{"Option_Ext", "HistoryPanel", 0};

// Windows out of sight sleep (beyond the design: its own section).
inline constexpr IntKey SleepOn{"Option_Ext", "Sleep", 1};
inline constexpr IntKey SleepFreezeSeconds{"Option_Ext", "SleepFreezeSeconds", 120};
inline constexpr IntKey SleepDiscardMinutes{"Option_Ext", "SleepDiscardMinutes", 30};
inline constexpr IntKey SleepMemoryMB{"Option_Ext", "SleepMemoryMB", 3072};
} // namespace keys

} // namespace orvex
