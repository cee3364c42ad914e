#pragma once
// config.ini access. Every call opens the file, does one read or one write, and closes
// it again; nothing is cached. Safe to call from several threads at once.
#include <array>
#include <string>

namespace qv {

class TIniFileEx {
public:
    TIniFileEx() = delete;

    // Missing file, section or key gives `default_value`.
    static std::string ReadString(const std::string& file, const std::string& section,
                                  const std::string& key, const std::string& default_value);
    // Decimal (leading blanks, sign) or hex after "$", "x" or "0x"; non-zero is true;
    // anything else gives `default_value`.
    static bool ReadBool(const std::string& file, const std::string& section,
                         const std::string& key, bool default_value);
    // The file is written readable and writable by its owner only. Raise
    // std::runtime_error("无法写入设置文件 <file>：<why>") when it cannot be written.
    static void WriteString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value);
    static void WriteBool(const std::string& file, const std::string& section,
                          const std::string& key, bool value);
};

// Every key the program keeps in config.ini, with the default a reader passes.
struct BoolSetting {
    const char* section;
    const char* key;
    bool default_value;
};
struct IntSetting {
    const char* section;
    const char* key;
    int default_value;
    int min_value, max_value;  // a value outside reads as the default
};
struct TextSetting {
    const char* section;
    const char* key;
    const char* default_value;
    // May hold credentials ("user:password@"); the settings file is its owner's alone anyway.
    bool secret = false;
};

namespace settings {

inline constexpr BoolSetting kShowToolbar{"MainWindow", "ShowToolbar", true};
inline constexpr BoolSetting kShowStatusbar{"MainWindow", "ShowStatusbar", true};
inline constexpr BoolSetting kCollectCompanyDetail{"Options", "CollectCompanyDetail", false};
// How many connections each task reads its companies' pages over.
inline constexpr IntSetting kConnectionsPerTask{"Options", "ConnectionsPerTask", 1, 1, 8};

// The marketplace's company-search host as a URL prefix ("http://127.0.0.1:8080"). An
// empty value means the built-in host, which the search URL code owns.
// The least milliseconds between the starts of two requests of one task (0: none).
inline constexpr IntSetting kRequestInterval{"Options", "RequestInterval", 0, 0, 3'600'000};

inline constexpr TextSetting kSearchHost{"Options", "SearchHost", ""};

// The proxies tasks take in turn, separated by blanks (a proxy URL holds none); empty: none.
inline constexpr TextSetting kProxies{"Options", "Proxies", "", true};
// The options dialog's proxy lines as last written, comments and all, passwords as ***;
// '%' and line ends escaped as %25 and %0A. Used only while it holds the entries of kProxies.
inline constexpr TextSetting kProxyLines{"Options", "ProxyLines", ""};

// The record search history: one earlier search text per key, an empty value is a free
// slot. The section name is spelled this way in existing files.
inline constexpr const char* kSearchHistorySection = "Searchs";
inline constexpr std::array<const char*, 5> kSearchHistoryKeys{"1", "2", "3", "4", "5"};
inline constexpr const char* kSearchHistoryDefault = "";

// Where the last spreadsheet was saved: its folder and the save dialog's file type, so
// that every export dialog opens there.
inline constexpr TextSetting kLastExportFolder{"Export", "LastFolder", ""};
inline constexpr TextSetting kLastExportType{"Export", "LastType", ""};

}  // namespace settings

// Shorthands over the table above.
bool ReadSetting(const std::string& file, const BoolSetting& setting);
void WriteSetting(const std::string& file, const BoolSetting& setting, bool value);
int ReadSetting(const std::string& file, const IntSetting& setting);
void WriteSetting(const std::string& file, const IntSetting& setting, int value);
std::string ReadSetting(const std::string& file, const TextSetting& setting);
void WriteSetting(const std::string& file, const TextSetting& setting, const std::string& value);

}  // namespace qv
