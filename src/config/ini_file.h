#pragma once
// ORV.INI access with the rules of the classic private-profile functions:
// section and key names compare case-insensitively, values are trimmed and
// may be quoted, strings are cut to 1023 characters, integers may be written
// as "0x" hexadecimal, booleans are integers (non-zero is true).
//
// Every read looks at the file as it is now; every write rewrites the file
// through a temporary file and a rename, so the previous file stays intact
// when the write fails. Lines the program does not know (other sections and
// keys, comments) survive a write untouched.
#include <QString>
#include <stdexcept>

namespace orv {

// A write the system refused. what() is "Unable to write to <path>".
class IniWriteError : public std::runtime_error {
public:
    explicit IniWriteError(const QString& path);
    const QString& path() const { return path_; }

private:
    QString path_;
};

class IniFile {
public:
    // The longest string a read returns (the 1024-byte buffer less its terminator).
    static constexpr int kMaxValueLength = 1023;

    explicit IniFile(QString path);
    const QString& path() const { return path_; }

    // The value, or def when the file, the section or the key is missing.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    // Throw IniWriteError when the file cannot be written.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    // Integer text as read: decimal, or hexadecimal after "0x"/"0X" when the
    // text is longer than two characters; anything else gives def.
    static int parseInteger(const QString& text, int def);

private:
    QString path_;
};

}  // namespace orv
