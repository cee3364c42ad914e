#pragma once
// config.ini access. Every call opens the file, does one read or one write, and closes
// it again; nothing is cached. Safe to call from several threads at once.
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
    // Raise std::runtime_error("Unable to write to <file>") when the file cannot be written.
    static void WriteString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value);
    static void WriteBool(const std::string& file, const std::string& section,
                          const std::string& key, bool value);
};

}  // namespace qv
